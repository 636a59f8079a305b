#pragma once

#include <gtest/gtest.h>

#include <chrono>

#include <map>
#include <string>
#include <vector>

#include "helmkit/base/json.hpp"
#include "helmkit/text/cell_value.hpp"
#include "test_support.hpp"
#include "workbook_files.hpp"

namespace dealmatch_test {

using namespace torvane_test;

// The header line of a system export with the template's columns: PO in H, SO in I, SO_POS in
// J, SO_SUFFIX in K, QTY in L, RDD in Q.
inline const std::string k_system_header =
    "A;B;C;D;E;F;G;PO;SO;SO_POS;SO_SUFFIX;QTY;M;N;O;P;RDD\n";

// One system line in the template's columns; fields as they appear in the file.
inline std::string system_line(const std::string& po, const std::string& so,
                               const std::string& so_pos, const std::string& qty,
                               const std::string& rdd) {
    return "x;;;;;;;" + po + ";" + so + ";" + so_pos + ";0;" + qty + ";;;;;" + rdd + "\n";
}

// One customer row: PO in F, QTY in O, RDD in R, from row 3 on (the template's cells).
struct CustomerRow {
    helmkit::CellValue po;
    helmkit::CellValue qty;
    helmkit::CellValue rdd;
};

// Writes a customer workbook with libxlsxwriter: a title in A1, headers in row 2, `rows`
// from row 3. Date-time values get a date format, as spreadsheet software stores them.
void write_customer_workbook(const fs::path& path, const std::vector<CustomerRow>& rows);

// The workbook at `path` as read by openpyxl (read_workbook.py), or null when python3 with
// openpyxl is not there.
nlohmann::json read_back(const fs::path& path);

// A folder with match.json pointing at system.csv, customer.xlsx and the folder out.
class DealmatchRun : public ::testing::Test {
protected:
    DealmatchRun();

    fs::path path(const std::string& name) const { return m_dir / name; }
    void write_system(const std::string& lines) { write_file(path("system.csv"), lines); }
    void write_customer(const std::vector<CustomerRow>& rows) {
        write_customer_workbook(path("customer.xlsx"), rows);
    }
    // Writes match.json with `config` as its "config" section.
    void write_config(const nlohmann::json& config);
    RunResult run(const std::map<std::string, std::string>& env = {}) const;
    // The result workbook read back; skips the test when openpyxl is not there.
    nlohmann::json result_book() const;

    TempDir m_dir;
};

// The cell values of `sheet` (a sheet of read_back) at `addresses`, as [kind, value] pairs.
nlohmann::json values_at(const nlohmann::json& sheet, const std::vector<std::string>& addresses);



namespace detail {

inline void write_value(lxw_worksheet* sheet, lxw_row_t row, lxw_col_t column,
                 const helmkit::CellValue& value, lxw_format* date_format) {
    switch (value.index()) {
        case 1:
            worksheet_write_number(sheet, row, column,
                                   static_cast<double>(std::get<std::int64_t>(value)), nullptr);
            break;
        case 2: worksheet_write_number(sheet, row, column, std::get<double>(value), nullptr); break;
        case 3:
            worksheet_write_string(sheet, row, column, std::get<std::string>(value).c_str(),
                                   nullptr);
            break;
        case 4: worksheet_write_boolean(sheet, row, column, std::get<bool>(value), nullptr); break;
        case 5: {
            const auto days = std::chrono::floor<std::chrono::days>(std::get<helmkit::DateTime>(value));
            const std::chrono::year_month_day ymd{std::chrono::sys_days{days.time_since_epoch()}};
            lxw_datetime date{static_cast<int>(ymd.year()), static_cast<int>(unsigned(ymd.month())),
                              static_cast<int>(unsigned(ymd.day())), 0, 0, 0};
            worksheet_write_datetime(sheet, row, column, &date, date_format);
            break;
        }
        default: break;
    }
}

}  // namespace detail

inline void write_customer_workbook(const fs::path& path, const std::vector<CustomerRow>& rows) {
    TestWorkbook book(path);
    lxw_worksheet* sheet = book.add_sheet("Orders");
    lxw_format* date_format = book.number_format("dd.mm.yyyy");
    worksheet_write_string(sheet, 0, 0, "Customer order list", nullptr);
    worksheet_write_string(sheet, 1, 5, "PO", nullptr);
    worksheet_write_string(sheet, 1, 14, "QTY", nullptr);
    worksheet_write_string(sheet, 1, 17, "RDD", nullptr);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto row = static_cast<lxw_row_t>(i + 2);
        detail::write_value(sheet, row, 5, rows[i].po, date_format);
        detail::write_value(sheet, row, 14, rows[i].qty, date_format);
        detail::write_value(sheet, row, 17, rows[i].rdd, date_format);
    }
    book.close();
}

inline nlohmann::json read_back(const fs::path& path) {
    const auto script = source_dir() / "tests/dealmatch/read_workbook.py";
    const auto result = run_program("/usr/bin/python3", {script.string(), path.string()},
                                    path.parent_path());
    if (result.status != 0) {
        if (result.err.find("No module named 'openpyxl'") != std::string::npos ||
            result.status == 127) {
            return nullptr;
        }
        ADD_FAILURE() << "reading " << path << " back failed: " << result.err;
        return nlohmann::json::object();
    }
    return nlohmann::json::parse(result.out);
}

inline DealmatchRun::DealmatchRun() {
    write_config({{"system_data_path", "system.csv"},
                  {"customer_data_path", "customer.xlsx"},
                  {"output_dir", "out"}});
}

inline void DealmatchRun::write_config(const nlohmann::json& config) {
    write_file(path("match.json"), nlohmann::json{{"config", config}}.dump());
}

inline RunResult DealmatchRun::run(const std::map<std::string, std::string>& env) const {
    auto all = env;
    all.emplace("TORVANE_DEBUG", "");
    all.emplace("TORVANE_LOG_LEVEL", "debug");
    return run_torvane({"dealmatch", "-c", "match.json"}, m_dir.path(), all);
}

inline nlohmann::json DealmatchRun::result_book() const {
    auto book = read_back(path("out/result.xlsx"));
    if (book.is_null()) {
        ADD_FAILURE() << "python3 with openpyxl is needed to read the result back";
        return nlohmann::json::object();
    }
    return book;
}

inline nlohmann::json values_at(const nlohmann::json& sheet, const std::vector<std::string>& addresses) {
    nlohmann::json values = nlohmann::json::array();
    for (const auto& address : addresses) {
        const auto& cells = sheet.at("cells");
        if (!cells.contains(address)) {
            values.push_back(nullptr);
        } else {
            values.push_back(nlohmann::json::array({cells[address][0], cells[address][1]}));
        }
    }
    return values;
}

}  // namespace dealmatch_test
