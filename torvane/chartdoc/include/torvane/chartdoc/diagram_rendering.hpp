#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "torvane/chartdoc/batch_render.hpp"
#include "torvane/chartdoc/diagram_cache.hpp"

namespace torvane::chartdoc {

// Returns what identifies the renderer behind `mmdc` for the cache: the versions of mermaid-cli
// and mermaid it loads, or, when they cannot be read, its resolved path, size and time.
std::string renderer_identity(const std::filesystem::path& mmdc);

// Renders the diagram texts of one run (fenced diagrams, and .mmd files in batch mode) with one
// mmdc per diagram or with the batch script, through the cache when it is on.
class DiagramRendering {
public:
    struct Settings {
        bool batch = false;
        bool cache = false;
        std::filesystem::path mmdc;           // the renderer found on PATH
        std::filesystem::path output_folder;  // where scratch folders are made
    };
    // Logs one warning when the cache or the batch script cannot be had; the run then goes on
    // without them.
    explicit DiagramRendering(Settings settings);

    bool batch() const { return m_batch.has_value(); }

    // In batch mode, renders every text that the cache does not hold in one run of the script.
    // Throws helmkit::Error when its scratch folder cannot be made.
    void prefetch(const std::vector<std::string>& texts);
    // Returns the result for `text`: from the cache, from prefetch(), or rendered now (alone:
    // mmdc on a scratch copy; batch: a run of its own). Throws helmkit::Error as prefetch().
    RenderResult render(const std::string& text);

    // The cached SVG of `text`, and keeping one, for .mmd files rendered by mmdc in place.
    std::optional<std::string> cached(const std::string& text) const;
    void keep(const std::string& text, const std::string& svg);

    // Holds the cache to its bound.
    void finish() const;

private:
    RenderResult render_alone(const std::string& text);

    Settings m_settings;
    std::optional<BatchRenderer> m_batch;
    std::optional<DiagramCache> m_cache;
    std::map<std::string, RenderResult> m_prefetched;
};

}  // namespace torvane::chartdoc
