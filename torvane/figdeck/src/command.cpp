#include "torvane/figdeck/command.hpp"

#include "torvane/figdeck/template.hpp"

namespace torvane::figdeck {

CommandEntry command() {
    std::vector<std::string> missing_facility;
    if (!HAS_PDF_LIBS) {
        missing_facility = {
            "Missing required packages for PDF generation.",
            "Please reinstall with the PDF feature enabled:",
            "  sudo apt-get install libhpdf-dev libstb-dev fonts-dejavu-core, then rebuild "
            "Torvane with its pdf feature: cmake -S . -B build -DTORVANE_PDF_WRITE=ON && "
            "cmake --build build"};
    }
    return {.name = "figdeck",
            .help = HELP_TEXT,
            .config_help = "Specify the JSON config file path",
            .generate_config_help =
                "Generate a config_figdeck_template.json in the current directory",
            .logger_name = "Figdeck",
            .missing_facility = std::move(missing_facility),
            .config_template = [] { return DEFAULT_CONFIG; },
            .template_file = "config_figdeck_template.json",
            .missing_config = {"Error: Please provide a JSON file path using --config or -c.",
                               "Hint: Run 'torvane figdeck --help' to see the template."},
            .loading = ConfigLoading::whole_file,
            .worker = "cmd_figdeck"};
}

}  // namespace torvane::figdeck
