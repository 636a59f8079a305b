#include <sys/ioctl.h>
#include <unistd.h>

#include <sstream>
#include <string_view>
#include <vector>

#include "torvane/front.hpp"

namespace torvane::front {

namespace {

constexpr std::string_view k_verbatim_marker = "\b";

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    std::istringstream in(text);
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

void append_wrapped(std::string& out, const std::vector<std::string>& paragraph, std::size_t width) {
    std::string line;
    for (const auto& source : paragraph) {
        std::istringstream words(source);
        std::string word;
        while (words >> word) {
            if (!line.empty() && line.size() + 1 + word.size() > width) {
                out += line + "\n";
                line.clear();
            }
            if (!line.empty()) line += ' ';
            line += word;
        }
    }
    if (!line.empty()) out += line + "\n";
}

}  // namespace

std::string layout_help_text(const std::string& text, std::size_t width) {
    std::string out;
    const auto lines = split_lines(text);
    std::size_t i = 0;
    while (i < lines.size()) {
        if (lines[i].empty()) {
            out += "\n";
            ++i;
            continue;
        }
        const bool verbatim = lines[i] == k_verbatim_marker;
        if (verbatim) ++i;
        std::vector<std::string> paragraph;
        while (i < lines.size() && !lines[i].empty()) paragraph.push_back(lines[i++]);
        if (verbatim) {
            for (const auto& line : paragraph) out += line + "\n";
        } else {
            append_wrapped(out, paragraph, width);
        }
    }
    return out;
}

std::size_t terminal_width() {
    winsize size{};
    if (::isatty(STDOUT_FILENO) && ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return 80;
}

}  // namespace torvane::front
