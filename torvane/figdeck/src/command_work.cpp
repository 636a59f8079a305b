#include "torvane/figdeck/command.hpp"

#include "helmkit/base/app_logging.hpp"
#include "helmkit/base/error.hpp"
#include "helmkit/base/json_value.hpp"
#include "helmkit/base/run_outcome.hpp"
#if FIGDECK_HAS_PDF_LIBS
#include "torvane/figdeck/report_generator.hpp"
#endif

namespace torvane::figdeck {

namespace {

const nlohmann::ordered_json* find_section(const nlohmann::ordered_json& data, const char* key) {
    const auto found = data.find(key);
    return found == data.end() ? nullptr : &*found;
}

}  // namespace

int cmd_figdeck(const nlohmann::ordered_json& data, const std::string& config_path) {
    if (!data.is_object()) {
        throw helmkit::Error("'" + config_path + "' must hold a JSON object at the top level");
    }
    const auto* conf = find_section(data, "config");
    const auto* main_page = find_section(data, "main_page");
    const auto* groups = find_section(data, "groups");
    // A section counts as missing when it is absent, null, false, zero or empty.
    const auto missing = [](const nlohmann::ordered_json* section) {
        return section == nullptr || !helmkit::is_truthy(*section);
    };
    if (missing(conf) || missing(main_page) || missing(groups)) {
        helmkit::app_logging::lazy_logger("Figdeck").error(
            "Invalid configuration format. Missing 'config', 'main_page', or 'groups'.");
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

}  // namespace torvane::figdeck
