#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "helmkit/text/cell_value.hpp"
#include "xlsx_package.hpp"

namespace helmkit::detail {

// How a sheet cell says its text is to be read (its "t" attribute).
enum class CellType { number, shared_string, inline_string, formula_string, boolean, error, date };

// One cell as the sheet stores it, before its value is made.
struct RawCell {
    std::uint32_t row = 0;
    std::uint32_t column = 0;
    std::uint32_t style = 0;
    CellType type = CellType::number;
    bool has_text = false;
    std::string text;
};

// Parses the shared-string number a cell's text holds; returns false for anything else.
bool parse_string_index(const std::string& text, std::uint32_t& index);

// Makes cell values from raw cells with what the workbook has read of its strings and styles.
class CellMaker {
public:
    explicit CellMaker(const XlsxWorkbook& workbook) : m_workbook(workbook) {}

    // Throws Error naming the workbook and the cell: "cell <A1> <what> '<text>'".
    [[noreturn]] void fail(const RawCell& cell, std::string_view what) const;
    // Throws Error for a cell naming a shared string that does not exist.
    [[noreturn]] void fail_string(const RawCell& cell) const;

    // Sets `value` to the number (or, with `dates` and a date style, the date-time) that
    // `cell` holds. Throws Error when its text is no number.
    void make_number(const RawCell& cell, CellValue& value, bool dates) const;

    // Sets `value` to the value of `cell`, whose text it may decode in place. Throws Error for
    // a bad number or a shared string that does not exist.
    void make(RawCell& cell, CellValue& value) const;

private:
    bool is_date_style(std::uint32_t style) const;

    const XlsxWorkbook& m_workbook;
};

// Receives the non-empty cells of a sheet in file order; returns false to end the reading.
// The two others hear of what holds no value: a cell with a formula whose result was never
// stored (its position in `cell`), and each merged range (its "ref", as written).
class CellSink {
public:
    virtual ~CellSink() = default;
    virtual bool take(RawCell& cell) = 0;
    virtual void formula_without_value(const RawCell&) {}
    virtual void merged_range(std::string_view) {}
};

// Streams the workbook's sheet part and hands every non-empty cell to `sink` in file order.
// Throws Error naming the workbook for a row or cell beyond the sheet's bounds, a bad cell
// reference, or damage XmlStream::parse meets.
void stream_sheet(XlsxWorkbook& workbook, CellSink& sink);

}  // namespace helmkit::detail
