#pragma once

#include <nlohmann/json.hpp>

namespace torvane::claimsort {

// Moves every .xlsx workbook of the configured folder into "results" under the name
// <name>_<amount>_<MMDD_HHMMSSff>.xlsx read from its two configured cells, keeping a copy under
// its old name in "backup"; in a dry run only logs what it would do. Reports through the
// Claimsort logger. Throws helmkit::Error for a `config_dict` that is not a JSON object, a
// setting of the wrong type or a missing input folder; per-workbook failures are logged.
void process_expense_rename(const nlohmann::ordered_json& config_dict);

}  // namespace torvane::claimsort
