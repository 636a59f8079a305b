#pragma once

#include <string>
#include <vector>

#include "helmkit/text/cell_value.hpp"

namespace torvane::claimsort {

// Reads the cells at `cell_locations` ("D6", ...) from the active sheet of the workbook at
// `file_path`, stopping once they are read; one value per address, missing for an empty cell.
// Never throws: on any failure (unreadable file, an address that is no cell address) logs
// "Error reading excel <file_path>: <reason>" and returns as many missing values.
std::vector<helmkit::CellValue> get_excel_cell_value(const std::string& file_path,
                                                     const std::vector<std::string>& cell_locations);

// Returns the file-name part made from a cell value: "Unknown" for a missing value, otherwise
// its text form without \ / * ? : " < > |, control characters (C0, DEL, C1), bidirectional
// controls (U+202A to U+202E, U+2066 to U+2069) and bytes that are not UTF-8, and without white
// space at both ends (may be empty). The result is valid UTF-8.
std::string sanitize_filename(const helmkit::CellValue& name);

}  // namespace torvane::claimsort
