#pragma once

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "helmkit/table/table.hpp"

// Short ways to write cells and tables in the table and workbook tests.
namespace cell_builders {

inline helmkit::CellValue text(const char* value) { return helmkit::CellValue(std::string(value)); }
inline helmkit::CellValue whole(std::int64_t value) { return helmkit::CellValue(value); }
inline helmkit::DateTime at(int year, unsigned month, unsigned day, int hour = 0, int minute = 0,
                            int second = 0, std::chrono::microseconds fraction = {}) {
    return helmkit::DateTime(std::chrono::local_days(std::chrono::year(year) / month / day)) +
           std::chrono::hours(hour) + std::chrono::minutes(minute) + std::chrono::seconds(second) +
           fraction;
}

inline helmkit::Table table_of(
    std::vector<std::pair<std::string, std::vector<helmkit::CellValue>>> columns) {
    helmkit::Table table;
    for (auto& [name, cells] : columns) table.add_column(name, std::move(cells));
    return table;
}

}  // namespace cell_builders
