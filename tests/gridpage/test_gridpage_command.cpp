#include <gtest/gtest.h>

#include "gridpage_fixture.hpp"
#include "torvane/gridpage/template.hpp"

using namespace gridpage_test;

namespace {

const std::vector<std::string> k_missing_config_lines{
    "Error: Please provide a JSON file path using --config or -c.",
    "Hint: Run 'torvane gridpage --generate-config' to get a template."};

}  // namespace

TEST(GridpageCommand, GenerateConfigWritesTheTemplateInKeyOrder) {
    TempDir dir;
    write_file(dir / "x.json", "not json at all");
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"gridpage", "--generate-config"},
             {"gridpage", "--generate-config", "--config", "x.json"}}) {
        const auto result = run_torvane(args, dir.path());
        EXPECT_EQ(result.status, 0) << result.err;
        const auto path = dir / "config_gridpage_template.json";
        EXPECT_EQ(result.out, "Success! Template file created at: " + path.string() + "\n");
        const auto text = read_file(path);
        const std::vector<std::string> keys_in_order{
            "\"config\"", "\"input_folder\": \"./data_gridpage\"",
            "\"output_file\": \"./data_gridpage/merged_report.pdf\"", "\"layout\"",
            "\"cols\": 2", "\"rows\": 2", "\"landscape\": false", "\"page_size\": \"A4\"",
            "\"margin\": 20", "\"debug_grid\": false"};
        std::size_t at = 0;
        for (const auto& key : keys_in_order) {
            const auto found = text.find(key, at);
            ASSERT_NE(found, std::string::npos) << key << " in\n" << text;
            at = found;
        }
        EXPECT_EQ(text, torvane::gridpage::DEFAULT_CONFIG.dump(4) + "\n");
        EXPECT_FALSE(fs::exists(dir / "data_gridpage"));
    }
}

TEST(GridpageCommand, MissingConfigPrintsErrorAndHint) {
    TempDir dir;
    const auto result = run_torvane({"gridpage"}, dir.path());
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(lines_of(result.out), k_missing_config_lines);
    EXPECT_EQ(result.err, "");
}

TEST(GridpageCommand, UnusableConfigFileIsTheLoadersReportWithStatus0) {
    TempDir dir;
    write_file(dir / "nokey.json", R"({"layout": {"cols": 2}})");
    write_file(dir / "broken.json", "{\"config\": ");
    for (const auto& file : {"nokey.json", "broken.json"}) {
        const auto result = run_torvane({"gridpage", "-c", file}, dir.path());
        EXPECT_EQ(result.status, 0) << file;
        EXPECT_EQ(result.out, "") << file;
        const auto errors = log_messages(result.err, "ERROR");
        ASSERT_EQ(errors.size(), 1u) << result.err;
        EXPECT_NE(errors[0].find(file), std::string::npos) << errors[0];
    }
}

TEST(GridpageCommand, ConfigPathThatDoesNotExistIsAUsageError) {
    TempDir dir;
    for (const auto& path : {"absent.json", ""}) {
        const auto result = run_torvane({"gridpage", "-c", path}, dir.path());
        EXPECT_EQ(result.status, 2) << path;
        EXPECT_EQ(result.out, "") << path;
        EXPECT_FALSE(fs::exists(dir / "data_gridpage"));
    }
}

TEST(GridpageCommand, HelpShowsTheOneLineTextAndBothOptions) {
    TempDir dir;
    const auto result = run_torvane({"gridpage", "--help"}, dir.path());
    EXPECT_EQ(result.status, 0);
    for (const auto& text : {"Merge multiple PDF files into a single layout report.",
                             "Specify the JSON config file path",
                             "Generate a config_gridpage_template.json in the current directory"}) {
        EXPECT_NE(result.out.find(text), std::string::npos) << text << " in\n" << result.out;
    }
}

TEST(GridpageCommand, EmptySectionUsesEveryDefault) {
    TempDir dir;
    write_file(dir / "data_gridpage" / "one.pdf", labelled_pdf("one", 3));
    write_config(dir, nlohmann::ordered_json::object());
    const auto result = run_merge(dir);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "Success: ./data_gridpage/merged_report.pdf\n");
    const auto infos = log_messages(result.err, "INFO");
    ASSERT_FALSE(infos.empty());
    EXPECT_EQ(infos[0], "[INIT] Layout: 2x1, Landscape=False");
    const auto report = qpdf_json(dir / "data_gridpage" / "merged_report.pdf");
    // Two cells side by side per portrait A4 sheet: three pages need two sheets.
    ASSERT_EQ(report["pages"].size(), 2u);
    const auto text = sheet_text(dir / "data_gridpage" / "merged_report.pdf", 1);
    EXPECT_NE(text.find("one 1"), std::string::npos) << text;
    EXPECT_NE(text.find("one 2"), std::string::npos) << text;
}

TEST(GridpageCommand, InitLineShowsTheValuesAsConfigured) {
    TempDir dir;
    fs::create_directory(dir / "in");
    const std::vector<std::pair<nlohmann::ordered_json, std::string>> cases{
        {{{"cols", 2}, {"rows", 2}, {"landscape", false}}, "[INIT] Layout: 2x2, Landscape=False"},
        {{{"cols", 3}, {"rows", 4}, {"landscape", true}}, "[INIT] Layout: 3x4, Landscape=True"},
        {{{"cols", 1}}, "[INIT] Layout: 1x1, Landscape=False"},
        {{{"cols", 2.0}, {"landscape", "yes"}}, "[INIT] Layout: 2x1, Landscape=yes"},
    };
    for (const auto& [layout, expected] : cases) {
        write_config(dir, {{"input_folder", "in"}, {"layout", layout}});
        const auto result = run_merge(dir);
        EXPECT_EQ(result.status, 0) << result.err;
        const auto infos = log_messages(result.err, "INFO");
        ASSERT_FALSE(infos.empty()) << result.err;
        EXPECT_EQ(infos[0], expected);
        EXPECT_EQ(log_messages(result.err, "WARNING"),
                  std::vector<std::string>{"No PDF files found to merge."});
    }
}

TEST(GridpageCommand, APageSizeOtherThanA4IsOneWarningAndTheSheetsStayA4) {
    TempDir dir;
    write_file(dir / "in" / "a.pdf", labelled_pdf("a", 1));
    const std::vector<std::pair<nlohmann::ordered_json, std::vector<std::string>>> cases{
        {"A3", {"Sheets are A4 whatever 'page_size' says (here \"A3\")"}},
        {"a4", {"Sheets are A4 whatever 'page_size' says (here \"a4\")"}},
        {3, {"Sheets are A4 whatever 'page_size' says (here 3)"}},
        {"A4", {}},
    };
    for (const auto& [page_size, warnings] : cases) {
        write_config(dir, {{"input_folder", "in"}, {"output_file", "out.pdf"},
                           {"page_size", page_size}});
        const auto result = run_merge(dir);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out, "Success: out.pdf\n");
        EXPECT_EQ(log_messages(result.err, "WARNING"), warnings) << page_size;
        const auto report = qpdf_json(dir / "out.pdf");
        const auto id = report["pages"][0]["object"].get<std::string>();
        EXPECT_EQ(report["qpdf"][1]["obj:" + id]["value"]["/MediaBox"],
                  nlohmann::json::parse("[0, 0, 595, 842]"))
            << page_size;
    }
}

TEST(GridpageCommand, BadLayoutNumbersAreErrorsNamingTheKeyAndNothingIsWritten) {
    TempDir dir;
    write_file(dir / "in" / "a.pdf", labelled_pdf("a", 1));
    write_file(dir / "in" / "merged.pdf", "earlier report");
    const std::vector<std::pair<nlohmann::ordered_json, std::string>> cases{
        {{{"layout", {{"cols", "two"}}}}, "'cols'"},
        {{{"layout", {{"cols", 0}}}}, "'cols'"},
        {{{"layout", {{"rows", -1}}}}, "'rows'"},
        {{{"layout", {{"rows", 1.5}}}}, "'rows'"},
        {{{"layout", {{"cols", true}}}}, "'cols'"},
        {{{"layout", {{"rows", nullptr}}}}, "'rows'"},
        {{{"layout", 3}}, "'layout'"},
        {{{"margin", "wide"}}, "'margin'"},
        {{{"margin", -5}}, "'margin'"},
        {{{"margin", 297.5}}, "'margin'"},
        {{{"margin", 400}, {"layout", {{"landscape", true}}}}, "'margin'"},
        {{{"output_file", 7}}, "'output_file'"},
        {{{"input_folder", ""}}, "'input_folder'"},
    };
    for (auto [section, key] : cases) {
        if (!section.contains("input_folder")) section["input_folder"] = "in";
        if (!section.contains("output_file")) section["output_file"] = "in/merged.pdf";
        write_config(dir, section);
        const auto result = run_merge(dir);
        EXPECT_EQ(result.status, 1) << section.dump();
        EXPECT_EQ(result.out, "") << section.dump();
        const auto lines = lines_of(result.err);
        ASSERT_FALSE(lines.empty()) << section.dump();
        EXPECT_EQ(lines.back().rfind("Error: ", 0), 0u) << lines.back();
        EXPECT_NE(lines.back().find(key), std::string::npos) << lines.back();
        EXPECT_EQ(read_file(dir / "in" / "merged.pdf"), "earlier report") << section.dump();
    }
}

TEST(GridpageCommand, MarginThatStillLeavesRoomIsAccepted) {
    TempDir dir;
    write_file(dir / "in" / "a.pdf", labelled_pdf("a", 1));
    write_config(dir, {{"input_folder", "in"}, {"output_file", "out.pdf"}, {"margin", 297}});
    const auto result = run_merge(dir);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "Success: out.pdf\n");
}

TEST(GridpageFacilityMissing, EveryStepFailsWithTheTwoErrorLines) {
    const auto minimal = minimal_binary();
    if (!minimal) GTEST_SKIP() << "no minimal build configured (TORVANE_MINIMAL_BINARY)";
    TempDir dir;
    write_file(dir / "merge.json", R"({"config": {}})");
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"gridpage", "--generate-config"}, {"gridpage"}, {"gridpage", "-c", "merge.json"}}) {
        const auto result = run_program(*minimal, args, dir.path());
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, "");
        const auto errors = log_messages(result.err, "ERROR");
        ASSERT_EQ(errors.size(), 2u) << result.err;
        EXPECT_EQ(errors[0], "Missing required packages for PDF processing.");
        EXPECT_NE(errors[1].find("qpdf"), std::string::npos) << errors[1];
        EXPECT_NE(errors[1].find("-DTORVANE_PDF_MERGE=ON"), std::string::npos) << errors[1];
        EXPECT_FALSE(fs::exists(dir / "config_gridpage_template.json"));
    }
}
