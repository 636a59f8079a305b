// dealmatch under failing file operations and kills: the result workbook appears whole or not
// at all.
#include <gtest/gtest.h>
#include <zip.h>

#include "dealmatch/dealmatch_fixture.hpp"
#include "fault_harness.hpp"
#include "helmkit/base/json.hpp"

using namespace faults_test;
using torvane_test::write_file;

namespace {

// The parts of the workbook `bytes` but its document properties, which carry the time of
// writing; empty when `bytes` is no readable zip archive.
std::map<std::string, std::string> workbook_parts(const std::string& bytes) {
    std::map<std::string, std::string> parts;
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
    zip_t* archive = source ? zip_open_from_source(source, ZIP_CHECKCONS, &error) : nullptr;
    if (archive == nullptr) {
        if (source) zip_source_free(source);
        zip_error_fini(&error);
        return parts;
    }
    const auto count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t stat;
        zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
        if (file == nullptr || zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &stat) != 0) {
            if (file) zip_fclose(file);
            parts.clear();
            break;
        }
        std::string content(stat.size, '\0');
        const auto read = zip_fread(file, content.data(), stat.size);
        zip_fclose(file);
        if (read != static_cast<zip_int64_t>(stat.size)) {
            parts.clear();
            break;
        }
        if (std::string(stat.name) != "docProps/core.xml") parts[stat.name] = content;
    }
    zip_discard(archive);
    zip_error_fini(&error);
    return parts;
}

// A system export and a customer workbook that match on two records, written to out/run/;
// with `earlier`, a result of an earlier run is there.
Scenario match_scenario(const fs::path& folder, bool earlier) {
    write_file(folder / "system.csv",
               dealmatch_test::k_system_header +
                   dealmatch_test::system_line("PO-1", "SO-1", "10", "5", "2026-03-01") +
                   dealmatch_test::system_line("PO-2", "SO-2", "20", "7", "2026-04-15"));
    dealmatch_test::write_customer_workbook(
        folder / "customer.xlsx",
        {{std::string("PO-1"), std::int64_t{5}, std::string("2026-03-02")},
         {std::string("PO-2"), std::int64_t{7}, std::string("2026-04-16")}});
    if (earlier) write_file(folder / "out/run/result.xlsx", "an earlier result\n");
    write_file(folder / "match.json",
               nlohmann::json{{"config",
                               {{"system_data_path", "system.csv"},
                                {"customer_data_path", "customer.xlsx"},
                                {"output_dir", "out/run"}}}}
                   .dump());

    Scenario scenario;
    scenario.folder = folder;
    scenario.args = {"dealmatch", "-c", "match.json"};
    scenario.env = {{"TORVANE_DEBUG", ""}};
    scenario.outputs = {"out/run/result.xlsx"};
    scenario.main_output = "out/run/result.xlsx";
    scenario.reports_success = [](const RunResult& result) {
        return result.status == 0 && result.out.find("Success: ") != std::string::npos;
    };
    scenario.complete = [](const std::string& output, const std::string& content, const Snapshot&,
                           const Snapshot& clean) {
        const auto parts = workbook_parts(content);
        return !parts.empty() && parts == workbook_parts(*clean.at(output));
    };
    return scenario;
}

class DealmatchFaults : public ::testing::TestWithParam<std::string> {};

TEST_P(DealmatchFaults, EveryFailingCallEndsInANamedErrorAndKeepsTheEarlierResult) {
    torvane_test::TempDir dir;
    auto scenario = match_scenario(dir.path(), GetParam() != "mkdir");
    sweep_faults(scenario, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Operations, DealmatchFaults,
                         ::testing::Values("write", "fsync", "rename", "mkdir", "open"));

TEST(DealmatchKills, AKillAtAnyFileOperationLeavesTheEarlierOrTheCompleteResult) {
    torvane_test::TempDir dir;
    auto scenario = match_scenario(dir.path(), true);
    sweep_kills(scenario);
}

}  // namespace
