#include "torvane/chartdoc/command.hpp"

#include "helmkit/base/app_logging.hpp"
#include "helmkit/base/console.hpp"
#include "helmkit/base/run_outcome.hpp"
#include "helmkit/files/file_mg.hpp"
#include "torvane/chartdoc/template.hpp"
#if CHARTDOC_HAS_MD
#include "torvane/chartdoc/mermaid_converter.hpp"
#endif

namespace torvane::chartdoc {

const bool HAS_MD = CHARTDOC_HAS_MD != 0;

namespace {

helmkit::app_logging::Logger& logger() { return helmkit::app_logging::lazy_logger("Chartdoc"); }

#if CHARTDOC_HAS_MD
int build_site(const nlohmann::ordered_json& section) {
    MermaidConverter converter(section);
    try {
        const auto [success, message] = converter.run();
        logger().info(converter.summary().text());
        helmkit::echo("");
        helmkit::echo((success ? "[DONE] " : "[WARNING] ") + message);
        return helmkit::outcome_status(converter.summary().outcome(), 0);
    } catch (const std::exception& error) {
        logger().info(converter.summary().text());
        helmkit::echo("");
        helmkit::echo(std::string("[ERROR] ") + error.what());
        return helmkit::outcome_status(helmkit::RunOutcome::failed, 1);
    }
}
#else
// Never reached: without Markdown conversion cmd_chartdoc stops at its facility check.
int build_site(const nlohmann::ordered_json&) { return 1; }
#endif

}  // namespace

int cmd_chartdoc(const std::optional<std::string>& config, bool generate_config) {
    auto& log = logger();
    if (!HAS_MD) {
        log.error(
            "Missing Markdown package: this build has no Markdown conversion (md4c). Install it "
            "with 'sudo apt-get install libmd4c-dev libmd4c-html0-dev', then rebuild Torvane with "
            "its markdown feature: cmake -S . -B build -DTORVANE_MARKDOWN=ON && cmake --build "
            "build");
        return 1;
    }
    if (generate_config) {
        const auto path = helmkit::fileMg::generate_json_template(DEFAULT_CONFIG,
                                                                  "config_chartdoc_template.json");
        helmkit::echo("Success! Template file created at: " + path.string());
        return 0;
    }
    if (!config || config->empty()) {
        helmkit::echo("Error: Please provide a JSON file path using --config or -c.");
        helmkit::echo("Hint: Run 'torvane chartdoc --generate-config' to get a template.");
        return 1;
    }
    const auto loaded = helmkit::fileMg::load_json_file(*config, {"config"}, log);
    if (loaded.empty()) return helmkit::outcome_status(helmkit::RunOutcome::failed, 0);
    return build_site(loaded.front());
}

CommandEntry command() {
    return {"chartdoc", "Convert .mmd and markdown files into static HTML pages.",
            "Specify the JSON config file path", "Generate config_chartdoc_template.json",
            cmd_chartdoc};
}

}  // namespace torvane::chartdoc
