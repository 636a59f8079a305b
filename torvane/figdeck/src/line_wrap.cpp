#include "line_wrap.hpp"

namespace torvane::figdeck {

std::vector<std::u32string> wrap_lines(const std::u32string& text, double room,
                                       const std::function<double(const std::u32string&)>& width_of) {
    std::vector<std::u32string> lines;
    std::u32string line;
    std::size_t i = 0;
    while (i <= text.size()) {
        if (i == text.size() || text[i] == U'\n') {
            lines.push_back(line);
            line.clear();
            ++i;
            continue;
        }
        line.push_back(text[i]);
        if (width_of(line) > room && line.size() > 1) {
            const auto blank = line.find_last_of(U' ');
            if (blank != std::u32string::npos && blank > 0) {
                lines.push_back(line.substr(0, blank));
                i -= line.size() - blank - 1;  // go on after the blank
            } else {
                line.pop_back();
                lines.push_back(line);
                i -= 1;  // the character that did not fit starts the next line
            }
            line.clear();
        }
        ++i;
    }
    return lines;
}

}  // namespace torvane::figdeck
