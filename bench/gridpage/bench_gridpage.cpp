// Times gridpage against plain concatenation with the qpdf command on the same inputs.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "pdf_builder.hpp"

namespace fs = std::filesystem;
using namespace torvane_test;

namespace {

struct Measured {
    double seconds = 0;
    long peak_kib = 0;
    int status = -1;
};

// Runs `argv` in `cwd` with its output thrown away; returns its wall time and peak memory.
Measured measure(const std::vector<std::string>& argv, const fs::path& cwd) {
    std::vector<char*> args;
    for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(cwd.c_str()) != 0) _exit(126);
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        execv(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    Measured result;
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.peak_kib = usage.ru_maxrss;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

std::string deflate(const std::string& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &size,
              reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()), 1);
    out.resize(size);
    return out;
}

// A photo-like image: smooth colour gradients with noise, deflated as real PDF writers do.
PdfImage photo(std::mt19937& random, int width, int height) {
    std::string pixels;
    pixels.reserve(static_cast<std::size_t>(width * height * 3));
    std::uniform_int_distribution<int> noise(0, 63);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            pixels += static_cast<char>((x * 255 / width + noise(random)) & 0xff);
            pixels += static_cast<char>((y * 255 / height + noise(random)) & 0xff);
            pixels += static_cast<char>(noise(random) * 4);
        }
    }
    return {width, height, deflate(pixels), "/FlateDecode"};
}

// A page like a scanned or exported report page: a heading, lines of text and a picture.
// One page in seven is landscape, one in eleven carries a /Rotate.
PdfPage report_page(std::mt19937& random, int file, int number) {
    PdfPage page;
    const bool landscape = number % 7 == 3;
    page.media_box = landscape ? "0 0 842 595" : "0 0 595 842";
    if (number % 11 == 5) page.rotate = "90";
    std::string content = text_operators("Report " + std::to_string(file) + " page " +
                                             std::to_string(number),
                                         50, landscape ? 540 : 780, 20);
    for (int line = 0; line < 30; ++line) {
        content += text_operators("Measurement " + std::to_string(line) + ": value " +
                                      std::to_string(random() % 100000) + " within tolerance",
                                  50, 300 - line * 9, 8);
    }
    content += "q 400 0 0 300 100 350 cm /Im0 Do Q\n";
    page.content = content;
    page.image = photo(random, 180, 180);
    return page;
}

std::uintmax_t make_inputs(const fs::path& folder, int files) {
    fs::create_directories(folder);
    std::mt19937 random(42);
    std::uintmax_t total = 0;
    for (int f = 0; f < files; ++f) {
        PdfDocument document;
        const int pages = 1 + static_cast<int>(random() % 20);
        for (int p = 1; p <= pages; ++p) document.pages.push_back(report_page(random, f, p));
        char name[32];
        std::snprintf(name, sizeof name, "report_%03d.pdf", f);
        const auto bytes = build_pdf(document);
        std::ofstream(folder / name, std::ios::binary) << bytes;
        total += bytes.size();
    }
    return total;
}

// The sample inputs of examples/gridpage: portrait, landscape, rotated and cropped pages.
void make_samples(const fs::path& folder) {
    fs::create_directories(folder);
    std::mt19937 random(7);
    const auto save = [&](const std::string& name, const PdfDocument& document) {
        std::ofstream(folder / name, std::ios::binary) << build_pdf(document);
    };
    PdfDocument portrait;
    for (int p = 1; p <= 3; ++p) {
        PdfPage page;
        page.content = text_operators("Portrait page " + std::to_string(p), 60, 700, 40) +
                       "q 400 0 0 300 100 300 cm /Im0 Do Q\n";
        page.image = photo(random, 64, 48);
        portrait.pages.push_back(page);
    }
    save("01_portrait.pdf", portrait);
    PdfDocument landscape;
    PdfPage wide;
    wide.media_box = "0 0 842 595";
    wide.content = text_operators("Landscape page", 60, 500, 48);
    landscape.pages.push_back(wide);
    save("02_landscape.pdf", landscape);
    PdfDocument rotated;
    PdfPage turned;
    turned.rotate = "90";
    // Drawn a quarter turn anticlockwise, as a scanner stores a landscape sheet, so that the
    // page reads upright once its /Rotate 90 is applied.
    turned.content = "BT /F1 36 Tf 0 1 -1 0 300 80 Tm (Rotated 90, reads upright) Tj ET\n";
    rotated.pages.push_back(turned);
    save("03_rotated.pdf", rotated);
    PdfDocument cropped;
    PdfPage crop;
    crop.crop_box = "50 400 545 800";
    crop.content = text_operators("Only this part is visible", 80, 600, 30) +
                   text_operators("Cropped away", 80, 200, 30);
    cropped.pages.push_back(crop);
    save("04_cropped.pdf", cropped);
}

std::uintmax_t size_of(const fs::path& path) {
    std::error_code error;
    const auto size = fs::file_size(path, error);
    return error ? 0 : size;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--samples") {
        make_samples(argv[2]);
        return 0;
    }
    const int files = argc > 1 ? std::atoi(argv[1]) : 300;
    const fs::path work = argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path() / "bench_gridpage";
    fs::remove_all(work);
    const auto inputs = work / "inputs";
    std::printf("bench_gridpage: making %d input files in %s ...\n", files, inputs.c_str());
    const auto input_bytes = make_inputs(inputs, files);

    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(inputs)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());

    std::ofstream(work / "merge.json")
        << R"({"config": {"input_folder": "inputs", "output_file": "gridpage.pdf",)"
        << R"( "layout": {"cols": 2, "rows": 2}, "debug_grid": true}})";
    const auto gridpage = measure({TORVANE_BINARY, "gridpage", "-c", "merge.json"}, work);

    std::vector<std::string> concat{"/usr/bin/qpdf", "--empty", "--pages"};
    for (const auto& name : names) concat.push_back("inputs/" + name);
    concat.insert(concat.end(), {"--", "concatenated.pdf"});
    const auto qpdf = measure(concat, work);

    const auto grid_size = size_of(work / "gridpage.pdf");
    const auto concat_size = size_of(work / "concatenated.pdf");
    const double mib = 1024.0 * 1024.0;
    std::printf("inputs:             %d files, %.1f MiB\n", files, input_bytes / mib);
    std::printf("gridpage 2x2:       %.2f s, output %.1f MiB, peak memory %.1f MiB (status %d)\n",
                gridpage.seconds, grid_size / mib, gridpage.peak_kib / 1024.0, gridpage.status);
    std::printf("qpdf --empty --pages: %.2f s, output %.1f MiB, peak memory %.1f MiB (status %d)\n",
                qpdf.seconds, concat_size / mib, qpdf.peak_kib / 1024.0, qpdf.status);
    std::printf("time ratio:         %.2f (goal at most 1.5)\n", gridpage.seconds / qpdf.seconds);
    std::printf("size ratio:         %.3f (goal at most 1.05)\n",
                concat_size ? static_cast<double>(grid_size) / static_cast<double>(concat_size) : 0);
    std::printf("peak memory share:  %.1f %% of the inputs\n",
                100.0 * gridpage.peak_kib * 1024.0 / static_cast<double>(input_bytes));
    if (argc <= 2) fs::remove_all(work);  // a folder given by the user is left to look at
    return gridpage.status == 0 && qpdf.status == 0 ? 0 : 1;
}
