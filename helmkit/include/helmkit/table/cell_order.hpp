#pragma once

#include "helmkit/text/cell_value.hpp"

namespace helmkit {

// Compares two cells for sorting: returns <0, 0 or >0. The order never fails on mixed
// columns: numbers (whole and real alike, by value) first, then date-times, booleans (false
// before true), texts by code point, and missing cells (and NaN) last.
int compare_cells(const CellValue& a, const CellValue& b);

}  // namespace helmkit
