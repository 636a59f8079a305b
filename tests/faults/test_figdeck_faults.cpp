// figdeck under failing file operations and kills: the report appears whole or not at all.
#if FIGDECK_HAS_PDF_LIBS && TORVANE_TEST_IMAGES

#include <gtest/gtest.h>

#include "fault_harness.hpp"
#include "helmkit/base/json.hpp"
#include "test_images.hpp"

using namespace faults_test;
using torvane_test::write_file;

namespace {

// Three images of each kind the reader takes, and an earlier report that a run replaces.
Scenario report_scenario(const fs::path& folder) {
    torvane_test::PngRecipe png;
    png.width = 40;
    png.height = 30;
    write_file(folder / "images" / "fig_a.png", torvane_test::png_bytes(png));
    torvane_test::JpegRecipe jpeg;
    write_file(folder / "images" / "fig_b.jpg", torvane_test::jpeg_bytes(jpeg));
    write_file(folder / "images" / "fig_c.bmp", torvane_test::bmp_bytes(8, 6, 24));
    write_file(folder / "images" / "report.pdf", "%PDF-1.4\n% the earlier report\n%%EOF\n");
    const nlohmann::ordered_json config{
        {"config", {{"image_folder", "images"}, {"output_file", "report.pdf"}}},
        {"main_page", {{"title_of_report", "Faults"}}},
        {"groups", {{{"name", "Figures"}, {"pattern", "fig"}, {"cols_per_row", 2}}}}};
    write_file(folder / "report.json", config.dump(2));

    Scenario scenario;
    scenario.folder = folder;
    scenario.args = {"figdeck", "-c", "report.json"};
    scenario.outputs = {"images/report.pdf"};
    scenario.main_output = "images/report.pdf";
    scenario.reports_success = [](const RunResult& result) {
        return result.status == 0 &&
               result.err.find("Success! Custom Report Generated: ") != std::string::npos;
    };
    return scenario;
}

class FigdeckFaults : public ::testing::TestWithParam<std::string> {};

TEST_P(FigdeckFaults, EveryFailingCallEndsInANamedErrorAndKeepsTheEarlierReport) {
    torvane_test::TempDir dir;
    auto scenario = report_scenario(dir.path());
    sweep_faults(scenario, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Operations, FigdeckFaults,
                         ::testing::Values("write", "fsync", "rename", "open"));

TEST(FigdeckKills, AKillAtAnyFileOperationLeavesTheEarlierOrTheCompleteReport) {
    torvane_test::TempDir dir;
    auto scenario = report_scenario(dir.path());
    sweep_kills(scenario);
}

}  // namespace

#endif
