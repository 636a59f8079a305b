#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace helmkit {

// The largest sheet Excel makes: rows 1 to 1,048,576, columns A to XFD.
inline constexpr std::uint32_t k_max_sheet_rows = 1'048'576;
inline constexpr std::uint32_t k_max_sheet_columns = 16'384;

// A cell position on a sheet; both numbers start at 1.
struct CellAddress {
    std::uint32_t row;
    std::uint32_t column;
    bool operator==(const CellAddress&) const = default;
};

// Parses an A1-style address ("H2", "$d$6"; letters in any case, up to XFD1048576) into row
// and column. Throws Error for a text that is not a cell address ("H", "2", "", "A0").
CellAddress parse_cell_address(std::string_view address);

// Parses `text` as parse_cell_address does into `address`; returns false instead of throwing,
// for readers that meet an address at every cell.
bool try_parse_cell_address(std::string_view text, CellAddress& address);

// Whether `text` has the shape of an address (letters, then digits, "$" allowed before each),
// whatever the size of its numbers, so that "A9999999" can be told apart from "A-1".
bool looks_like_cell_address(std::string_view text);

// Returns the letters of column number `column` (1 is "A", 16384 is "XFD").
std::string column_letters(std::uint32_t column);

}  // namespace helmkit
