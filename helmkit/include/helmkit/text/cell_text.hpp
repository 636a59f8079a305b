#pragma once

#include <string>

#include "helmkit/text/cell_value.hpp"

namespace helmkit {

// Returns the text a user reads for `value`: "" for missing, numbers in their shortest exact
// form (classic locale: 12, 12.5, 1e+20), texts as they are, "TRUE"/"FALSE", date-times as
// "2024-01-15 08:30:00" (with microseconds when there are any).
std::string cell_to_text(const CellValue& value);

// Returns the text form of a cell value that file names carry (claimsort):
// texts as they are; whole numbers in decimal digits; real numbers in their shortest form that
// reads back the same, with at least one digit after the point (12.5, 150.0), in exponent form
// from 1e16 upward and below 1e-4 (1.5e+16, 1e-05); True or False; a date-time as
// "2024-03-07 00:00:00", with ".ffffff" only when the second has a fraction; missing as "".
std::string cell_text_form(const CellValue& value);

}  // namespace helmkit
