#include "torvane/figdeck/command.hpp"

#include "helmkit/base/app_logging.hpp"
#include "helmkit/base/console.hpp"
#include "helmkit/base/json_value.hpp"
#include "helmkit/base/run_outcome.hpp"
#include "helmkit/base/error.hpp"
#include "helmkit/files/file_mg.hpp"
#include "torvane/figdeck/template.hpp"
#if FIGDECK_HAS_PDF_LIBS
#include "torvane/figdeck/report_generator.hpp"
#endif

namespace torvane::figdeck {

const bool HAS_PDF_LIBS = FIGDECK_HAS_PDF_LIBS != 0;

namespace {

helmkit::app_logging::Logger& logger() { return helmkit::app_logging::lazy_logger("Figdeck"); }

const nlohmann::ordered_json* find_section(const nlohmann::ordered_json& data, const char* key) {
    const auto found = data.find(key);
    return found == data.end() ? nullptr : &*found;
}

}  // namespace

int cmd_figdeck(const std::optional<std::string>& config, bool generate_config) {
    auto& log = logger();
    if (!HAS_PDF_LIBS) {
        log.error("Missing required packages for PDF generation.");
        log.error("Please reinstall with the PDF feature enabled:");
        log.error(
            "  sudo apt-get install libhpdf-dev libstb-dev fonts-dejavu-core, then rebuild "
            "Torvane with its pdf feature: cmake -S . -B build -DTORVANE_PDF_WRITE=ON && "
            "cmake --build build");
        return 1;
    }
    if (generate_config) {
        const auto path =
            helmkit::fileMg::generate_json_template(DEFAULT_CONFIG, "config_figdeck_template.json");
        helmkit::echo("Success! Template file created at: " + path.string());
        return 0;
    }
    if (!config || config->empty()) {
        helmkit::echo("Error: Please provide a JSON file path using --config or -c.");
        helmkit::echo("Hint: Run 'torvane figdeck --help' to see the template.");
        return 1;
    }

    const auto data = helmkit::fileMg::read_json_file(*config);
    if (!data.is_object()) {
        throw helmkit::Error("'" + *config + "' must hold a JSON object at the top level");
    }
    const auto* conf = find_section(data, "config");
    const auto* main_page = find_section(data, "main_page");
    const auto* groups = find_section(data, "groups");
    // A section counts as missing when it is absent, null, false, zero or empty.
    const auto missing = [](const nlohmann::ordered_json* section) {
        return section == nullptr || !helmkit::is_truthy(*section);
    };
    if (missing(conf) || missing(main_page) || missing(groups)) {
        log.error("Invalid configuration format. Missing 'config', 'main_page', or 'groups'.");
        return 1;
    }
#if FIGDECK_HAS_PDF_LIBS
    ReportGenerator generator(*conf, *main_page, *groups);
    generator.generate();
    return helmkit::outcome_status(generator.summary().outcome, 0);
#else
    return 0;
#endif
}

CommandEntry command() {
    return {"figdeck", HELP_TEXT, "Specify the JSON config file path",
            "Generate a config_figdeck_template.json in the current directory", cmd_figdeck};
}

}  // namespace torvane::figdeck
