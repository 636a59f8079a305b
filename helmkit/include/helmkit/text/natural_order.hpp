#pragma once

#include <string_view>

namespace helmkit {

// Returns whether `a` sorts before `b` in natural order: runs of ASCII digits compare by
// their value (so "RX2" before "RX10"), everything else by code point; names equal under
// that rule (such as "a01" and "a1") fall back to plain code-point order, so the order is total.
bool natural_less(std::string_view a, std::string_view b);

}  // namespace helmkit
