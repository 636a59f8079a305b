#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include "test_support.hpp"
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

// Makes and returns the folder `root`/in/ddd.../ddd... whose path below `root` is about 3,950
// bytes long (sixteen parts of 245 bytes). A workbook there keeps its backup beside it and a
// short new name in results, but a new name of 200 bytes or more passes the 4,095 bytes a path
// may hold, so its move fails while the others succeed.
inline std::filesystem::path deep_input_folder(const std::filesystem::path& root) {
    std::filesystem::path relative = "in";
    for (int i = 0; i < 16; ++i) relative /= std::string(245, 'd');
    std::filesystem::create_directories(root / relative);
    return relative;
}

// Writes `config` as expense.json in `dir` and runs claimsort there with `env` added.
inline torvane_test::RunResult run_claimsort(const torvane_test::TempDir& dir,
                                             const std::string& config,
                                             const std::map<std::string, std::string>& env = {}) {
    torvane_test::write_file(dir / "expense.json", config);
    return torvane_test::run_torvane({"claimsort", "-c", "expense.json"}, dir.path(), env);
}

}  // namespace claimsort_test
