#include "torvane/dealmatch/command.hpp"

#include "torvane/dealmatch/template.hpp"

namespace torvane::dealmatch {

CommandEntry command() {
    return {.name = "dealmatch",
            .help = "Dealmatch: Data processing and SOP generator.",
            .config_help = "Path to JSON config file",
            .generate_config_help = "Generate config_dealmatch_template.json",
            .logger_name = "Dealmatch",
            .config_template = default_cfg_template,
            .template_file = "config_dealmatch_template.json",
            .template_prefix = "Template created: ",
            .missing_config = {"Error: Please provide a JSON config file using -c."},
            .worker = "cmd_dealmatch"};
}

}  // namespace torvane::dealmatch
