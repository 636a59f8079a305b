#pragma once

#include <string_view>

namespace helmkit {

// Returns whether `c` is one of the digits 0 to 9, whatever the locale and the sign of char.
constexpr bool is_ascii_digit(char c) noexcept { return c >= '0' && c <= '9'; }

// Returns whether `text` ends with `suffix` when ASCII letters are compared without regard to
// case (".MD" ends "README.MD" as ".md" does); other bytes must be equal. Never throws.
bool ends_with_ignoring_case(std::string_view text, std::string_view suffix);

}  // namespace helmkit
