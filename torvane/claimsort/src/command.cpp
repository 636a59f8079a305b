#include "torvane/claimsort/command.hpp"

#include "torvane/claimsort/template.hpp"

namespace torvane::claimsort {

CommandEntry command() {
    return {.name = "claimsort",
            .help = HELP_TEXT,
            .config_help = "Specify the JSON config file path",
            .generate_config_help =
                "Generate a config_expense_template.json in the current directory",
            .logger_name = "Claimsort",
            .config_template = [] { return DEFAULT_CONFIG; },
            .template_file = "config_expense_template.json",
            .missing_config = {"Error: Please provide a JSON file path using --config or -c.",
                               "Hint: Run 'torvane claimsort --help' to see the template."},
            .loading = ConfigLoading::whole_file,
            .worker = "cmd_claimsort"};
}

}  // namespace torvane::claimsort
