#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "helmkit/text/cell_address.hpp"
#include "helmkit/text/cell_value.hpp"

namespace helmkit {

namespace detail {
struct XlsxWorkbook;
}

// No part of a workbook may inflate beyond this by default: a sheet of the largest size
// Excel allows stays far below it, a zip bomb does not.
inline constexpr std::uint64_t k_max_workbook_entry_size = std::uint64_t{1} << 30;

// The longest tag (name and attributes), comment or run of text a workbook part may hold.
// A cell holds at most 32,767 characters, which XML writes in at most 8 bytes each
// ("&#xFFFF;"), so 1 MiB leaves room for long range lists and stays cheap to parse.
inline constexpr std::size_t k_max_xml_token_size = std::size_t{1} << 20;
// How deep elements may nest in a workbook part; sheets nest about six deep.
inline constexpr std::size_t k_max_xml_depth = 256;

// Why a cell of a sheet gives no value.
struct EmptyCellReason {
    enum class Kind { empty, formula_without_value, merged };
    Kind kind = Kind::empty;
    // With merged: the top-left cell of the merged range, which holds the range's value.
    CellAddress top_left{};
};

// Streaming reader of one sheet (by default the active one) of an .xlsx workbook (libzip + expat):
// the sheet is parsed as it is inflated and never held whole. Shared strings and the date styles
// are read when a reading first needs them, and only as far as it needs them. A row beyond
// k_max_sheet_rows or a column beyond XFD, a token beyond k_max_xml_token_size and nesting
// beyond k_max_xml_depth are refused as damage. Cell values:
// - numbers: an integer (int64) when the stored text has no decimal point or exponent,
//   otherwise a double; a date-time when the cell's number format is a date or time format
//   (1900 system with its leap-year bug, or 1904), to the millisecond;
// - texts: shared strings, inline strings and rich text (runs joined, phonetic runs left out),
//   formula results stored as text, error values as their text ("#DIV/0!");
// - booleans; a formula whose result was never stored is missing and not visited.
class XlsxReader {
public:
    // Opens the workbook and finds its active sheet (the first when none is marked). Throws
    // Error naming the file when it is not a readable .xlsx: not a zip archive, truncated,
    // encrypted (an OLE container), corrupt, or a part inflating beyond `max_entry_size`.
    // The readings below throw the same for the parts they read.
    explicit XlsxReader(const std::filesystem::path& path,
                        std::uint64_t max_entry_size = k_max_workbook_entry_size);
    // Opens the workbook to read the sheet named `sheet` (the active one when empty). Throws
    // Error as above, and naming the workbook's sheets when none is named `sheet`.
    XlsxReader(const std::filesystem::path& path, std::string_view sheet,
               std::uint64_t max_entry_size = k_max_workbook_entry_size);
    ~XlsxReader();
    XlsxReader(const XlsxReader&) = delete;
    XlsxReader& operator=(const XlsxReader&) = delete;
    XlsxReader(XlsxReader&&) noexcept;
    XlsxReader& operator=(XlsxReader&&) noexcept;

    // Streams the sheet's non-empty cells in file order; stops as soon as `visit`
    // returns false. Throws Error naming the file when the sheet is damaged.
    void for_each_cell(
        const std::function<bool(std::uint32_t row, std::uint32_t column, const CellValue& value)>&
            visit);

    // Returns the values of `cells` in their order, missing for empty cells; reads the sheet
    // only as far as the last of them, then just the shared strings and styles they need.
    // Throws Error as for_each_cell does, for the first damaged cell up to the last wanted one.
    std::vector<CellValue> read_cells(const std::vector<CellAddress>& cells);

    // The name of the sheet that is read.
    const std::string& sheet_name() const;

    // The size in bytes of the sheet and shared strings parts once inflated: the most text a
    // reading can meet without a shared string being used twice.
    std::uint64_t parts_size() const;
    // The number of sheets the workbook has.
    std::size_t sheet_count() const;

    // Reads the whole sheet that is read to say, for each of `cells`, why it holds no value: it
    // lies in a merged range but is not its top-left cell, it holds a formula whose result was
    // never stored, or nothing is there. Throws Error when the sheet is damaged.
    std::vector<EmptyCellReason> explain_empty_cells(const std::vector<CellAddress>& cells);

private:
    std::unique_ptr<detail::XlsxWorkbook> m_workbook;
};

}  // namespace helmkit
