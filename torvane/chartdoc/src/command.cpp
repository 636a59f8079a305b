#include "torvane/chartdoc/command.hpp"

#include "torvane/chartdoc/template.hpp"

namespace torvane::chartdoc {

CommandEntry command() {
    std::vector<std::string> missing_facility;
    if (!HAS_MD) {
        missing_facility = {
            "Missing Markdown package: this build has no Markdown conversion (md4c). Install it "
            "with 'sudo apt-get install libmd4c-dev libmd4c-html0-dev', then rebuild Torvane with "
            "its markdown feature: cmake -S . -B build -DTORVANE_MARKDOWN=ON && cmake --build "
            "build"};
    }
    return {.name = "chartdoc",
            .help = "Convert .mmd and markdown files into static HTML pages.",
            .config_help = "Specify the JSON config file path",
            .generate_config_help = "Generate config_chartdoc_template.json",
            .logger_name = "Chartdoc",
            .missing_facility = std::move(missing_facility),
            .config_template = [] { return DEFAULT_CONFIG; },
            .template_file = "config_chartdoc_template.json",
            .missing_config = {"Error: Please provide a JSON file path using --config or -c.",
                               "Hint: Run 'torvane chartdoc --generate-config' to get a template."},
            .worker = "cmd_chartdoc"};
}

}  // namespace torvane::chartdoc
