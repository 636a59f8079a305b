// chartdoc under failing file operations and kills: every page and the index appear whole or
// not at all, and the index links only pages that are there.
#if FAULTS_MARKDOWN

#include <gtest/gtest.h>

#include "chartdoc/site_fixture.hpp"
#include "fault_harness.hpp"
#include "helmkit/base/json.hpp"

using namespace faults_test;
using torvane_test::write_file;

namespace {

std::vector<std::string> index_links(const std::string& index) {
    std::vector<std::string> links;
    for (auto at = index.find("href=\""); at != std::string::npos; at = index.find("href=\"", at)) {
        at += 6;
        links.push_back(index.substr(at, index.find('"', at) - at));
    }
    return links;
}

// Two documents and a diagram converted into site/, with the stand-in renderer in `bin`; with
// `earlier`, pages and an index of an earlier run are there.
Scenario site_scenario(const fs::path& folder, const fs::path& bin, bool earlier) {
    write_file(folder / "docs" / "a.md", "# Alpha\n\nSome *text*.\n");
    write_file(folder / "docs" / "b.md", "| x | y |\n|---|---|\n| 1 | 2 |\n");
    write_file(folder / "docs" / "c.mmd", "graph TD; A-->B;\n");
    torvane_test::write_script(bin / "mmdc", chartdoc_test::k_standin_mmdc);
    if (earlier) {
        write_file(folder / "site" / "a.html", "<html>earlier a</html>\n");
        write_file(folder / "site" / "index.html", "<html>earlier index</html>\n");
    }
    const nlohmann::ordered_json config{
        {"config", {{"input_folder", "docs"}, {"output_folder", "site"}}}};
    write_file(folder / "site.json", config.dump());

    Scenario scenario;
    scenario.folder = folder;
    scenario.args = {"chartdoc", "-c", "site.json"};
    scenario.env = {{"PATH", bin.string()}};
    scenario.outputs = {"site/a.html", "site/b.html", "site/c.html", "site/index.html"};
    scenario.main_output = "site/index.html";
    scenario.scratch = {"site/c.svg"};
    scenario.reports_success = [](const RunResult& result) {
        return result.status == 0 && result.out.find("[DONE] ") != std::string::npos;
    };
    // A document that could not be converted is left out of the index; every page the index
    // links must be there, complete.
    scenario.complete = [](const std::string& output, const std::string& content,
                           const Snapshot& after, const Snapshot& clean) {
        const auto found = clean.find(output);
        if (found == clean.end()) return false;
        if (found->second == content) return true;
        if (output != "site/index.html") return false;
        for (const auto& link : index_links(content)) {
            const auto page = after.find("site/" + link);
            if (page == after.end() || page->second != clean.at("site/" + link)) return false;
        }
        return content.ends_with(found->second->substr(found->second->rfind("</body>")));
    };
    return scenario;
}

class ChartdocFaults : public ::testing::TestWithParam<std::string> {};

TEST_P(ChartdocFaults, EveryFailingCallEndsInANamedErrorAndLeavesWholePages) {
    torvane_test::TempDir dir;
    torvane_test::TempDir bin;
    auto scenario = site_scenario(dir.path(), bin.path(), GetParam() != "mkdir");
    sweep_faults(scenario, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Operations, ChartdocFaults,
                         ::testing::Values("write", "fsync", "rename", "mkdir", "open"));

TEST(ChartdocKills, AKillAtAnyFileOperationLeavesEarlierOrCompletePages) {
    torvane_test::TempDir dir;
    torvane_test::TempDir bin;
    auto scenario = site_scenario(dir.path(), bin.path(), true);
    sweep_kills(scenario);
}

}  // namespace

#endif
