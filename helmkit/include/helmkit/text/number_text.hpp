#pragma once

#include <optional>
#include <string_view>

#include "helmkit/text/cell_value.hpp"

namespace helmkit {

// Returns the number that `field` spells when it is a plain number: an optional "-", digits
// without a leading zero (a lone 0 is fine), an optional fraction and exponent. A whole
// number that fits is an int64, anything else a double. Returns nothing for other texts, so
// "00123", "+5", " 7", "1,5" and "1e" stay texts.
std::optional<CellValue> parse_plain_number(std::string_view field);

// Returns the number that `field` spells in the notation of European exports: an optional "-",
// digits with dots between groups of three ("1.000") or none, an optional decimal comma and
// fraction ("1.000,50" is 1000.5, "12,5" 12.5). No leading zero (a lone 0 is fine), no
// exponent; a whole number that fits is an int64. Returns nothing for other texts ("1.5",
// "1.00", "00123").
std::optional<CellValue> parse_decimal_comma_number(std::string_view field);

// Returns the number `value` reads as: a number as it is, or a text that is, blanks around
// it trimmed, a decimal number with optional sign, leading zeros, fraction and exponent.
// Whole values that fit come back as int64, so 12, 12.0 and "012" give the same result.
// Returns nothing for other texts, booleans, date-times, missing cells, NaN and infinities.
std::optional<CellValue> read_as_number(const CellValue& value);

// Returns `text` without the blanks (spaces, tabs, line breaks) at either end.
std::string_view trim_blanks(std::string_view text);

}  // namespace helmkit
