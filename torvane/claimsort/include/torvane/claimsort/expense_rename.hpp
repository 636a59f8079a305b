#pragma once

#include <cstddef>
#include <string>

#include "helmkit/base/json.hpp"
#include "helmkit/base/run_outcome.hpp"

namespace torvane::claimsort {

// What a rename run did with the workbooks it listed; a dry run counts what it would move.
struct RenameSummary {
    bool dry_run = false;
    bool facility_missing = false;
    std::size_t moved = 0;
    std::size_t skipped = 0;  // name or amount not found (or the workbook unreadable), a link
    std::size_t failed = 0;   // the move (or its backup) failed

    // "Summary: 3 moved, 1 skipped, 0 failed"; in a dry run
    // "[Dry-Run] Summary: 3 would be moved, 1 skipped, 0 failed".
    std::string text() const;
    // failed when nothing was moved because of errors (or the facility is missing),
    // partly_done when some workbooks were moved and others skipped or failed.
    helmkit::RunOutcome outcome() const;
};

// Moves every .xlsx workbook of the configured folder into "results" under the name
// <name>_<amount>_<MMDD_HHMMSSff>.xlsx read from its two configured cells, keeping a copy under
// its old name in "backup"; in a dry run only logs what it would do, with the names a real run
// would take. Symbolic links are skipped with a warning and counted as skipped. All backups
// are flushed to disk together before the first workbook moves.
// Reports through the Claimsort logger, ending with the summary line. Throws helmkit::Error
// for a `config_dict` that is not a JSON object, a setting of the wrong type or a missing input
// folder; per-workbook failures are logged and counted.
RenameSummary process_expense_rename(const nlohmann::ordered_json& config_dict);

}  // namespace torvane::claimsort
