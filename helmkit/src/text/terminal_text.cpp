#include "helmkit/text/terminal_text.hpp"

#include <fmt/format.h>

namespace helmkit {

namespace {

bool is_control(unsigned char c) { return (c < 0x20 && c != '\t' && c != '\n') || c == 0x7F; }

bool is_c1_lead(std::string_view text, std::size_t i) {
    return static_cast<unsigned char>(text[i]) == 0xC2 && i + 1 < text.size() &&
           static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
           static_cast<unsigned char>(text[i + 1]) <= 0x9F;
}

}  // namespace

std::string terminal_safe(std::string_view text) {
    std::size_t first = 0;
    while (first < text.size() && !is_control(static_cast<unsigned char>(text[first])) &&
           !is_c1_lead(text, first)) {
        ++first;
    }
    if (first == text.size()) return std::string(text);

    std::string safe(text.substr(0, first));
    for (std::size_t i = first; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\r') {
            safe += "\\r";
        } else if (is_control(c)) {
            safe += fmt::format("\\x{:02x}", c);
        } else if (is_c1_lead(text, i)) {
            safe += fmt::format("\\u{:04x}", static_cast<unsigned char>(text[++i]));
        } else {
            safe += text[i];
        }
    }
    return safe;
}

}  // namespace helmkit
