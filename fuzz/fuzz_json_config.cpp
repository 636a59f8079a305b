// Configuration loading: the JSON file, its "config" section and the value readers the tools
// use on every key of it.
#include <cstdint>

#include "fuzz_input.hpp"
#include "helmkit/base/app_logging.hpp"
#include "helmkit/base/config_value.hpp"
#include "helmkit/base/error.hpp"
#include "helmkit/base/json_value.hpp"
#include "helmkit/files/file_mg.hpp"

namespace {

void read_section(const nlohmann::ordered_json& section) {
    helmkit::display_text(section);
    helmkit::is_truthy(section);
    if (!section.is_object()) return;
    for (const auto& [key, value] : section.items()) {
        helmkit::display_text(value);
        helmkit::fileMg::json_type_name(value);
        try {
            helmkit::number_or(section, key, 0, "the \"config\" section");
        } catch (const helmkit::Error&) {
        }
        try {
            helmkit::text_or(section, key, "", "the \"config\" section");
        } catch (const helmkit::Error&) {
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto path = torvane_fuzz::scratch_file("config.json", torvane_fuzz::as_text(data, size));
    nlohmann::ordered_json parsed;
    try {
        parsed = helmkit::fileMg::read_json_file(path);
    } catch (const helmkit::Error&) {
        return 0;
    }
    helmkit::fileMg::json_type_name(parsed);
    // load_json_file logs every refusal; only loads it accepts are run through it.
    if (!parsed.is_object() || !parsed.contains("config")) return 0;
    const auto values =
        helmkit::fileMg::load_json_file(path, {"config"}, helmkit::app_logging::lazy_logger("Fuzz"));
    if (values.size() != 1) __builtin_trap();
    read_section(values[0]);
    return 0;
}
