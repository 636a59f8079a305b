#pragma once

#include <string_view>
#include <vector>

namespace torvane::manpage {

// Returns the lines of `text`, without their line feeds; a final line feed ends the last line.
inline std::vector<std::string_view> lines_of(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const auto end = text.find('\n');
        lines.push_back(text.substr(0, end));
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

}  // namespace torvane::manpage
