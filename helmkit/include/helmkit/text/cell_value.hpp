#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <variant>

namespace helmkit {

// A calendar date and wall-clock time without a time zone, to the microsecond, as
// workbooks and CSV files hold them.
using DateTime = std::chrono::local_time<std::chrono::microseconds>;

// One cell of a workbook or table: missing, a whole number, a real number, a text,
// a boolean or a date-time. The alternatives keep this order; code switches on it.
using CellValue = std::variant<std::monostate, std::int64_t, double, std::string, bool, DateTime>;

inline bool is_missing(const CellValue& value) {
    return std::holds_alternative<std::monostate>(value);
}

}  // namespace helmkit
