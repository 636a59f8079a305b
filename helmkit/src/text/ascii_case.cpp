#include "helmkit/text/ascii_case.hpp"

#include <cstddef>

namespace helmkit {

namespace {

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool ends_with_ignoring_case(std::string_view text, std::string_view suffix) {
    if (text.size() < suffix.size()) return false;
    const std::size_t start = text.size() - suffix.size();
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        if (ascii_lower(text[start + i]) != ascii_lower(suffix[i])) return false;
    }
    return true;
}

}  // namespace helmkit
