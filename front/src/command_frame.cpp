#include "torvane/command_frame.hpp"

#include "helmkit/base/app_logging.hpp"
#include "helmkit/base/console.hpp"
#include "helmkit/base/run_outcome.hpp"
#include "helmkit/files/file_mg.hpp"
#include "torvane/tool_library.hpp"

namespace torvane::front {

int run_command_frame(const CommandEntry& entry, const std::optional<std::string>& config,
                      bool generate_config) {
    auto& log = helmkit::app_logging::lazy_logger(entry.logger_name);
    if (!entry.missing_facility.empty()) {
        for (const auto& line : entry.missing_facility) log.error(line);
        return 1;
    }
    if (generate_config) {
        const auto path =
            helmkit::fileMg::generate_json_template(entry.config_template(), entry.template_file);
        helmkit::echo(entry.template_prefix + path.string());
        return 0;
    }
    if (!config || config->empty()) {
        for (const auto& line : entry.missing_config) helmkit::echo(line);
        return 1;
    }
    if (entry.loading == ConfigLoading::whole_file) {
        const auto data = helmkit::fileMg::read_json_file(*config);
        return open_worker(entry.library, entry.worker)(data, *config);
    }
    const auto loaded = helmkit::fileMg::load_json_file(*config, {"config"}, log);
    if (loaded.empty()) return helmkit::outcome_status(helmkit::RunOutcome::failed, 0);
    return open_worker(entry.library, entry.worker)(loaded.front(), *config);
}

}  // namespace torvane::front
