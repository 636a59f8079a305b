#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace torvane::chartdoc {

// The SVGs of diagrams rendered before, one file per diagram, keyed by a hash of the diagram
// text and of what renders it. An entry holds its key, size and checksum beside the SVG, and one
// that does not match them is never used.
class DiagramCache {
public:
    // The bound past which the oldest entries are removed.
    static constexpr std::uintmax_t k_limit = std::uintmax_t{256} << 20;

    // A cache in `folder`, for SVGs made by the renderer that `renderer` describes (its
    // identity and configuration). Makes the folder; when it cannot, the cache is off.
    DiagramCache(std::filesystem::path folder, std::string renderer);

    // $XDG_CACHE_HOME/torvane/diagrams, or ~/.cache/torvane/diagrams when it is unset or not
    // absolute. Returns nothing when neither is known.
    static std::optional<std::filesystem::path> default_folder();

    // Returns the SVG kept for `text`, or nothing when there is none or it is damaged. A use
    // makes the entry the newest.
    std::optional<std::string> find(std::string_view text) const;
    // Keeps `svg` for `text`, atomically. When the folder cannot be written, turns the cache
    // off and returns the reason (the caller warns once); returns nothing otherwise.
    std::optional<std::string> store(std::string_view text, std::string_view svg);
    // Removes the oldest entries while all of them hold more than `limit` bytes.
    void trim(std::uintmax_t limit = k_limit) const;

    bool on() const { return m_on; }
    // Why the cache is off, when it is.
    const std::string& off_reason() const { return m_off_reason; }

private:
    std::string key(std::string_view text) const;
    std::filesystem::path entry(const std::string& key) const;

    std::filesystem::path m_folder;
    std::string m_renderer;
    bool m_on = true;
    std::string m_off_reason;
};

}  // namespace torvane::chartdoc
