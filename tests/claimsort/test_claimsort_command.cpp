#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "claim_workbooks.hpp"
#include "test_support.hpp"
#include "torvane/claimsort/template.hpp"

using namespace torvane_test;
using claimsort_test::run_claimsort;
using claimsort_test::write_claim;

namespace {

const std::vector<std::string> k_missing_config_lines{
    "Error: Please provide a JSON file path using --config or -c.",
    "Hint: Run 'torvane claimsort --help' to see the template."};

const std::string k_template =
    "{\n"
    "    \"config\": {\n"
    "        \"path\": \"./data_claimsort\",\n"
    "        \"dry_run\": false\n"
    "    },\n"
    "    \"excel_in\": {\n"
    "        \"name_cell\": \"D6\",\n"
    "        \"amount_cell\": \"P56\"\n"
    "    }\n"
    "}\n";

// The names in `folder`, sorted; empty when it does not exist.
std::vector<std::string> names_in(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Matches a new file name "<name>_<amount>_MMDD_HHMMSSff.xlsx" for a name and amount given as
// regular expressions.
bool is_new_name(const std::string& file, const std::string& name_and_amount) {
    return std::regex_match(file, std::regex(name_and_amount + "_[01][0-9][0-3][0-9]_[0-2][0-9]"
                                                               "[0-5][0-9][0-6][0-9][0-9]{2}\\.xlsx"));
}

}  // namespace

TEST(ClaimsortCommand, GenerateConfigWritesTheTemplateEvenWithAConfig) {
    TempDir dir;
    write_file(dir / "bad.json", "not json");
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"claimsort", "--generate-config"},
             {"claimsort", "--generate-config", "-c", "bad.json"}}) {
        const auto result = run_torvane(args, dir.path());
        EXPECT_EQ(result.status, 0);
        const auto path = dir / "config_expense_template.json";
        EXPECT_EQ(result.out, "Success! Template file created at: " + path.string() + "\n");
        EXPECT_EQ(read_file(path), k_template);
        EXPECT_EQ(result.err, "");
    }
}

TEST(ClaimsortCommand, RegeneratingKeepsEveryEditedTemplate) {
    TempDir dir;
    const auto path = dir / "config_expense_template.json";
    const std::string success = "Success! Template file created at: " + path.string() + "\n";
    ASSERT_EQ(run_torvane({"claimsort", "--generate-config"}, dir.path()).status, 0);
    const std::vector<std::string> edits{R"({"config": {"path": "/data/march"}})",
                                         R"({"config": {"path": "/data/april"}})"};
    for (std::size_t i = 0; i < edits.size(); ++i) {
        write_file(path, edits[i]);
        const auto result = run_torvane({"claimsort", "--generate-config"}, dir.path());
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out, success);
        const fs::path kept = path.string() + (i == 0 ? ".bak" : ".bak.2");
        EXPECT_EQ(result.err, "config_expense_template.json differs from the template; the "
                              "earlier file is kept as " + kept.string() + "\n");
        EXPECT_EQ(read_file(path), k_template);
    }
    EXPECT_EQ(read_file(path.string() + ".bak"), edits[0]);
    EXPECT_EQ(read_file(path.string() + ".bak.2"), edits[1]);
    const auto unchanged = run_torvane({"claimsort", "--generate-config"}, dir.path());
    EXPECT_EQ(unchanged.out, success);
    EXPECT_EQ(unchanged.err, "");
    EXPECT_EQ(folder_names(dir.path()),
              (std::vector<std::string>{"config_expense_template.json",
                                        "config_expense_template.json.bak",
                                        "config_expense_template.json.bak.2"}));
}

TEST(ClaimsortCommand, MissingConfigPrintsErrorAndHint) {
    TempDir dir;
    const auto result = run_torvane({"claimsort"}, dir.path());
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(lines_of(result.out), k_missing_config_lines);
}

TEST(ClaimsortCommand, HelpShowsTheParameterDescriptionAndTheTemplate) {
    TempDir dir;
    const auto result = run_torvane({"claimsort", "--help"}, dir.path());
    EXPECT_EQ(result.status, 0);
    const std::string description =
        "[JSON Parameter Description]:\n"
        "* config.path         : (String) Directory path containing the target Excel files.\n"
        "* config.dry_run      : (Boolean) Set to True to preview renamed files without actually "
        "moving them.\n"
        "* excel_in.name_cell  : (String) The exact cell coordinate for the Name (e.g., \"D6\").\n"
        "* excel_in.amount_cell: (String) The exact cell coordinate for the Amount (e.g., "
        "\"P56\").\n";
    EXPECT_NE(result.out.find(description), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("[Default config.json Template]:\n" + k_template), std::string::npos);
    EXPECT_NE(result.out.find("Generate a config_expense_template.json in the current directory"),
              std::string::npos);
    EXPECT_EQ(result.out.find('\b'), std::string::npos);
}

TEST(ClaimsortCommand, HelpTextDescribesEveryKeyThenShowsTheTemplate) {
    EXPECT_EQ(torvane::claimsort::HELP_TEXT,
              "\nRead information from Excel and auto-renfiles. \n"
              "This tool relies entirely on a JSON configuration file.\n\n\b\n"
              "[JSON Parameter Description]:\n"
              "* config.path         : (String) Directory path containing the target Excel files.\n"
              "* config.dry_run      : (Boolean) Set to True to preview renamed files without "
              "actually moving them.\n"
              "* excel_in.name_cell  : (String) The exact cell coordinate for the Name (e.g., "
              "\"D6\").\n"
              "* excel_in.amount_cell: (String) The exact cell coordinate for the Amount (e.g., "
              "\"P56\").\n\n\b\n"
              "[Default config.json Template]:\n" +
                  k_template);
}

TEST(ClaimsortRun, EmptyConfigUsesTheDefaults) {
    TempDir dir;
    write_claim(dir / "data_claimsort" / "claim.xlsx", "Alpha", 120.5);
    const auto result = run_claimsort(dir, "{}");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(names_in(dir / "data_claimsort"), (std::vector<std::string>{"backup", "results"}));
    const auto results = names_in(dir / "data_claimsort" / "results");
    ASSERT_EQ(results.size(), 1u);
    EXPECT_TRUE(is_new_name(results[0], "Alpha_120\\.5")) << results[0];
    EXPECT_EQ(names_in(dir / "data_claimsort" / "backup"), std::vector<std::string>{"claim.xlsx"});
    EXPECT_EQ(log_messages(result.err, "INFO"),
              (std::vector<std::string>{"Starting expense processing in: ./data_claimsort",
                                        "Processing: claim.xlsx -> " + results[0]}));
    EXPECT_EQ(result.out, "");
}

TEST(ClaimsortRun, RenamesEveryReadableWorkbookAndSkipsTheOthers) {
    TempDir dir;
    const auto in = dir / "claims";
    write_claim(in / "01_alpha.xlsx", "  Alpha / Team: B  ", 150);
    write_claim(in / "02_stars.xlsx", "***", 12.5);
    write_claim(in / "03_no_name.xlsx", [](TestWorkbook&, lxw_worksheet* sheet) {
        worksheet_write_number(sheet, 55, 15, 99, nullptr);
    });
    write_claim(in / "04_dated.xlsx", [](TestWorkbook& book, lxw_worksheet* sheet) {
        worksheet_write_string(sheet, 5, 3, "Delta", nullptr);
        lxw_datetime date{2024, 3, 7, 0, 0, 0};
        worksheet_write_datetime(sheet, 55, 15, &date, book.number_format("yyyy-mm-dd"));
    });
    write_claim(in / "05_upper.XLSX", "Echo", 0.5);
    write_file(in / "06_broken.xlsx", "not a workbook");
    write_file(in / "07_old.xls", "old format");
    write_file(in / "08_macro.xlsm", "macro workbook");
    const auto original = read_file(in / "01_alpha.xlsx");

    const auto result = run_claimsort(dir, R"({"config": {"path": "claims", "dry_run": false}})");
    EXPECT_EQ(result.status, 0) << result.err;

    const auto results = names_in(in / "results");
    ASSERT_EQ(results.size(), 4u) << result.err;
    EXPECT_TRUE(is_new_name(results[0], "Alpha  Team B_150")) << results[0];
    EXPECT_TRUE(is_new_name(results[1], "Delta_2024-03-07 000000")) << results[1];
    EXPECT_TRUE(is_new_name(results[2], "Echo_0\\.5")) << results[2];
    EXPECT_TRUE(is_new_name(results[3], "_12\\.5")) << results[3];
    EXPECT_EQ(names_in(in / "backup"),
              (std::vector<std::string>{"01_alpha.xlsx", "02_stars.xlsx", "04_dated.xlsx",
                                        "05_upper.XLSX"}));
    EXPECT_EQ(read_file(in / "backup" / "01_alpha.xlsx"), original);
    EXPECT_EQ(read_file(in / "results" / results[0]), original);
    EXPECT_EQ(names_in(in),
              (std::vector<std::string>{"03_no_name.xlsx", "06_broken.xlsx", "07_old.xls",
                                        "08_macro.xlsm", "backup", "results"}));

    const auto errors = log_messages(result.err, "ERROR");
    ASSERT_EQ(errors.size(), 3u) << result.err;
    EXPECT_EQ(errors[0],
              "---> Skipping 03_no_name.xlsx: Cannot find Name or Amount in D6 or P56");
    EXPECT_EQ(errors[1].rfind("Error reading excel claims/06_broken.xlsx: ", 0), 0u) << errors[1];
    EXPECT_EQ(errors[2],
              "---> Skipping 06_broken.xlsx: Cannot find Name or Amount in D6 or P56");
    const auto infos = log_messages(result.err, "INFO");
    ASSERT_EQ(infos.size(), 6u);
    EXPECT_EQ(infos[0], "Starting expense processing in: claims");
    EXPECT_EQ(infos[1], "Processing: 01_alpha.xlsx -> " + results[0]);
    // The unreadable workbook has no cause beyond its reading error.
    EXPECT_EQ(infos[3], "Cause: D6 is empty; the sheet read is 'Sheet1'");
}

TEST(ClaimsortRun, OfficeOwnerFilesAreSkippedWithOneInfoLine) {
    TempDir dir;
    write_claim(dir / "in" / "claim.xlsx", "Alpha", 12);
    // What Office writes beside an open workbook: the user's name, not a zip archive.
    const std::string owner = std::string("\x05") + "alice" + std::string(160, '\0');
    write_file(dir / "in" / "~$claim.xlsx", owner);
    const auto result = run_claimsort(dir, R"({"config": {"path": "in"}})");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(log_messages(result.err, "ERROR"), std::vector<std::string>{}) << result.err;
    const auto infos = log_messages(result.err, "INFO");
    EXPECT_EQ(std::count(infos.begin(), infos.end(),
                         "Skipping ~$claim.xlsx: the owner file Office keeps beside a workbook "
                         "that is open"),
              1)
        << result.err;
    EXPECT_EQ(read_file(dir / "in" / "~$claim.xlsx"), owner);
    EXPECT_EQ(names_in(dir / "in" / "results").size(), 1u);
    EXPECT_EQ(names_in(dir / "in" / "backup"), std::vector<std::string>{"claim.xlsx"});
}

TEST(ClaimsortRun, ASkippedWorkbookIsFollowedByTheCauseWhenItIsKnown) {
    TempDir dir;
    fs::create_directories(dir / "in");
    // Written by a program that stores formulas without computing them, on the second of two
    // sheets, the active one.
    RawWorkbook formulas;
    formulas.sheets = {{"Cover", R"(<row r="6"><c r="D6" t="inlineStr"><is><t>not read</t></is></c></row>)"},
                       {"Claim", R"(<row r="6"><c r="D6"><f>B1&amp;C1</f></c></row>)"
                                 R"(<row r="56"><c r="P56"><f>SUM(P1:P55)</f></c></row>)"}};
    formulas.active_tab = 1;
    write_zip(dir / "in" / "a_formulas.xlsx", formulas.parts());
    // The name typed into a merged C6:E6, so it lies in C6.
    write_claim(dir / "in" / "b_merged.xlsx", [](TestWorkbook&, lxw_worksheet* sheet) {
        worksheet_merge_range(sheet, 5, 2, 5, 4, "Alpha", nullptr);
        worksheet_write_number(sheet, 55, 15, 12, nullptr);
    });
    write_claim(dir / "in" / "c_empty.xlsx", [](TestWorkbook&, lxw_worksheet* sheet) {
        worksheet_write_string(sheet, 5, 3, "Bravo", nullptr);
    });
    write_file(dir / "in" / "d_broken.xlsx", "not a workbook");
    const auto result = run_claimsort(dir, R"({"config": {"path": "in"}})");
    EXPECT_EQ(result.status, 0);
    std::vector<std::string> after_skips;
    const auto lines = lines_of(result.err);
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        if (log_message(lines[i]).starts_with("---> Skipping ")) {
            after_skips.push_back(log_message(lines[i + 1]));
        }
    }
    EXPECT_EQ(after_skips,
              (std::vector<std::string>{
                  "Cause: D6 holds a formula whose result was never stored; P56 holds a "
                  "formula whose result was never stored; the workbook was written by a "
                  "program that does not compute formulas; the sheet read is 'Claim', the "
                  "active one of 2 sheets (the others are not read)",
                  "Cause: D6 lies inside a merged range whose value is in its top-left cell C6; "
                  "the sheet read is 'Sheet1'",
                  "Cause: P56 is empty; the sheet read is 'Sheet1'"}))
        << result.err;
}

TEST(ClaimsortRun, ConfiguredCellsAndTheSkipLineNameThem) {
    TempDir dir;
    write_claim(dir / "in" / "a.xlsx", [](TestWorkbook&, lxw_worksheet* sheet) {
        worksheet_write_string(sheet, 1, 1, "Bravo", nullptr);
        worksheet_write_number(sheet, 2, 2, 7, nullptr);
    });
    write_claim(dir / "in" / "b.xlsx", "only D6", 1);
    const auto result = run_claimsort(
        dir, R"({"config": {"path": "in", "dry_run": true},
                 "excel_in": {"name_cell": "b2", "amount_cell": "C3"}})");
    EXPECT_EQ(result.status, 0);
    const auto infos = log_messages(result.err, "INFO");
    ASSERT_EQ(infos.size(), 3u) << result.err;
    EXPECT_EQ(infos[2], "Cause: b2 is empty; C3 is empty; the sheet read is 'Sheet1'");
    EXPECT_TRUE(std::regex_match(infos[1], std::regex("\\[Dry-Run\\] Would move: a\\.xlsx -> "
                                                      "Bravo_7_\\d{4}_\\d{8}\\.xlsx")))
        << infos[1];
    EXPECT_EQ(log_messages(result.err, "ERROR"),
              std::vector<std::string>{"---> Skipping b.xlsx: Cannot find Name or Amount in b2 or C3"});
}

TEST(ClaimsortRun, DryRunCreatesNothing) {
    TempDir dir;
    write_claim(dir / "in" / "a.xlsx", "Alpha", 1);
    write_claim(dir / "in" / "b.xlsx", "Bravo", 2.25);
    for (const char* dry_run : {"true", "\"TRUE\"", "\"True\"", "\"tRuE\""}) {
        const auto result = run_claimsort(
            dir, std::string(R"({"config": {"path": "in", "dry_run": )") + dry_run + "}}");
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(names_in(dir / "in"), (std::vector<std::string>{"a.xlsx", "b.xlsx"})) << dry_run;
        const auto infos = log_messages(result.err, "INFO");
        ASSERT_EQ(infos.size(), 3u) << result.err;
        EXPECT_EQ(infos[1].rfind("[Dry-Run] Would move: a.xlsx -> Alpha_1_", 0), 0u) << infos[1];
        EXPECT_EQ(infos[2].rfind("[Dry-Run] Would move: b.xlsx -> Bravo_2.25_", 0), 0u);
    }
}

TEST(ClaimsortRun, OtherDryRunValuesMove) {
    for (const char* dry_run : {"1", "\"False\"", "false", "\"yes\"", "null", "\" true\""}) {
        TempDir dir;
        write_claim(dir / "in" / "a.xlsx", "Alpha", 1);
        const auto result = run_claimsort(
            dir, std::string(R"({"config": {"path": "in", "dry_run": )") + dry_run + "}}");
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(names_in(dir / "in" / "backup"), std::vector<std::string>{"a.xlsx"}) << dry_run;
        EXPECT_EQ(names_in(dir / "in" / "results").size(), 1u) << dry_run;
    }
}

TEST(ClaimsortRun, EmptyFolderLogsOnlyTheStartLine) {
    TempDir dir;
    fs::create_directory(dir / "in");
    write_file(dir / "in" / "notes.txt", "no workbooks here");
    const auto result = run_claimsort(dir, R"({"config": {"path": "in"}})");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(lines_of(result.err).size(), 1u) << result.err;
    EXPECT_EQ(log_messages(result.err, "INFO"),
              std::vector<std::string>{"Starting expense processing in: in"});
    EXPECT_EQ(names_in(dir / "in"), std::vector<std::string>{"notes.txt"});
}

TEST(ClaimsortRun, ASecondRunWithWorkbooksOfTheSameNamesLosesNothing) {
    TempDir dir;
    write_claim(dir / "in" / "a.xlsx", "Alpha", 10);
    ASSERT_EQ(run_claimsort(dir, R"({"config": {"path": "in"}})").status, 0);
    const auto first_bytes = read_file(dir / "in" / "backup" / "a.xlsx");

    write_claim(dir / "in" / "a.xlsx", "Alpha", 10);
    const auto second_bytes = read_file(dir / "in" / "a.xlsx");
    const auto result = run_claimsort(dir, R"({"config": {"path": "in"}})");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(names_in(dir / "in" / "backup"), (std::vector<std::string>{"a.xlsx", "a_2.xlsx"}));
    EXPECT_EQ(read_file(dir / "in" / "backup" / "a.xlsx"), first_bytes);
    EXPECT_EQ(read_file(dir / "in" / "backup" / "a_2.xlsx"), second_bytes);
    EXPECT_EQ(names_in(dir / "in" / "results").size(), 2u);
    const auto warnings = log_messages(result.err, "WARNING");
    ASSERT_EQ(warnings.size(), 1u) << result.err;
    EXPECT_NE(warnings[0].find("a_2.xlsx"), std::string::npos) << warnings[0];
}

TEST(ClaimsortRun, AFailedMoveLeavesTheOriginalAndItsBackupAndTheRunGoesOn) {
    TempDir dir;
    const auto in = claimsort_test::deep_input_folder(dir.path());
    const std::string long_name(300, 'N');
    write_claim(dir / in / "a_long.xlsx", long_name.c_str(), 1);
    write_claim(dir / in / "b_fine.xlsx", "Bravo", 2);
    const auto original = read_file(dir / in / "a_long.xlsx");
    const auto result = run_claimsort(dir, R"({"config": {"path": ")" + in.string() + "\"}}");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(read_file(dir / in / "a_long.xlsx"), original);
    EXPECT_EQ(read_file(dir / in / "backup" / "a_long.xlsx"), original);
    EXPECT_FALSE(fs::exists(dir / in / "b_fine.xlsx"));
    EXPECT_EQ(names_in(dir / in / "results").size(), 1u);
    const auto errors = log_messages(result.err, "ERROR");
    ASSERT_EQ(errors.size(), 1u) << result.err;
    EXPECT_EQ(errors[0].rfind("Failed to move " + in.string() + "/a_long.xlsx: ", 0), 0u)
        << errors[0];
    EXPECT_NE(errors[0].find("File name too long"), std::string::npos) << errors[0];
}

TEST(ClaimsortRun, SymbolicLinksAreSkippedAndWhatTheyNameIsLeftAlone) {
    TempDir dir;
    write_claim(dir / "outside" / "secret.xlsx", "Secret", 9);
    write_claim(dir / "in" / "real.xlsx", "Real", 1);
    fs::create_symlink("../outside/secret.xlsx", dir / "in" / "link.xlsx");
    fs::create_symlink("real.xlsx", dir / "in" / "inside.xlsx");
    fs::create_symlink("gone.xlsx", dir / "in" / "dangling.xlsx");
    const auto secret = read_file(dir / "outside" / "secret.xlsx");
    const std::vector<std::string> skipped{
        "---> Skipping inside.xlsx: it is a symbolic link; move the workbook it points to instead",
        "---> Skipping link.xlsx: it is a symbolic link; move the workbook it points to instead"};

    const auto dry = run_claimsort(dir, R"({"config": {"path": "in", "dry_run": true}})");
    EXPECT_EQ(dry.status, 0) << dry.err;
    EXPECT_EQ(log_messages(dry.err, "WARNING"), skipped);
    const auto would = log_messages(dry.err, "INFO");
    ASSERT_EQ(would.size(), 2u) << dry.err;
    EXPECT_EQ(would[1].rfind("[Dry-Run] Would move: real.xlsx -> Real_1_", 0), 0u) << would[1];

    const auto result = run_claimsort(dir, R"({"config": {"path": "in"}})");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(log_messages(result.err, "WARNING"), skipped);
    EXPECT_TRUE(log_messages(result.err, "ERROR").empty()) << result.err;
    const auto results = names_in(dir / "in" / "results");
    ASSERT_EQ(results.size(), 1u);
    EXPECT_TRUE(is_new_name(results[0], "Real_1")) << results[0];
    EXPECT_FALSE(fs::is_symlink(dir / "in" / "results" / results[0]));
    EXPECT_EQ(names_in(dir / "in" / "backup"), std::vector<std::string>{"real.xlsx"});
    EXPECT_EQ(read_file(dir / "outside" / "secret.xlsx"), secret);
    EXPECT_EQ(fs::read_symlink(dir / "in" / "link.xlsx"), "../outside/secret.xlsx");
    EXPECT_EQ(fs::read_symlink(dir / "in" / "inside.xlsx"), "real.xlsx");
    EXPECT_TRUE(fs::is_symlink(dir / "in" / "dangling.xlsx"));
}

TEST(ClaimsortRun, AResultsFolderThatCannotBeMadeLeavesEveryWorkbook) {
    TempDir dir;
    write_claim(dir / "in" / "a.xlsx", "Alpha", 1);
    write_file(dir / "in" / "results", "a file where the folder should be");
    const auto result = run_claimsort(dir, R"({"config": {"path": "in"}})");
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(fs::is_regular_file(dir / "in" / "a.xlsx"));
    const auto errors = log_messages(result.err, "ERROR");
    ASSERT_EQ(errors.size(), 1u) << result.err;
    EXPECT_EQ(errors[0].rfind("Failed to move in/a.xlsx: ", 0), 0u) << errors[0];
}

TEST(ClaimsortRun, WorkbooksSavedByOpenpyxlUseTheActiveSheet) {
    TempDir dir;
    fs::create_directory(dir / "in");
    fs::copy_file(source_dir() / "tests/fixtures/xlsx/openpyxl_values.xlsx", dir / "in" / "o.xlsx");
    const auto result = run_claimsort(dir, R"({"config": {"path": "in", "dry_run": true}})");
    const auto infos = log_messages(result.err, "INFO");
    ASSERT_EQ(infos.size(), 2u) << result.err;
    EXPECT_EQ(infos[1].rfind("[Dry-Run] Would move: o.xlsx -> Alpha Müller_120.5_", 0), 0u)
        << infos[1];
}

TEST(ClaimsortRun, ConfigurationsOfTheWrongShapeAreErrors) {
    TempDir dir;
    fs::create_directory(dir / "in");
    const std::vector<std::pair<std::string, std::string>> cases{
        {"[1, 2]", "Error: config_dict must be a JSON object"},
        {"\"text\"", "Error: config_dict must be a JSON object"},
        {"null", "Error: config_dict must be a JSON object"},
        {R"({"config": "in"})", "Error: configuration: \"config\" must be a JSON object"},
        {R"({"config": {"path": 5}})", "Error: 'path' in the \"config\" section must be a text"},
        {R"({"excel_in": {"name_cell": 6}})",
         "Error: 'name_cell' in the \"excel_in\" section must be a text"},
        {R"({"config": {"path": "in" )", "Error: 'expense.json' is not valid JSON"},
    };
    for (const auto& [config, expected] : cases) {
        const auto result = run_claimsort(dir, config);
        EXPECT_EQ(result.status, 1) << config;
        const auto lines = lines_of(result.err);
        ASSERT_EQ(lines.size(), 1u) << result.err;
        EXPECT_EQ(lines[0].rfind(expected, 0), 0u) << lines[0];
    }
}

TEST(ClaimsortRun, AMissingFolderSaysWhereARelativePathLed) {
    TempDir dir;
    fs::create_directories(dir / "elsewhere");
    write_file(dir / "expense.json", R"({"config": {"path": "nowhere"}})");
    const auto result = run_torvane({"claimsort", "-c", "../expense.json"}, dir / "elsewhere");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(lines_of(result.err),
              (std::vector<std::string>{
                  "Error: cannot use the input folder 'nowhere': No such file or directory",
                  "Looked for '" + (dir / "elsewhere" / "nowhere").string() +
                      "' (current folder: '" + (dir / "elsewhere").string() + "')"}));
}

TEST(ClaimsortFacilityMissing, TemplateWorksAndARunOnlyLogsTheMissingPackage) {
    const auto minimal = minimal_binary();
    if (!minimal) GTEST_SKIP() << "no minimal build configured (TORVANE_MINIMAL_BINARY)";
    TempDir dir;
    const auto generated = run_program(*minimal, {"claimsort", "--generate-config"}, dir.path());
    EXPECT_EQ(generated.status, 0);
    EXPECT_EQ(read_file(dir / "config_expense_template.json"), k_template);

    write_claim(dir / "in" / "a.xlsx", "Alpha", 1);
    write_file(dir / "expense.json", R"({"config": {"path": "in"}})");
    const auto result = run_program(*minimal, {"claimsort", "-c", "expense.json"}, dir.path());
    EXPECT_EQ(result.status, 0);
    const auto errors = log_messages(result.err, "ERROR");
    ASSERT_EQ(errors.size(), 1u) << result.err;
    EXPECT_NE(errors[0].find("libzip"), std::string::npos);
    EXPECT_NE(errors[0].find("-DTORVANE_WORKBOOK_READ=ON"), std::string::npos);
    EXPECT_EQ(lines_of(result.err).size(), 1u);
    EXPECT_EQ(names_in(dir / "in"), std::vector<std::string>{"a.xlsx"});
}
