#pragma once

#include <date/date.h>

#include <optional>
#include <string>

#include "helmkit/text/cell_value.hpp"

namespace helmkit {

// Which number of a slashed date comes first: 01/02/2024 is January 2nd month first, February
// 1st day first. Either order gives way when its first number cannot be what it stands for.
enum class DayOrder { month_first, day_first };

// Returns the calendar day that `value` denotes, or nothing. Accepted: native date-times;
// texts (blanks around them trimmed) in the forms 2024-01-15, 2024/01/15, 2024.01.15, an ISO
// date-time (2024-01-15T08:30:00, 2024-01-15 08:30), 20240115, 01/15/2024 (in `order`), 15.01.2024,
// "15 Jan 2024", "Jan 15, 2024" (English month names, short or long, any case); and the whole
// number 20240115. Anything else, a day that does not exist (February 30th) included, is nothing.
std::optional<date::year_month_day> read_lenient_date(const CellValue& value,
                                                      DayOrder order = DayOrder::month_first);

// Returns `day` as "%Y-%m-%d" text (2024-01-15).
std::string format_iso_date(const date::year_month_day& day);

}  // namespace helmkit
