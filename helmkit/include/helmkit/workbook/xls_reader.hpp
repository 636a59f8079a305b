#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>

#include "helmkit/text/cell_value.hpp"

namespace helmkit {

// Reads an Excel 97-2003 workbook (.xls) through FreeXL.
class XlsReader {
public:
    // Opens the workbook. Throws Error naming the file when it is not a readable .xls
    // workbook or is password-protected.
    explicit XlsReader(const std::filesystem::path& path);
    ~XlsReader();
    XlsReader(const XlsReader&) = delete;
    XlsReader& operator=(const XlsReader&) = delete;

    // Calls `visit` with row and column (both 1-based) and value of every non-empty cell of
    // the first sheet, row by row; stops as soon as `visit` returns false. Dates and
    // date-times are date-time values. Throws Error naming the file when a cell cannot be read.
    void for_each_cell(
        const std::function<bool(std::uint32_t row, std::uint32_t column, const CellValue& value)>&
            visit);

private:
    std::filesystem::path m_path;
    const void* m_handle = nullptr;
};

}  // namespace helmkit
