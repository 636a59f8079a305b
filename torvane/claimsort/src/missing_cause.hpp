#pragma once

#include <string>
#include <vector>

#include "helmkit/text/cell_value.hpp"

namespace torvane::claimsort {

// Says why the cells `cell_locations` of the workbook at `file_path` that read as `values`
// are missing: "Cause: D6 is empty; the sheet read is 'Claim', the active one of 3 sheets"
// (a formula with no stored result, a cell inside a merged range, an empty cell). Empty when
// nothing is missing or the workbook cannot be read. Never throws.
std::string missing_cells_cause(const std::string& file_path,
                                const std::vector<std::string>& cell_locations,
                                const std::vector<helmkit::CellValue>& values);

}  // namespace torvane::claimsort
