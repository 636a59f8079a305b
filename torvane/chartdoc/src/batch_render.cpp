#include "torvane/chartdoc/batch_render.hpp"

#include <dlfcn.h>
#include <stdlib.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

#include "helmkit/base/child_process.hpp"
#include "helmkit/base/error.hpp"
#include "helmkit/base/json.hpp"
#include "helmkit/base/progress.hpp"
#include "helmkit/files/atomic_file.hpp"
#include "helmkit/files/file_mg.hpp"
#include "helmkit/text/utf8.hpp"

namespace fs = std::filesystem;

namespace torvane::chartdoc {

namespace {

constexpr const char* k_script = "render_diagrams.mjs";

// The folder this library was loaded from.
fs::path library_folder() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&diagram_time_bound), &info) == 0 ||
        info.dli_fname == nullptr) {
        return {};
    }
    std::error_code error;
    const auto path = fs::canonical(info.dli_fname, error);
    return error ? fs::path(info.dli_fname).parent_path() : path.parent_path();
}

// Installed, the libraries lie in <prefix>/lib/torvane and the script in
// <prefix>/share/torvane/chartdoc; in a build tree, in <build>/lib and <build>/share/....
std::optional<fs::path> find_script() {
    const fs::path folder = library_folder();
    for (const auto& candidate : {folder / "../../share/torvane/chartdoc" / k_script,
                                  folder / "../share/torvane/chartdoc" / k_script}) {
        std::error_code error;
        if (fs::is_regular_file(candidate, error)) return candidate.lexically_normal();
    }
    return std::nullopt;
}

bool is_whole_svg(std::string_view svg) {
    while (!svg.empty() && (svg.back() == '\n' || svg.back() == '\r' || svg.back() == ' ')) {
        svg.remove_suffix(1);
    }
    return svg.ends_with("</svg>");
}

}  // namespace

ScratchFolder::ScratchFolder(const fs::path& parent) {
    std::string pattern = (parent / ".chartdoc-batch-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        helmkit::throw_file_error("create a folder for the diagrams in", parent, errno);
    }
    m_path = pattern;
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
}

BatchRenderer find_batch_renderer(const fs::path& mmdc) {
    const auto node = helmkit::find_program("node");
    if (!node) throw helmkit::Error("the program 'node' that runs the Mermaid CLI is not on PATH");
    const auto script = find_script();
    if (!script) {
        throw helmkit::Error(std::string("the diagram script ") + k_script +
                             " is not installed beside torvane's libraries in '" +
                             library_folder().string() + "'");
    }
    std::error_code error;
    const auto cli = fs::canonical(mmdc, error);
    if (error) helmkit::throw_file_error("resolve", mmdc, error.value());
    return {*node, *script, cli};
}

unsigned diagram_time_bound() {
    const char* value = std::getenv("TORVANE_RENDER_TIMEOUT");
    if (value == nullptr || *value == '\0') return 60;
    char* end = nullptr;
    const unsigned long seconds = std::strtoul(value, &end, 10);
    if (*end != '\0' || seconds == 0 || seconds > 86400) return 60;
    return static_cast<unsigned>(seconds);
}

std::vector<RenderResult> render_batch(const BatchRenderer& renderer,
                                       const std::vector<std::string>& texts,
                                       const fs::path& scratch_parent, unsigned seconds) {
    std::vector<RenderResult> results(texts.size());
    if (texts.empty()) return results;
    const ScratchFolder scratch(scratch_parent);
    nlohmann::json job{{"timeout_ms", std::uint64_t{seconds} * 1000},
                       {"diagrams", nlohmann::json::array()}};
    std::vector<bool> not_utf8(texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        // Texts that are not UTF-8 would not survive JSON; the renderer would refuse them too.
        not_utf8[i] = helmkit::find_invalid_utf8(texts[i]) != std::string_view::npos;
        if (not_utf8[i]) continue;
        job["diagrams"].push_back(
            {{"text", texts[i]},
             {"output", (scratch.path() / (std::to_string(i) + ".svg")).string()}});
    }
    const fs::path job_file = scratch.path() / "job.json";
    helmkit::write_file_atomically(job_file, job.dump());
    const std::vector<std::string> command{renderer.node.string(), renderer.script.string(),
                                           renderer.cli.string(), job_file.string()};
    // Besides the diagrams, the browser's start and Mermaid's loading get one bound.
    const unsigned total = seconds * static_cast<unsigned>(texts.size() + 1) + 30;
    std::string failure;
    {
        const helmkit::Progress::Pause pause;
        try {
            const auto [status, stopped] = helmkit::run_process_bounded(command, total);
            if (stopped) {
                failure = "the diagram script took longer than " + std::to_string(total) +
                          " s and was stopped";
            } else if (!status.succeeded()) {
                failure = "the diagram script " + helmkit::describe_process_status(status);
            }
        } catch (const helmkit::Error& error) {
            failure = error.what();
        }
    }
    for (std::size_t i = 0; i < texts.size(); ++i) {
        auto& result = results[i];
        const fs::path svg = scratch.path() / (std::to_string(i) + ".svg");
        std::error_code error;
        if (fs::is_regular_file(svg, error)) {
            auto bytes = helmkit::fileMg::read_file(svg);
            if (is_whole_svg(bytes) && helmkit::find_invalid_utf8(bytes) == std::string_view::npos) {
                result.svg = std::move(bytes);
                continue;
            }
            result.error = "the renderer wrote no whole SVG";
            continue;
        }
        const fs::path message = scratch.path() / (std::to_string(i) + ".svg.error");
        if (fs::is_regular_file(message, error)) {
            auto text = helmkit::fileMg::read_file(message);
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
            result.error = text.empty() ? "the renderer failed" : text;
        } else if (not_utf8[i]) {
            result.error = "the diagram is not UTF-8 text";
        } else {
            result.error = failure.empty() ? "the renderer stopped before this diagram" : failure;
        }
    }
    return results;
}

}  // namespace torvane::chartdoc
