#include "torvane/chartdoc/command.hpp"

#include "helmkit/base/app_logging.hpp"
#include "helmkit/base/console.hpp"
#include "helmkit/base/run_outcome.hpp"
#include "helmkit/files/file_mg.hpp"
#if CHARTDOC_HAS_MD
#include "torvane/chartdoc/mermaid_converter.hpp"
#endif

namespace torvane::chartdoc {

#if CHARTDOC_HAS_MD
int cmd_chartdoc(const nlohmann::ordered_json& section, const std::string&) {
    auto& log = helmkit::app_logging::lazy_logger("Chartdoc");
    MermaidConverter converter(section);
    try {
        const auto [success, message] = converter.run();
        log.info(converter.summary().text());
        helmkit::echo("");
        helmkit::echo((success ? "[DONE] " : "[WARNING] ") + message);
        return helmkit::outcome_status(converter.summary().outcome(), 0);
    } catch (const std::exception& error) {
        log.info(converter.summary().text());
        helmkit::echo("");
        helmkit::echo(std::string("[ERROR] ") + error.what());
        if (const auto& missing = converter.missing_input_folder()) {
            log.info(helmkit::fileMg::where_looked(*missing));
        }
        return helmkit::outcome_status(helmkit::RunOutcome::failed, 1);
    }
}
#else
// Never reached: without Markdown conversion the front stops at the facility check.
int cmd_chartdoc(const nlohmann::ordered_json&, const std::string&) { return 1; }
#endif

}  // namespace torvane::chartdoc
