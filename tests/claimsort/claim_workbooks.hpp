#pragma once

#include <filesystem>
#include <functional>

#include "workbook_files.hpp"

namespace claimsort_test {

// Writes an expense workbook at `path` whose first sheet `fill` fills (cells by row and
// column, 0-based, as libxlsxwriter counts them: D6 is row 5, column 3; P56 row 55, column 15).
inline void write_claim(const std::filesystem::path& path,
                        const std::function<void(torvane_test::TestWorkbook&, lxw_worksheet*)>& fill) {
    torvane_test::TestWorkbook book(path);
    lxw_worksheet* sheet = book.add_sheet();
    worksheet_write_string(sheet, 0, 0, "Expense claim", nullptr);
    fill(book, sheet);
    book.close();
}

// An expense workbook with `name` in D6 and `amount` in P56.
inline void write_claim(const std::filesystem::path& path, const char* name, double amount) {
    write_claim(path, [&](torvane_test::TestWorkbook&, lxw_worksheet* sheet) {
        worksheet_write_string(sheet, 5, 3, name, nullptr);
        worksheet_write_number(sheet, 55, 15, amount, nullptr);
    });
}

}  // namespace claimsort_test
