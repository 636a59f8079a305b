#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace torvane::chartdoc {

// What a renderer made of one diagram text: its SVG, or one line saying why there is none.
struct RenderResult {
    std::optional<std::string> svg;
    std::string error;
};

// The programs a batch of diagrams is rendered with: node, the diagram script installed with
// this library, and the mermaid-cli program that `mmdc` leads to, whose packages it loads.
struct BatchRenderer {
    std::filesystem::path node;
    std::filesystem::path script;
    std::filesystem::path cli;
};

// Finds node on PATH, the script beside this library's installation (or build) and the real
// file behind `mmdc`. Throws helmkit::Error naming what is missing.
BatchRenderer find_batch_renderer(const std::filesystem::path& mmdc);

// The most one diagram may take: 60 s, or the whole seconds of TORVANE_RENDER_TIMEOUT.
unsigned diagram_time_bound();

// Renders `texts` with one run of the script: one browser, Mermaid loaded once into one page,
// each diagram bounded by `seconds` (the browser is ended with one that takes longer). The texts
// travel in a job file in a hidden folder made inside `scratch_parent` and removed afterwards.
// Returns one result per text, in order. Throws helmkit::Error when the folder or the job file
// cannot be made.
std::vector<RenderResult> render_batch(const BatchRenderer& renderer,
                                       const std::vector<std::string>& texts,
                                       const std::filesystem::path& scratch_parent,
                                       unsigned seconds);

// A hidden folder of its own inside `parent` (".chartdoc-batch-XXXXXX"), removed with
// everything in it.
class ScratchFolder {
public:
    // Throws helmkit::Error when the folder cannot be made.
    explicit ScratchFolder(const std::filesystem::path& parent);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

}  // namespace torvane::chartdoc
