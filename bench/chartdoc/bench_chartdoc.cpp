// Measures chartdoc end to end with the torvane of this build and prints the figures:
// 200 Markdown documents (5 MB) on disk beside Python-Markdown (the script a user would
// otherwise write, bench/chartdoc/python_markdown_peer.py) in the same run; 1,000 documents of
// about 20 KB on disk and, to show the cost of the file system, in memory; 10 diagrams with a
// stand-in renderer (the tool's own cost per diagram); and, when mmdc is on PATH, 50 diagrams
// (or the count given as the first argument, of five kinds) one at a time, with "batch_render",
// and built a second time from a warm "diagram_cache"; the documents also with "rich_markdown"
// and beside cmark-gfm started once per document. With PEERS_DIR naming a folder that holds
// make_docs.py and peer_markdown.py, their 200 documents too, beside both peers.
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "helmkit/files/atomic_file.hpp"
#include "helmkit/base/child_process.hpp"
#include "helmkit/files/file_mg.hpp"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int k_documents = 1000;
constexpr int k_diagrams = 10;
constexpr int k_repeats = 3;
constexpr int k_peer_documents = 200;
constexpr const char* k_python = "/usr/bin/python3";
constexpr const char* k_cmark = "/usr/bin/cmark-gfm";

std::string make_document(int number, std::size_t size = 20000) {
    std::string text = "# Document " + std::to_string(number) + "\n\n";
    int section = 0;
    while (text.size() < size) {
        ++section;
        const auto n = std::to_string(section);
        text += "## Section " + n + "\n\n";
        text +=
            "Some *emphasis*, some **strong text**, `inline code` and a "
            "[link](https://example.com/page" +
            n +
            ").\n"
            "A second line of the paragraph with <b>raw HTML</b> & an ampersand.\n\n";
        text += "- first item\n- second item with `code`\n  - nested item\n- third item\n\n";
        text += "1. one\n2. two\n3. three\n\n";
        text += "| Name | Value | Note |\n|---|---:|:---:|\n";
        for (int row = 0; row < 8; ++row) {
            text += "| row " + std::to_string(row) + " | " + std::to_string(row * section) +
                    " | {braces} kept |\n";
        }
        text +=
            "\n```cpp\nint f() {\n    std::vector<int> v{1, 2, 3};\n"
            "    return v.size() > 2 ? 0 : 1;\n}\n```\n\n"
            "> A quote with a line\n> and another.\n\n";
    }
    return text;
}

std::string make_diagram(int number) {
    const auto n = std::to_string(number);
    return "graph TD\n    A" + n + "[Start] --> B{Check}\n    B -->|yes| C[Done]\n    B -->|no| A" +
           n + "\n";
}

void write(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    helmkit::write_file_atomically(path, text);
}

void write_script(const fs::path& path, const std::string& text) {
    write(path, text);
    fs::permissions(path, fs::perms::owner_all);
}

// `keys` are further members of the section, each beginning with ", ".
void write_config(const fs::path& path, const fs::path& in, const fs::path& out,
                  const std::string& keys = "") {
    write(path, "{\"config\": {\"input_folder\": \"" + in.string() + "\", \"output_folder\": \"" +
                    out.string() + "\"" + keys + "}}");
}

fs::path make_temp_folder(const fs::path& base) {
    std::string pattern = (base / "bench-chartdoc-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::fprintf(stderr, "bench: cannot create a folder in %s\n", base.c_str());
        std::exit(1);
    }
    return pattern;
}

// Sends what the children print (the tool's result and log lines, the renderer's chatter) to
// /dev/null while it lives, as benchmark runners do: only the figures reach the output, and
// no reader of a pipe or terminal shares the processors with the run (the tool's 200 log
// lines woke one 200 times, 5% of the run).
class QuietOutput {
public:
    QuietOutput() : m_out(::dup(STDOUT_FILENO)), m_err(::dup(STDERR_FILENO)) {
        std::fflush(stdout);
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        ::close(null);
    }
    ~QuietOutput() {
        ::dup2(m_out, STDOUT_FILENO);
        ::dup2(m_err, STDERR_FILENO);
        ::close(m_out);
        ::close(m_err);
    }
    QuietOutput(const QuietOutput&) = delete;
    QuietOutput& operator=(const QuietOutput&) = delete;

private:
    int m_out;
    int m_err;
};

struct Timing {
    double wall = 0;
    double cpu = 0;  // user and system seconds of the child
};

double cpu_of_children() {
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

Timing timing_of(const std::vector<std::string>& argv) {
    const auto [timing, status] = [&] {
        const QuietOutput quiet;
        const double cpu = cpu_of_children();
        const auto start = Clock::now();
        const auto status = helmkit::run_process(argv);
        return std::pair{Timing{std::chrono::duration<double>(Clock::now() - start).count(),
                                cpu_of_children() - cpu},
                         status};
    }();
    if (!status.succeeded()) {
        std::fprintf(stderr, "bench: %s %s\n", helmkit::command_line_text(argv).c_str(),
                     helmkit::describe_process_status(status).c_str());
        std::exit(1);
    }
    return timing;
}

double seconds_of(const std::vector<std::string>& argv) { return timing_of(argv).wall; }

// The best of `repeats` runs of torvane chartdoc -c `config`.
double best_site_seconds(const fs::path& config, int repeats = k_repeats) {
    double best = 1e9;
    for (int i = 0; i < repeats; ++i) {
        best = std::min(best, seconds_of({TORVANE_BINARY, "chartdoc", "-c", config.string()}));
    }
    return best;
}

std::size_t write_documents(const fs::path& folder, int count, std::size_t size) {
    std::size_t bytes = 0;
    for (int i = 0; i < count; ++i) {
        const auto text = make_document(i, size);
        bytes += text.size();
        write(folder / ("doc" + std::to_string(i) + ".md"), text);
    }
    return bytes;
}

// The best of `repeats` runs over `in`, each writing a fresh site (as the peer does), so that
// no run pays for replacing the pages of the one before.
Timing best_fresh_site(const fs::path& root, const std::string& name, const fs::path& in,
                       const std::string& keys = "") {
    Timing best{1e9, 1e9};
    for (int i = 0; i < k_repeats; ++i) {
        const auto config = root / (name + std::to_string(i) + ".json");
        write_config(config, in, root / (name + "_out" + std::to_string(i)), keys);
        const auto timing = timing_of({TORVANE_BINARY, "chartdoc", "-c", config.string()});
        if (timing.wall < best.wall) best = timing;
    }
    return best;
}

void report_documents(const std::string& label, const fs::path& root) {
    const double megabytes =
        static_cast<double>(write_documents(root / "docs", k_documents, 20000)) / 1e6;
    const auto best = best_fresh_site(root, "docs", root / "docs");
    std::printf("documents %s: %d files, %.1f MB in %.3f s (CPU %.3f s) = %.1f MB/s end to end "
                "(goal on disk: 80 MB/s)\n",
                label.c_str(), k_documents, megabytes, best.wall, best.cpu, megabytes / best.wall);
}

// 200 documents of 25 KB through torvane (best of three) and through Python-Markdown (once:
// it takes seconds), both writing onto the same disk.
void report_peer(const fs::path& root) {
    const double megabytes =
        static_cast<double>(write_documents(root / "peer_docs", k_peer_documents, 25000)) / 1e6;
    const auto ours = best_fresh_site(root, "peer", root / "peer_docs");
    const auto rich =
        best_fresh_site(root, "rich", root / "peer_docs", ", \"rich_markdown\": true");
    std::printf("documents, %d files: plain %.3f s, rich_markdown %.3f s\n", k_peer_documents,
                ours.wall, rich.wall);
    if (fs::exists(k_cmark)) {
        // As a site script would run it: one start per document, each page written.
        std::string loop = "for f in '" + (root / "peer_docs").string() +
                           "'/*.md; do " + k_cmark + " -e table \"$f\" > \"$f.html\"; done";
        const auto cmark = timing_of({"/bin/sh", "-c", loop});
        std::printf("documents vs cmark-gfm once per document: %.3f s (CPU %.3f s): torvane "
                    "%.1fx, with rich_markdown %.1fx\n",
                    cmark.wall, cmark.cpu, cmark.wall / ours.wall, cmark.wall / rich.wall);
    } else {
        std::printf("documents vs cmark-gfm: %s is missing\n", k_cmark);
    }
    if (!fs::exists(k_python)) {
        std::printf("documents vs Python-Markdown: %s is missing\n", k_python);
        return;
    }
    const auto peer = timing_of(
        {k_python, PEER_SCRIPT, (root / "peer_docs").string(), (root / "peer_python").string()});
    std::printf("documents vs Python-Markdown, %d files, %.1f MB on disk: torvane %.3f s (CPU "
                "%.3f s), Python-Markdown %.3f s (CPU %.3f s): %.0fx by the clock, %.0fx by CPU "
                "time (goal: 100x)\n",
                k_peer_documents, megabytes, ours.wall, ours.cpu, peer.wall, peer.cpu,
                peer.wall / ours.wall, peer.cpu / ours.cpu);
}

// The run of median wall time among `runs`.
Timing median_of(std::vector<Timing> runs) {
    std::sort(runs.begin(), runs.end(),
              [](const Timing& a, const Timing& b) { return a.wall < b.wall; });
    return runs[runs.size() / 2];
}

// The median of three runs of `argv`.
Timing median_of_three(const std::vector<std::string>& argv) {
    return median_of({timing_of(argv), timing_of(argv), timing_of(argv)});
}

// What the file system alone costs for a site: each source in `docs` read and each page of
// `site` written to a fresh folder through a temporary and a rename, the median of three.
double pages_only_seconds(const fs::path& root, const fs::path& docs, const fs::path& site) {
    std::vector<std::pair<fs::path, std::string>> pages;
    for (const auto& entry : fs::directory_iterator(site)) {
        pages.emplace_back(entry.path().filename(), helmkit::fileMg::read_file(entry.path()));
    }
    std::vector<fs::path> sources;
    for (const auto& entry : fs::directory_iterator(docs)) {
        if (entry.path().extension() == ".md") sources.push_back(entry.path());
    }
    std::vector<double> runs;
    for (int run = 0; run < 3; ++run) {
        const fs::path out = root / ("pages_only" + std::to_string(run));
        fs::create_directories(out);
        const auto start = Clock::now();
        for (const auto& source : sources) helmkit::fileMg::read_file(source);
        for (const auto& [name, text] : pages) {
            const auto temp = out / ("." + name.string() + ".tmp");
            const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0 || ::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()) ||
                ::close(fd) != 0 || std::rename(temp.c_str(), (out / name).c_str()) != 0) {
                std::fprintf(stderr, "bench: cannot write %s\n", temp.c_str());
                std::exit(1);
            }
        }
        runs.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    std::sort(runs.begin(), runs.end());
    return runs[1];
}

// The documents of the shared peer scripts (`peers`: make_docs.py and peer_markdown.py, run
// by Debian's Python) through torvane with and without rich_markdown, through Python-Markdown
// converting in memory and through cmark-gfm started once per document writing each page;
// every figure the median of three whole-process runs, torvane writing a fresh site each time.
void report_shared_peer(const fs::path& root, const fs::path& peers) {
    const fs::path docs = root / "peer_made_docs";
    timing_of({k_python, (peers / "make_docs.py").string(), docs.string(), "200"});
    std::size_t bytes = 0;
    for (const auto& entry : fs::directory_iterator(docs)) bytes += fs::file_size(entry.path());
    int run = 0;
    const auto site = [&](const std::string& keys) {
        const auto config = root / "shared_peer.json";
        write_config(config, docs, root / ("shared_peer_out" + std::to_string(run++)), keys);
        return timing_of({TORVANE_BINARY, "chartdoc", "-c", config.string()});
    };
    // Three rounds of each run in turn, so that the three runs behind each median meet the same
    // moments of a machine whose speed drifts.
    const bool python = fs::exists(k_python);
    std::vector<Timing> plain_runs;
    std::vector<Timing> rich_runs;
    std::vector<Timing> peer_runs;
    for (int round = 0; round < 3; ++round) {
        plain_runs.push_back(site(""));
        rich_runs.push_back(site(", \"rich_markdown\": true"));
        if (python) {
            peer_runs.push_back(
                timing_of({k_python, (peers / "peer_markdown.py").string(), docs.string()}));
        }
    }
    const auto plain = median_of(plain_runs);
    const auto rich = median_of(rich_runs);
    std::printf("documents of make_docs.py, 200 files, %.1f MB, median of three: torvane %.3f s "
                "(CPU %.3f s), with rich_markdown %.3f s (CPU %.3f s)\n",
                static_cast<double>(bytes) / 1e6, plain.wall, plain.cpu, rich.wall, rich.cpu);
    std::printf("  the same pages only read and put in place, inside this process (temporary "
                "file, write, rename; no flush): %.3f s\n",
                pages_only_seconds(root, docs, root / "shared_peer_out0"));
    if (python) {
        const auto peer = median_of(peer_runs);
        std::printf("  beside peer_markdown.py (conversion only, in memory) %.3f s (CPU %.3f s): "
                    "%.0fx, with rich_markdown %.0fx (goal: 100x)\n",
                    peer.wall, peer.cpu, peer.wall / plain.wall, peer.wall / rich.wall);
    }
    if (fs::exists(k_cmark)) {
        const std::string loop = "for f in '" + docs.string() + "'/*.md; do " + k_cmark +
                                 " -e table \"$f\" > \"${f%.md}.cmark.html\"; done";
        const auto cmark = median_of_three({"/bin/sh", "-c", loop});
        std::printf("  beside cmark-gfm once per document %.3f s (CPU %.3f s): %.1fx, with "
                    "rich_markdown %.1fx (goal: above 1x)\n",
                    cmark.wall, cmark.cpu, cmark.wall / plain.wall, cmark.wall / rich.wall);
    }
}

// Sums the renderer times the timing wrapper wrote, one line of microseconds per call.
double logged_renderer_seconds(const fs::path& log) {
    double total = 0;
    const auto text = helmkit::fileMg::read_file(log);
    std::size_t start = 0;
    while (start < text.size()) {
        total += std::strtod(text.c_str() + start, nullptr);
        start = text.find('\n', start);
        if (start == std::string::npos) break;
        ++start;
    }
    return total / 1e6;
}

void print_diagrams(const char* label, double run, double baseline, double renderer) {
    const double diagrams = run - baseline;
    std::printf(
        "diagrams, %s: %.3f s per diagram, of which %.3f s inside the renderer; "
        "own cost %.2f ms per diagram\n",
        label, diagrams / k_diagrams, renderer / k_diagrams,
        (diagrams - renderer) / k_diagrams * 1000.0);
}

}  // namespace

std::string make_real_diagram(int number) {
    const auto n = std::to_string(number);
    switch (number % 5) {
        case 0: return make_diagram(number);
        case 1:
            return "sequenceDiagram\n    Alice" + n + "->>Bob: Hello\n    Bob-->>Alice" + n +
                   ": Hi back\n";
        case 2:
            return "gantt\n    title Plan " + n + "\n    dateFormat YYYY-MM-DD\n    section Build\n"
                   "    Design :a1, 2024-01-01, " + std::to_string(number % 9 + 1) +
                   "d\n    Code :after a1, 10d\n";
        case 3:
            return "classDiagram\n    Animal" + n + " <|-- Duck\n    Animal" + n +
                   " : +int age\n    Duck : +swim()\n";
        default:
            return "pie title Share " + n + "\n    \"A\" : " + std::to_string(number + 1) +
                   "\n    \"B\" : 3\n";
    }
}

// `count` diagrams rendered by the real mmdc one at a time and with batch_render, each run
// filling a diagram_cache of its own (one mmdc per diagram either way); then the unchanged site
// built again from each warm cache, the median of three runs.
void report_batch(const fs::path& root, int count) {
    for (int i = 0; i < count; ++i) {
        write(root / "real" / ("diagram" + std::to_string(i) + ".mmd"), make_real_diagram(i));
    }
    const std::string cache = ", \"diagram_cache\": true";
    write_config(root / "single.json", root / "real", root / "single_out", cache);
    write_config(root / "batch.json", root / "real", root / "batch_out",
                 cache + ", \"batch_render\": true");
    ::setenv("XDG_CACHE_HOME", (root / "cache_single").c_str(), 1);
    const auto single =
        timing_of({TORVANE_BINARY, "chartdoc", "-c", (root / "single.json").string()});
    const auto warm_single =
        median_of_three({TORVANE_BINARY, "chartdoc", "-c", (root / "single.json").string()});
    ::setenv("XDG_CACHE_HOME", (root / "cache_batch").c_str(), 1);
    const auto batch =
        timing_of({TORVANE_BINARY, "chartdoc", "-c", (root / "batch.json").string()});
    const auto warm_batch =
        median_of_three({TORVANE_BINARY, "chartdoc", "-c", (root / "batch.json").string()});
    ::unsetenv("XDG_CACHE_HOME");
    int same = 0;
    for (int i = 0; i < count; ++i) {
        const auto name = "diagram" + std::to_string(i) + ".svg";
        if (helmkit::fileMg::read_file(root / "single_out" / name) ==
            helmkit::fileMg::read_file(root / "batch_out" / name)) {
            ++same;
        }
    }
    std::printf("diagrams, real mmdc, %d of them, first build: one mmdc per diagram %.1f s "
                "(CPU %.1f s), batch_render %.1f s (CPU %.1f s) = %.1f %% of the time (goal: at "
                "most 10 %%); %d of %d SVG files identical\n",
                count, single.wall, single.cpu, batch.wall, batch.cpu,
                100.0 * batch.wall / single.wall, same, count);
    std::printf("diagrams, %d of them, second build from a warm diagram_cache, median of three: "
                "%.3f s (CPU %.3f s), with batch_render %.3f s (CPU %.3f s) (goal: under 2 s)\n",
                count, warm_single.wall, warm_single.cpu, warm_batch.wall, warm_batch.cpu);
}

int main(int argc, char** argv) {
    const int real_diagrams = argc > 1 ? std::atoi(argv[1]) : 50;
    const char* tmp = std::getenv("TMPDIR");
    const fs::path root = make_temp_folder(tmp && *tmp ? tmp : "/tmp");
    ::setenv("TORVANE_LOG_LEVEL", "error", 1);
    const std::string real_path = std::getenv("PATH") ? std::getenv("PATH") : "";
    const auto real_mmdc = helmkit::find_program("mmdc");

    // The stand-in copies a prepared SVG of 10 KB: about the cheapest renderer a process can be.
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\"><style>.a { fill: red; }</style>";
    while (svg.size() < 10000)
        svg += "<rect class=\"a\" x=\"1\" y=\"2\" width=\"3\" height=\"4\"/>";
    write(root / "stand-in.svg", svg + "</svg>\n");
    write_script(root / "bin/mmdc",
                 "#!/bin/sh\nexec cp '" + (root / "stand-in.svg").string() + "' \"$4\"\n");
    ::setenv("PATH", ((root / "bin").string() + ":" + real_path).c_str(), 1);

    if (const char* peers = std::getenv("PEERS_DIR"); peers != nullptr && *peers != '\0') {
        report_shared_peer(root, peers);
    }
    report_peer(root);
    report_documents("on disk (" + root.parent_path().string() + ")", root);
    if (fs::is_directory("/dev/shm")) {
        const fs::path shm = make_temp_folder("/dev/shm");
        report_documents("in memory (/dev/shm)", shm);
        fs::remove_all(shm);
    }

    // The same single document in both folders: the run without diagrams is the baseline.
    write(root / "one/doc.md", make_document(0));
    write(root / "diagrams/doc.md", make_document(0));
    for (int i = 0; i < k_diagrams; ++i) {
        write(root / "diagrams" / ("diagram" + std::to_string(i) + ".mmd"), make_diagram(i));
    }
    write_config(root / "one.json", root / "one", root / "one_out");
    write_config(root / "diagrams.json", root / "diagrams", root / "diagrams_out");
    const double baseline = best_site_seconds(root / "one.json");

    fs::create_directories(root / "direct");
    double standin = 0;
    for (int i = 0; i < k_diagrams; ++i) {
        standin += seconds_of({"mmdc", "-i", "x.mmd", "-o", (root / "direct/x.svg").string()});
    }
    print_diagrams("stand-in renderer", best_site_seconds(root / "diagrams.json"), baseline,
                   standin);

    if (!real_mmdc) {
        std::printf("diagrams, real mmdc: not on PATH (source scripts/mermaid_env.sh)\n");
        fs::remove_all(root);
        return 0;
    }
    // The real renderer's time varies by tenths of a second from run to run, so it is
    // measured inside the run by a wrapper that times each call.
    write_script(root / "timing/mmdc",
                 "#!/bin/bash\nstart=${EPOCHREALTIME/./}\n'" + real_mmdc->string() +
                     "' \"$@\"\nstatus=$?\necho $(( ${EPOCHREALTIME/./} - start )) >> '" +
                     (root / "renderer.log").string() + "'\nexit $status\n");
    ::setenv("PATH", ((root / "timing").string() + ":" + real_path).c_str(), 1);
    const double run = best_site_seconds(root / "diagrams.json", 1);
    print_diagrams("real mmdc", run, baseline, logged_renderer_seconds(root / "renderer.log"));
    ::setenv("PATH", real_path.c_str(), 1);
    if (real_diagrams > 0) report_batch(root, real_diagrams);
    fs::remove_all(root);
    return 0;
}
