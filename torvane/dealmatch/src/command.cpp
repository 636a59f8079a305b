#include "torvane/dealmatch/command.hpp"

#include "helmkit/base/app_logging.hpp"
#include "helmkit/base/console.hpp"
#include "helmkit/base/run_outcome.hpp"
#include "helmkit/files/file_mg.hpp"
#include "torvane/dealmatch/dealmatch.hpp"
#include "torvane/dealmatch/template.hpp"

namespace torvane::dealmatch {

int cmd_dealmatch(const std::optional<std::string>& config, bool generate_config) {
    const auto cfg_template = default_cfg_template();
    if (generate_config) {
        const auto path = helmkit::fileMg::generate_json_template(cfg_template,
                                                                  "config_dealmatch_template.json");
        helmkit::echo("Template created: " + path.string());
        return 0;
    }
    if (!config || config->empty()) {
        helmkit::echo("Error: Please provide a JSON config file using -c.");
        return 1;
    }
    const auto loaded = helmkit::fileMg::load_json_file(*config, {"config"}, logger());
    if (loaded.empty()) return helmkit::outcome_status(helmkit::RunOutcome::failed, 0);
    Dealmatch matcher(loaded.front());
    const auto [success, message] = matcher.run();
    helmkit::echo((success ? "Success: " : "Failed: ") + message);
    return helmkit::outcome_status(success ? helmkit::RunOutcome::done : helmkit::RunOutcome::failed,
                                   0);
}

CommandEntry command() {
    return {"dealmatch", "Dealmatch: Data processing and SOP generator.", "Path to JSON config file",
            "Generate config_dealmatch_template.json", cmd_dealmatch};
}

}  // namespace torvane::dealmatch
