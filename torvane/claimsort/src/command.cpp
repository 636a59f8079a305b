#include "torvane/claimsort/command.hpp"

#include "helmkit/base/console.hpp"
#include "helmkit/base/run_outcome.hpp"
#include "helmkit/files/file_mg.hpp"
#include "torvane/claimsort/expense_rename.hpp"
#include "torvane/claimsort/template.hpp"

namespace torvane::claimsort {

const bool HAS_OPENPYXL = CLAIMSORT_HAS_OPENPYXL != 0;

int cmd_claimsort(const std::optional<std::string>& config, bool generate_config) {
    if (generate_config) {
        const auto path =
            helmkit::fileMg::generate_json_template(DEFAULT_CONFIG, "config_expense_template.json");
        helmkit::echo("Success! Template file created at: " + path.string());
        return 0;
    }
    if (!config || config->empty()) {
        helmkit::echo("Error: Please provide a JSON file path using --config or -c.");
        helmkit::echo("Hint: Run 'torvane claimsort --help' to see the template.");
        return 1;
    }
    const auto summary = process_expense_rename(helmkit::fileMg::read_json_file(*config));
    return helmkit::outcome_status(summary.outcome(), 0);
}

CommandEntry command() {
    return {"claimsort", HELP_TEXT, "Specify the JSON config file path",
            "Generate a config_expense_template.json in the current directory", cmd_claimsort};
}

}  // namespace torvane::claimsort
