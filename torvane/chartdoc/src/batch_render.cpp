#include "torvane/chartdoc/batch_render.hpp"

#include <stdlib.h>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <thread>

#include "helmkit/base/child_process.hpp"
#include "helmkit/base/error.hpp"
#include "helmkit/base/progress.hpp"
#include "helmkit/files/atomic_file.hpp"
#include "helmkit/files/file_mg.hpp"
#include "helmkit/text/utf8.hpp"

namespace fs = std::filesystem;

namespace torvane::chartdoc {

namespace {

constexpr const char* k_renderer = "mmdc";

// A hidden folder of its own for one renderer run, removed with everything in it.
class ScratchFolder {
public:
    explicit ScratchFolder(const fs::path& parent) {
        std::string pattern = (parent / ".chartdoc-batch-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            helmkit::throw_file_error("create a folder for the diagrams in", parent, errno);
        }
        m_path = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const fs::path& path() const { return m_path; }

private:
    fs::path m_path;
};

bool ends_a_block(std::string_view line) {
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r' ||
                             line.back() == '\f' || line.back() == '\v')) {
        line.remove_suffix(1);
    }
    if (line.size() < 3) return false;
    for (const char c : line.substr(line.size() - 3)) {
        if (c != '`' && c != ':') return false;
    }
    return true;
}

bool is_whole_svg(std::string_view svg) {
    while (!svg.empty() && (svg.back() == '\n' || svg.back() == '\r' || svg.back() == ' ')) {
        svg.remove_suffix(1);
    }
    return svg.ends_with("</svg>");
}

}  // namespace

bool fits_in_a_block(std::string_view source) {
    // Besides the line feed, the renderer's pattern also ends lines at CR, U+2028 and U+2029.
    std::size_t start = 0;
    while (start <= source.size()) {
        std::size_t end = source.size();
        std::size_t next = end + 1;
        for (std::size_t i = start; i < source.size(); ++i) {
            if (source[i] == '\n' || source[i] == '\r') {
                end = i;
                next = i + 1;
                break;
            }
            if (source.substr(i, 3) == "\xe2\x80\xa8" || source.substr(i, 3) == "\xe2\x80\xa9") {
                end = i;
                next = i + 3;
                break;
            }
        }
        if (ends_a_block(source.substr(start, end - start))) return false;
        start = next;
    }
    return true;
}

std::string batch_markdown(const std::vector<std::string>& sources) {
    std::string markdown;
    for (const auto& source : sources) {
        markdown += "```mermaid\n";
        markdown += source;
        if (source.empty() || source.back() != '\n') markdown += '\n';
        markdown += "```\n\n";
    }
    return markdown;
}

std::vector<std::optional<std::string>> render_in_one_run(
    const std::vector<std::string>& sources, const fs::path& scratch_parent) {
    const ScratchFolder scratch(scratch_parent);
    const fs::path markdown = scratch.path() / "diagrams.md";
    helmkit::write_file_atomically(markdown, batch_markdown(sources));
    const auto jobs = std::max(1u, std::thread::hardware_concurrency());
    const std::vector<std::string> command{k_renderer, "--quiet", "--jobs", std::to_string(jobs),
                                           "-i", markdown.string(), "-o",
                                           (scratch.path() / "diagram.svg").string()};
    bool succeeded = false;
    {
        const helmkit::Progress::Pause pause;
        try {
            succeeded = helmkit::run_process(command).succeeded();
        } catch (const helmkit::Error&) {
            return std::vector<std::optional<std::string>>(sources.size());
        }
    }
    std::vector<std::optional<std::string>> svgs(sources.size());
    for (std::size_t i = 0; i < sources.size(); ++i) {
        const fs::path svg = scratch.path() / ("diagram-" + std::to_string(i + 1) + ".svg");
        if (!fs::is_regular_file(svg)) continue;
        auto bytes = helmkit::fileMg::read_file(svg);
        // A renderer that stopped at a failing diagram may have been writing another one: the
        // serialised SVG ends with its closing tag only once it is whole.
        if (succeeded || is_whole_svg(bytes)) svgs[i] = std::move(bytes);
    }
    return svgs;
}

DiagramBatches::DiagramBatches(std::vector<std::optional<std::string>> sources,
                               fs::path scratch_parent)
    : m_sources(std::move(sources)),
      m_svgs(m_sources.size()),
      m_alone(m_sources.size(), false),
      m_scratch_parent(std::move(scratch_parent)) {}

std::optional<std::string> DiagramBatches::svg_of(std::size_t i) {
    if (m_svgs[i]) return std::exchange(m_svgs[i], std::nullopt);
    if (m_alone[i] || !m_sources[i]) return std::nullopt;
    std::vector<std::size_t> members;
    std::vector<std::string> texts;
    for (std::size_t j = i; j < m_sources.size(); ++j) {
        if (!m_sources[j] || m_alone[j] || m_svgs[j]) continue;
        members.push_back(j);
        texts.push_back(*m_sources[j]);
    }
    if (members.size() < 2) return std::nullopt;
    auto svgs = render_in_one_run(texts, m_scratch_parent);
    bool first_missing = true;
    for (std::size_t k = 0; k < members.size(); ++k) {
        // An SVG that is not UTF-8 is rendered again alone, where it fails as it always has.
        if (svgs[k] && helmkit::find_invalid_utf8(*svgs[k]) == std::string_view::npos) {
            m_svgs[members[k]] = std::move(svgs[k]);
        } else if (first_missing) {
            m_alone[members[k]] = true;
            first_missing = false;
        }
    }
    return std::exchange(m_svgs[i], std::nullopt);
}

}  // namespace torvane::chartdoc
