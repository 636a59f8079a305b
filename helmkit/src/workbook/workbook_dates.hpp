#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "helmkit/text/cell_value.hpp"

namespace helmkit {

// Returns whether the built-in number format `id` shows a date or a time.
bool is_builtin_date_format(std::uint32_t id);

// Returns whether the custom number format `code` shows a date or a time: it holds one of the
// codes d, m, y, h, s outside quoted text, escapes and brackets ([Red], [$-409]).
bool is_date_format_code(std::string_view code);

// Converts a workbook serial date (days since the epoch of the 1900 or the 1904 date system,
// the fraction being the time of day) to a date-time rounded to the millisecond. The 1900
// system counts a 29 February 1900 that never was: serial 60 gives 28 February, later serials
// one day less. Returns nothing for a negative serial or one beyond the year 9999.
std::optional<DateTime> serial_to_date_time(double serial, bool date1904);

// Parses an ISO 8601 date or date-time text ("2024-03-07", "2024-03-07T14:05:09.437").
std::optional<DateTime> parse_iso_date_time(std::string_view text);

}  // namespace helmkit
