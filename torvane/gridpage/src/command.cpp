#include "torvane/gridpage/command.hpp"

#include "helmkit/base/app_logging.hpp"
#include "helmkit/base/console.hpp"
#include "helmkit/base/run_outcome.hpp"
#include "helmkit/files/file_mg.hpp"
#include "torvane/gridpage/template.hpp"
#if GRIDPAGE_HAS_PDF_LIBS
#include "torvane/gridpage/gridpager.hpp"
#endif

namespace torvane::gridpage {

const bool HAS_PDF_LIBS = GRIDPAGE_HAS_PDF_LIBS != 0;

namespace {

helmkit::app_logging::Logger& logger() { return helmkit::app_logging::lazy_logger("Gridpage"); }

#if GRIDPAGE_HAS_PDF_LIBS
helmkit::RunOutcome merge(const nlohmann::ordered_json& section) {
    Gridpager pager(section);
    return pager.run().outcome();
}
#else
// Never reached: without the PDF layer cmd_gridpage stops at its facility check.
helmkit::RunOutcome merge(const nlohmann::ordered_json&) { return helmkit::RunOutcome::failed; }
#endif

}  // namespace

int cmd_gridpage(const std::optional<std::string>& config, bool generate_config) {
    auto& log = logger();
    if (!HAS_PDF_LIBS) {
        log.error("Missing required packages for PDF processing.");
        log.error(
            "The PDF library qpdf is missing from this build: install it with 'sudo apt-get "
            "install libqpdf-dev' (or run scripts/install_deps.sh), then rebuild Torvane with its "
            "pdf merge feature: cmake -S . -B build -DTORVANE_PDF_MERGE=ON && cmake --build build");
        return 1;
    }
    if (generate_config) {
        const auto path = helmkit::fileMg::generate_json_template(DEFAULT_CONFIG,
                                                                  "config_gridpage_template.json");
        helmkit::echo("Success! Template file created at: " + path.string());
        return 0;
    }
    if (!config || config->empty()) {
        helmkit::echo("Error: Please provide a JSON file path using --config or -c.");
        helmkit::echo("Hint: Run 'torvane gridpage --generate-config' to get a template.");
        return 1;
    }
    const auto loaded = helmkit::fileMg::load_json_file(*config, {"config"}, log);
    if (loaded.empty()) return helmkit::outcome_status(helmkit::RunOutcome::failed, 0);
    return helmkit::outcome_status(merge(loaded.front()), 0);
}

CommandEntry command() {
    return {"gridpage", "Merge multiple PDF files into a single layout report.",
            "Specify the JSON config file path",
            "Generate a config_gridpage_template.json in the current directory", cmd_gridpage};
}

}  // namespace torvane::gridpage
