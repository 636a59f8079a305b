#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "helmkit/table/lenient_date.hpp"
#include "helmkit/table/table.hpp"

namespace torvane::dealmatch {

// Replaces every cell of the column `name` (when the table has it) by the "%Y-%m-%d" text of
// the day it denotes (slashed dates read in `order`), or by a missing cell when it denotes
// none. Returns the rows whose cell held a value that was no date.
std::vector<std::size_t> normalise_dates(helmkit::Table& table, const std::string& name,
                                         helmkit::DayOrder order = helmkit::DayOrder::month_first);

// Returns the matched quantities per month of delivery date: the rows "SYS_RDD" (by
// "SYSTEM_RDD") and "CUS_RDD" (by "CUSTOMER_RDD"), one column per month of either side in
// chronological order labelled "%y-%b" (24-Jan), 0 where a side has none. Records without a
// date on a side count on no month of that side. Has no columns when no record has a date.
// Throws helmkit::Error when a dated record's QTY is not a number or a column is missing.
helmkit::Table monthly_summary(const helmkit::Table& result);

}  // namespace torvane::dealmatch
