#include "torvane/claimsort/command.hpp"

#include "helmkit/base/run_outcome.hpp"
#include "torvane/claimsort/expense_rename.hpp"

namespace torvane::claimsort {

int cmd_claimsort(const nlohmann::ordered_json& data, const std::string&) {
    return helmkit::outcome_status(process_expense_rename(data).outcome(), 0);
}

}  // namespace torvane::claimsort
