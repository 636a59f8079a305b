#pragma once

#include <string>

#include "helmkit/cell_value.hpp"

namespace helmkit {

// Returns the text a user reads for `value`: "" for missing, numbers in their shortest exact
// form (classic locale: 12, 12.5, 1e+20), texts as they are, "TRUE"/"FALSE", date-times as
// "2024-01-15 08:30:00" (with microseconds when there are any).
std::string cell_to_text(const CellValue& value);

}  // namespace helmkit
