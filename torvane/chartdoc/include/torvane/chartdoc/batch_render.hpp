#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace torvane::chartdoc {

// Returns true when the diagram text `source` can travel inside a mermaid block of a Markdown
// file: the renderer ends a block at the first line that ends in ``` or ::: (blanks after them
// aside), so no line of `source` may.
bool fits_in_a_block(std::string_view source);

// Returns the Markdown file that holds `sources` as mermaid blocks, in order, each exactly as
// written (a line feed added after a text that does not end with one).
std::string batch_markdown(const std::vector<std::string>& sources);

// Renders the diagram texts `sources` (each fit for a block) with one start of the renderer
// `mmdc`: given a Markdown file, it renders the blocks in one browser, as many at a time as
// there are processors, and writes <stem>-1.svg, <stem>-2.svg, ... The work happens in a
// hidden folder made inside `scratch_parent` and removed afterwards. Returns, for each source,
// the SVG file's bytes, or nothing when it was not written whole (the renderer stopped at a
// diagram that failed). Throws helmkit::Error when the scratch folder or the Markdown file
// cannot be made or an SVG file cannot be read.
std::vector<std::optional<std::string>> render_in_one_run(
    const std::vector<std::string>& sources, const std::filesystem::path& scratch_parent);

// The SVGs of one run's diagrams, rendered in as few renderer starts as their failures allow.
class DiagramBatches {
public:
    // `sources[i]` is the text of diagram i when it may be rendered in a batch (it fits in a
    // block), nothing when it must be rendered alone. Batches work in `scratch_parent`.
    DiagramBatches(std::vector<std::optional<std::string>> sources,
                   std::filesystem::path scratch_parent);

    // Returns the SVG (UTF-8 bytes as the renderer wrote them) of diagram `i`, rendering it and
    // every later batchable diagram not rendered yet in one run when no run has covered it.
    // Returns nothing when `i` is to be rendered alone: it may not be batched, it is the first
    // diagram a failed batch did not render, or it is the only one left. Diagrams are asked for in
    // order. Throws helmkit::Error as render_in_one_run() does.
    std::optional<std::string> svg_of(std::size_t i);

private:
    std::vector<std::optional<std::string>> m_sources;
    std::vector<std::optional<std::string>> m_svgs;
    std::vector<bool> m_alone;
    std::filesystem::path m_scratch_parent;
};

}  // namespace torvane::chartdoc
