// Benchmark of `torvane figdeck`: makes its own image sets (12-megapixel JPEG photos, RGB and
// RGBA PNG plots of 1600 by 1200), builds a report of each and prints seconds, images and MB
// per second and the peak memory of the run; for the photos, beside it and from the same run,
// `cat` of the inputs into one file (with and without a flush to disk, as the report's atomic
// write does) and img2pdf when it is installed.
// Usage: bench_figdeck [images per set, default 200] [work folder, default a new one in /tmp]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "helmkit/base/json.hpp"
#include "test_images.hpp"

namespace fs = std::filesystem;

namespace {

constexpr int k_distinct = 8;  // distinct images per set; the rest are copies of them
constexpr int k_per_group = 6;

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double megabytes(std::uintmax_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

void write_bytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A photo-like picture: smooth light with fine texture, so JPEG sizes are realistic.
std::string photo(int seed) {
    torvane_test::JpegRecipe recipe;
    recipe.width = 4000;
    recipe.height = 3000;
    recipe.quality = 90;
    recipe.pixel = [seed](std::uint32_t x, std::uint32_t y, int c) -> std::uint16_t {
        const std::uint32_t noise = (x * 2654435761u) ^ (y * 40503u) ^ static_cast<std::uint32_t>(seed * 977 + c * 131);
        const double light = 120 + 80 * std::sin(x / 300.0 + seed) * std::cos(y / 200.0 - c);
        return static_cast<std::uint16_t>(std::clamp(light + static_cast<double>(noise % 41) - 20, 0.0, 255.0));
    };
    return torvane_test::jpeg_bytes(recipe);
}

// A measurement plot: white (or clear) ground, grid, axes and a curve.
std::string plot(int seed, bool alpha) {
    torvane_test::PngRecipe recipe;
    recipe.width = 1600;
    recipe.height = 1200;
    recipe.color_type = alpha ? 6 : 2;
    recipe.pixel = [seed, alpha](std::uint32_t x, std::uint32_t y, int c) -> std::uint16_t {
        const double curve = 600 - 400 * std::sin(x / (80.0 + seed * 10)) * std::exp(-x / 1600.0);
        const bool on_curve = std::abs(static_cast<double>(y) - curve) < 3;
        const bool grid = x % 100 == 0 || y % 100 == 0;
        if (c == 3) return on_curve || grid ? 255 : 0;
        if (on_curve) return c == 2 ? 220 : 40;
        if (grid) return 200;
        return alpha ? 0 : 255;
    };
    return torvane_test::png_bytes(recipe);
}

struct Run {
    double seconds = 0;
    long peak_kib = 0;
    int status = -1;
};

// Runs `args` (the program first, searched on PATH) in `cwd` with standard output to `out`
// and standard error to `log`; returns its wall time and peak resident memory.
Run run_program(const std::vector<std::string>& args, const fs::path& cwd, const fs::path& out,
                const fs::path& log) {
    std::vector<char*> argv;
    for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(cwd.c_str()) != 0) _exit(127);
        dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
        dup2(open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    return {seconds_since(start), usage.ru_maxrss, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

Run run_torvane(const fs::path& torvane, const fs::path& config, const fs::path& cwd,
                const fs::path& log) {
    return run_program({torvane.string(), "figdeck", "-c", config.string()}, cwd, "/dev/null", log);
}

bool installed(const std::string& program) {
    return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

// Copies every file of `files` into one file and flushes it to disk, as the report's own
// atomic write does; returns the seconds taken.
double copy_into_one(const std::vector<fs::path>& files, const fs::path& target) {
    const auto start = std::chrono::steady_clock::now();
    std::vector<char> buffer(1 << 20);
    const int out = open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    for (const auto& file : files) {
        const int in = open(file.c_str(), O_RDONLY);
        ssize_t got = 0;
        while ((got = read(in, buffer.data(), buffer.size())) > 0) {
            if (write(out, buffer.data(), static_cast<std::size_t>(got)) != got) break;
        }
        close(in);
    }
    fsync(out);
    close(out);
    return seconds_since(start);
}

struct Set {
    std::string name;
    std::vector<fs::path> files;
    std::uintmax_t bytes = 0;
    fs::path folder;
};

Set make_set(const fs::path& root, const std::string& name, int count, const char* extension,
             const std::function<std::string(int)>& make) {
    Set set{name, {}, 0, root / name};
    fs::create_directories(set.folder);
    std::vector<fs::path> originals;
    for (int i = 0; i < count; ++i) {
        char file_name[64];
        // Six figures a group: three rows of two fill one page each.
        std::snprintf(file_name, sizeof file_name, "Result_g%03d_img_%04d.%s", i / k_per_group, i,
                      extension);
        const auto path = set.folder / file_name;
        if (i < k_distinct) {
            write_bytes(path, make(i));
            originals.push_back(path);
        } else {
            fs::copy_file(originals[static_cast<std::size_t>(i % k_distinct)], path);
        }
        set.files.push_back(path);
        set.bytes += fs::file_size(path);
    }
    return set;
}

fs::path write_config(const Set& set, std::size_t count, const fs::path& folder) {
    nlohmann::json groups = nlohmann::json::array();
    for (std::size_t g = 0; g * k_per_group < count; ++g) {
        char pattern[32];
        std::snprintf(pattern, sizeof pattern, "g%03zu_*", g);
        groups.push_back({{"name", set.name + " group " + std::to_string(g + 1)},
                          {"pattern", pattern},
                          {"experiments_per_page", 1},
                          {"cols_per_row", 2}});
    }
    const nlohmann::json config{
        {"config", {{"image_folder", folder.string()}, {"file_prefix", "Result"}, {"output_file", "bench.pdf"}}},
        {"main_page", {{"title_of_report", "figdeck benchmark: " + set.name}}},
        {"groups", groups}};
    const auto path = folder.parent_path() / (folder.filename().string() + ".json");
    std::ofstream(path) << config.dump(2);
    return path;
}

struct Peers {
    Run cat;
    double copy_flushed = 0;  // seconds
    Run img2pdf;
};

void report(const fs::path& torvane, const Set& set, std::size_t count, const fs::path& folder,
            const Peers* peers) {
    const auto config = write_config(set, count, folder);
    const auto log = folder.parent_path() / (folder.filename().string() + ".log");
    const auto run = run_torvane(torvane, config, folder.parent_path(), log);
    if (run.status != 0) {
        std::ifstream in(log);
        std::printf("run failed; its log:\n%s\n", std::string(std::istreambuf_iterator<char>(in), {}).c_str());
    }
    const auto pdf = folder / "bench.pdf";
    const std::uintmax_t pdf_bytes = fs::exists(pdf) ? fs::file_size(pdf) : 0;
    std::uintmax_t input = 0;
    for (std::size_t i = 0; i < count; ++i) input += fs::file_size(set.files[i]);
    std::printf("%-9s %5zu images  %7.1f MB in  %7.2f s  %7.1f images/s  %7.1f MB/s  peak %7.1f MiB"
                "  PDF %7.1f MiB  status %d\n",
                set.name.c_str(), count, megabytes(input), run.seconds, count / run.seconds,
                megabytes(input) / run.seconds, run.peak_kib / 1024.0, megabytes(pdf_bytes), run.status);
    std::printf("          memory goal: peak %.1f MiB %s 64 MiB, whatever the report's size\n",
                run.peak_kib / 1024.0, run.peak_kib / 1024.0 < 64 ? "<" : "NOT <");
    if (peers != nullptr) {
        std::printf("          cat of the inputs into one file: %.2f s, peak %.1f MiB; ours %.2f x cat "
                    "(goal <= 1.5)\n",
                    peers->cat.seconds, peers->cat.peak_kib / 1024.0, run.seconds / peers->cat.seconds);
        std::printf("          cat and a flush to disk (as the report's atomic write): %.2f s; ours %.2f x\n",
                    peers->copy_flushed, run.seconds / peers->copy_flushed);
        if (peers->img2pdf.status == 0) {
            std::printf("          img2pdf of the same photos: %.2f s, peak %.1f MiB; ours %.2f x img2pdf\n",
                        peers->img2pdf.seconds, peers->img2pdf.peak_kib / 1024.0,
                        run.seconds / peers->img2pdf.seconds);
        } else {
            std::printf("          img2pdf: not installed or failed (status %d)\n", peers->img2pdf.status);
        }
    }
    fs::remove(pdf);
}

// A folder holding the first `count` files of `set` as hard links, for the scaling runs.
fs::path subset(const Set& set, std::size_t count) {
    const auto folder = set.folder.parent_path() / (set.name + "_" + std::to_string(count));
    fs::create_directories(folder);
    for (std::size_t i = 0; i < count; ++i) {
        fs::create_hard_link(set.files[i], folder / set.files[i].filename());
    }
    return folder;
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::max(2, std::atoi(argv[1])) : 200;
    fs::path root;
    if (argc > 2) {
        root = argv[2];
        fs::create_directories(root);
    } else {
        char pattern[] = "/tmp/figdeck-bench-XXXXXX";
        root = mkdtemp(pattern);
    }
    const fs::path torvane = TORVANE_BINARY;
    std::printf("figdeck benchmark: %d images per set in %s\n", count, root.c_str());

    const auto start = std::chrono::steady_clock::now();
    const auto jpeg = make_set(root, "jpeg", count, "jpg", photo);
    const auto rgb = make_set(root, "png_rgb", count, "png", [](int i) { return plot(i, false); });
    const auto rgba = make_set(root, "png_rgba", count, "png", [](int i) { return plot(i, true); });
    std::printf("inputs made in %.1f s\n\n", seconds_since(start));

    Peers peers;
    std::vector<std::string> cat{"cat"};
    for (const auto& file : jpeg.files) cat.push_back(file.string());
    peers.cat = run_program(cat, root, root / "one.bin", "/dev/null");
    fs::remove(root / "one.bin");
    peers.copy_flushed = copy_into_one(jpeg.files, root / "one.bin");
    fs::remove(root / "one.bin");
    if (installed("img2pdf")) {
        std::vector<std::string> img2pdf{"img2pdf", "-o", (root / "img2pdf.pdf").string()};
        for (const auto& file : jpeg.files) img2pdf.push_back(file.string());
        peers.img2pdf = run_program(img2pdf, root, "/dev/null", root / "img2pdf.log");
        fs::remove(root / "img2pdf.pdf");
    }
    report(torvane, jpeg, jpeg.files.size(), jpeg.folder, &peers);
    for (const auto* set : {&rgb, &rgba}) {
        const auto half = static_cast<std::size_t>(count / 2);
        report(torvane, *set, half, subset(*set, half), nullptr);
        report(torvane, *set, set->files.size(), set->folder, nullptr);
    }
    fs::remove_all(root);
    return 0;
}
