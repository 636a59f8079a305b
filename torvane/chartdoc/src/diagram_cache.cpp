#include "torvane/chartdoc/diagram_cache.hpp"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <system_error>
#include <utility>
#include <vector>

#include "helmkit/base/error.hpp"
#include "helmkit/files/atomic_file.hpp"
#include "helmkit/files/file_mg.hpp"
#include "helmkit/text/sha256.hpp"
#include "helmkit/text/utf8.hpp"

namespace fs = std::filesystem;

namespace torvane::chartdoc {

namespace {

constexpr std::string_view k_magic = "torvane-diagram 1 ";
constexpr std::string_view k_suffix = ".svgcache";

}  // namespace

DiagramCache::DiagramCache(fs::path folder, std::string renderer)
    : m_folder(std::move(folder)), m_renderer(std::move(renderer)) {
    std::error_code error;
    fs::create_directories(m_folder, error);
    if (error || !fs::is_directory(m_folder, error)) {
        m_on = false;
        m_off_reason = "cannot create '" + m_folder.string() + "': " +
                       (error ? error.message() : std::string("not a folder"));
    }
}

std::optional<fs::path> DiagramCache::default_folder() {
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg != nullptr && *xdg == '/') return fs::path(xdg) / "torvane" / "diagrams";
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') return std::nullopt;
    return fs::path(home) / ".cache" / "torvane" / "diagrams";
}

std::string DiagramCache::key(std::string_view text) const {
    helmkit::Sha256 hash;
    const std::string renderer_size = std::to_string(m_renderer.size()) + ":";
    hash.update(renderer_size);
    hash.update(m_renderer);
    hash.update(text);
    return hash.hex_digest();
}

fs::path DiagramCache::entry(const std::string& key) const {
    return m_folder / (key + std::string(k_suffix));
}

std::optional<std::string> DiagramCache::find(std::string_view text) const {
    if (!m_on) return std::nullopt;
    const std::string wanted = key(text);
    const fs::path path = entry(wanted);
    std::string bytes;
    try {
        bytes = helmkit::fileMg::read_file(path);
    } catch (const helmkit::Error&) {
        return std::nullopt;
    }
    // "<magic><key> <size> <checksum>\n<svg>"
    const std::size_t line_end = bytes.find('\n');
    if (line_end == std::string::npos) return std::nullopt;
    const std::string_view header = std::string_view(bytes).substr(0, line_end);
    const std::string expected_start = std::string(k_magic) + wanted + " ";
    if (!header.starts_with(expected_start)) return std::nullopt;
    const std::string_view rest = header.substr(expected_start.size());
    const std::size_t blank = rest.find(' ');
    if (blank == std::string_view::npos) return std::nullopt;
    const std::string size_text(rest.substr(0, blank));
    const std::string_view checksum = rest.substr(blank + 1);
    std::string svg = bytes.substr(line_end + 1);
    if (size_text != std::to_string(svg.size()) || checksum != helmkit::sha256_hex(svg) ||
        helmkit::find_invalid_utf8(svg) != std::string_view::npos) {
        return std::nullopt;
    }
    // The bound removes the entries used longest ago.
    ::utimensat(AT_FDCWD, path.c_str(), nullptr, 0);
    return svg;
}

std::optional<std::string> DiagramCache::store(std::string_view text, std::string_view svg) {
    if (!m_on) return std::nullopt;
    const std::string name = key(text);
    try {
        helmkit::AtomicFile file(entry(name));
        file.write(std::string(k_magic) + name + " " + std::to_string(svg.size()) + " " +
                   helmkit::sha256_hex(svg) + "\n");
        file.write(svg);
        file.commit();
    } catch (const helmkit::Error& error) {
        m_on = false;
        m_off_reason = error.what();
        return m_off_reason;
    }
    return std::nullopt;
}

void DiagramCache::trim(std::uintmax_t limit) const {
    if (!m_on) return;
    struct Entry {
        fs::file_time_type time;
        std::uintmax_t size;
        fs::path path;
    };
    std::vector<Entry> entries;
    std::uintmax_t total = 0;
    std::error_code error;
    for (fs::directory_iterator it(m_folder, error), end; !error && it != end;
         it.increment(error)) {
        const auto& path = it->path();
        if (path.extension() != k_suffix) continue;
        std::error_code ignored;
        const auto size = fs::file_size(path, ignored);
        if (ignored) continue;
        const auto time = fs::last_write_time(path, ignored);
        if (ignored) continue;
        entries.push_back({time, size, path});
        total += size;
    }
    if (total <= limit) return;
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.time < b.time; });
    for (const auto& old : entries) {
        if (total <= limit) break;
        std::error_code ignored;
        if (fs::remove(old.path, ignored)) total -= old.size;
    }
}

}  // namespace torvane::chartdoc
