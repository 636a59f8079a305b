#include "helmkit/text/terminal_text.hpp"

#include <fmt/format.h>

namespace helmkit {

namespace {

bool is_control(unsigned char c, bool keep_line_feeds) {
    return (c < 0x20 && c != '\t' && !(keep_line_feeds && c == '\n')) || c == 0x7F;
}

bool is_c1_lead(std::string_view text, std::size_t i) {
    return static_cast<unsigned char>(text[i]) == 0xC2 && i + 1 < text.size() &&
           static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
           static_cast<unsigned char>(text[i + 1]) <= 0x9F;
}

}  // namespace

std::string terminal_safe(std::string_view text, bool keep_line_feeds) {
    std::size_t first = 0;
    for (; first < text.size(); ++first) {
        const auto c = static_cast<unsigned char>(text[first]);
        if (is_control(c, keep_line_feeds) || is_c1_lead(text, first)) break;
    }
    if (first == text.size()) return std::string(text);

    std::string safe(text.substr(0, first));
    for (std::size_t i = first; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (!is_control(c, keep_line_feeds) && !is_c1_lead(text, i)) {
            safe += text[i];
        } else if (c == '\n') {
            safe += "\\n";
        } else if (c == '\r') {
            safe += "\\r";
        } else if (c < 0x20 || c == 0x7F) {
            safe += fmt::format("\\x{:02x}", c);
        } else {  // a C1 control, two bytes in UTF-8
            safe += fmt::format("\\u{:04x}", static_cast<unsigned char>(text[++i]));
        }
    }
    return safe;
}

}  // namespace helmkit
