// gridpage under failing file operations and kills: the merged report appears whole or not at all.
#if FAULTS_PDF_MERGE

#include <gtest/gtest.h>

#include <regex>

#include "fault_harness.hpp"
#include "helmkit/base/json.hpp"
#include "pdf_builder.hpp"

using namespace faults_test;
using torvane_test::write_file;

namespace {

std::string one_page_pdf(const std::string& label) {
    torvane_test::PdfDocument document;
    torvane_test::PdfPage page;
    page.content = torvane_test::text_operators(label, 60, 300, 60);
    document.pages.push_back(page);
    return torvane_test::build_pdf(document);
}

// The file without its /ID, which differs between runs.
std::string without_id(const std::string& pdf) {
    static const std::regex id(R"(/ID\s*\[\s*<[0-9a-fA-F]*>\s*<[0-9a-fA-F]*>\s*\])");
    return std::regex_replace(pdf, id, "/ID");
}

// Whether qpdf finds `pdf` a whole, well-formed file.
bool well_formed(const std::string& pdf) {
    const torvane_test::TempDir dir;
    torvane_test::write_file(dir / "check.pdf", pdf);
    return torvane_test::run_program("/usr/bin/qpdf", {"--check", "check.pdf"}, dir.path()).status == 0;
}

// Two PDFs to merge into out/sheets/merged.pdf; with `earlier`, an earlier report is there.
Scenario merge_scenario(const fs::path& folder, bool earlier) {
    write_file(folder / "pdfs" / "a.pdf", one_page_pdf("Alpha"));
    write_file(folder / "pdfs" / "b.pdf", one_page_pdf("Beta"));
    if (earlier) write_file(folder / "out/sheets/merged.pdf", one_page_pdf("Earlier"));
    const nlohmann::ordered_json config{{"config",
                                         {{"input_folder", "pdfs"},
                                          {"output_file", "out/sheets/merged.pdf"},
                                          {"layout", {{"cols", 2}, {"rows", 1}}}}}};
    write_file(folder / "merge.json", config.dump());

    Scenario scenario;
    scenario.folder = folder;
    scenario.args = {"gridpage", "-c", "merge.json"};
    scenario.outputs = {"out/sheets/merged.pdf"};
    scenario.main_output = "out/sheets/merged.pdf";
    scenario.reports_success = [](const RunResult& result) {
        return result.status == 0 && result.out.find("Success: ") != std::string::npos;
    };
    // A file that could not be read is left out of the report (with an error naming it).
    scenario.complete = [](const std::string& output, const std::string& content, const Snapshot&,
                           const Snapshot& clean) {
        const auto found = clean.find(output);
        return (found != clean.end() && found->second &&
                without_id(*found->second) == without_id(content)) ||
               well_formed(content);
    };
    return scenario;
}

class GridpageFaults : public ::testing::TestWithParam<std::string> {};

TEST_P(GridpageFaults, EveryFailingCallEndsInANamedErrorAndKeepsTheEarlierReport) {
    torvane_test::TempDir dir;
    auto scenario = merge_scenario(dir.path(), GetParam() != "mkdir");
    sweep_faults(scenario, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Operations, GridpageFaults,
                         ::testing::Values("write", "fsync", "rename", "mkdir", "open"));

TEST(GridpageKills, AKillAtAnyFileOperationLeavesTheEarlierOrTheCompleteReport) {
    torvane_test::TempDir dir;
    auto scenario = merge_scenario(dir.path(), true);
    sweep_kills(scenario);
}

TEST(GridpageKills, AKillWhileTheFolderIsMadeLeavesNoReportOrTheCompleteOne) {
    torvane_test::TempDir dir;
    auto scenario = merge_scenario(dir.path(), false);
    sweep_kills(scenario);
}

}  // namespace

#endif
