#include "torvane/gridpage/command.hpp"

#include "torvane/gridpage/template.hpp"

namespace torvane::gridpage {

CommandEntry command() {
    std::vector<std::string> missing_facility;
    if (!HAS_PDF_LIBS) {
        missing_facility = {
            "Missing required packages for PDF processing.",
            "The PDF library qpdf is missing from this build: install it with 'sudo apt-get "
            "install libqpdf-dev' (or run scripts/install_deps.sh), then rebuild Torvane with its "
            "pdf merge feature: cmake -S . -B build -DTORVANE_PDF_MERGE=ON && cmake --build build"};
    }
    return {.name = "gridpage",
            .help = "Merge multiple PDF files into a single layout report.",
            .config_help = "Specify the JSON config file path",
            .generate_config_help =
                "Generate a config_gridpage_template.json in the current directory",
            .logger_name = "Gridpage",
            .missing_facility = std::move(missing_facility),
            .config_template = [] { return DEFAULT_CONFIG; },
            .template_file = "config_gridpage_template.json",
            .missing_config = {"Error: Please provide a JSON file path using --config or -c.",
                               "Hint: Run 'torvane gridpage --generate-config' to get a template."},
            .worker = "cmd_gridpage"};
}

}  // namespace torvane::gridpage
