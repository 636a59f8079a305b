#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "helmkit/text/cell_value.hpp"

namespace helmkit {

class ForkedChild;

// Reads an Excel 97-2003 workbook (.xls) through FreeXL. FreeXL runs in a child process
// (ForkedChild), because it reads out of bounds on some damaged files: such a file then
// ends the child and is refused as damaged, and the caller goes on. Like any ForkedChild, open
// one only while no other thread runs.
class XlsReader {
public:
    // Opens the workbook to read the sheet named `sheet` (the first when empty). Throws Error
    // naming the file when it is not a readable .xls workbook, is password-protected or
    // damaged, or has no sheet of that name (then listing its sheets).
    explicit XlsReader(const std::filesystem::path& path, const std::string& sheet = {});
    ~XlsReader();
    XlsReader(const XlsReader&) = delete;
    XlsReader& operator=(const XlsReader&) = delete;

    // The name of the sheet that is read.
    const std::string& sheet_name() const { return m_sheet_name; }

    // Calls `visit` with row and column (both 1-based) and value of every non-empty cell of
    // the sheet, row by row; stops as soon as `visit` returns false. Dates and
    // date-times are date-time values. Call it once. Throws Error naming the file when a cell
    // cannot be read.
    void for_each_cell(
        const std::function<bool(std::uint32_t row, std::uint32_t column, const CellValue& value)>&
            visit);

private:
    [[noreturn]] void fail_from_child();

    std::filesystem::path m_path;
    std::string m_sheet_name;
    std::unique_ptr<ForkedChild> m_child;
};

}  // namespace helmkit
