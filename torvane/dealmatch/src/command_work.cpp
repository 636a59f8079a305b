#include "torvane/dealmatch/command.hpp"

#include "helmkit/base/console.hpp"
#include "helmkit/base/run_outcome.hpp"
#include "helmkit/files/file_mg.hpp"
#include "torvane/dealmatch/dealmatch.hpp"

namespace torvane::dealmatch {

int cmd_dealmatch(const nlohmann::ordered_json& section, const std::string&) {
    Dealmatch matcher(section);
    const auto [success, message] = matcher.run();
    helmkit::echo((success ? "Success: " : "Failed: ") + message);
    if (const auto& missing = matcher.missing_file()) {
        logger().info(helmkit::fileMg::where_looked(*missing));
    }
    return helmkit::outcome_status(success ? helmkit::RunOutcome::done : helmkit::RunOutcome::failed,
                                   0);
}

}  // namespace torvane::dealmatch
