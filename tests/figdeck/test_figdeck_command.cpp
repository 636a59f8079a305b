#include <gtest/gtest.h>

#include <unistd.h>

#include "helmkit/base/json.hpp"
#include "test_support.hpp"
#include "torvane/figdeck/template.hpp"

using namespace torvane_test;

namespace {

const std::vector<std::string> k_missing_config_lines{
    "Error: Please provide a JSON file path using --config or -c.",
    "Hint: Run 'torvane figdeck --help' to see the template."};

const std::string k_invalid_format =
    "Invalid configuration format. Missing 'config', 'main_page', or 'groups'.";

}  // namespace

TEST(FigdeckCommand, GenerateConfigWritesTheTemplateAndPrintsItsPath) {
    TempDir dir;
    const auto result = run_torvane({"figdeck", "--generate-config"}, dir.path());
    EXPECT_EQ(result.status, 0);
    const auto path = dir / "config_figdeck_template.json";
    EXPECT_EQ(result.out, "Success! Template file created at: " + path.string() + "\n");
    const auto written = nlohmann::ordered_json::parse(read_file(path));
    EXPECT_EQ(written["config"]["image_folder"], "./data_figdeck");
    EXPECT_EQ(written["main_page"]["dut_inform"], "reRAD + QT7700");
    EXPECT_EQ(written["groups"][0]["cols_per_row"], 2);
    EXPECT_EQ(read_file(path), torvane::figdeck::DEFAULT_CONFIG.dump(4) + "\n");
}

TEST(FigdeckCommand, GenerateConfigWithConfigWritesOnlyTheTemplate) {
    TempDir dir;
    write_file(dir / "bad.json", "this is not json");
    const auto result =
        run_torvane({"figdeck", "--generate-config", "-c", "bad.json"}, dir.path());
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(fs::exists(dir / "config_figdeck_template.json"));
    EXPECT_EQ(read_file(dir / "bad.json"), "this is not json");
}

TEST(FigdeckCommand, MissingConfigPrintsErrorAndHint) {
    TempDir dir;
    const auto result = run_torvane({"figdeck"}, dir.path());
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(lines_of(result.out), k_missing_config_lines);
}

TEST(FigdeckCommand, EmptyOrMissingSectionsAreAnInvalidFormat) {
    TempDir dir;
    const std::vector<std::string> configs{
        R"({"main_page": {"a": "b"}, "groups": [{"name": "g"}]})",
        R"({"config": {"a": 1}, "main_page": {}, "groups": [{"name": "g"}]})",
        R"({"config": {"a": 1}, "main_page": {"a": "b"}, "groups": []})",
        R"({"config": null, "main_page": {"a": "b"}, "groups": [1]})",
        R"({"config": 0, "main_page": {"a": "b"}, "groups": [1]})",
        R"({"config": false, "main_page": {"a": "b"}, "groups": [1]})",
        R"({"config": "", "main_page": {"a": "b"}, "groups": [1]})",
    };
    for (const auto& config : configs) {
        write_file(dir / "report.json", config);
        const auto result = run_torvane({"figdeck", "-c", "report.json"}, dir.path());
        EXPECT_EQ(result.status, 1) << config;
        EXPECT_EQ(log_messages(result.err, "ERROR"), std::vector<std::string>{k_invalid_format})
            << config;
        EXPECT_EQ(result.out, "") << config;
    }
}

TEST(FigdeckCommand, UnreadableOrMalformedConfigIsOneErrorWithStatus1) {
    TempDir dir;
    fs::create_directory(dir / "folder.json");
    write_file(dir / "invalid.json", "{\n  \"config\": ,\n}");
    write_file(dir / "list.json", "[1, 2]");
    write_file(dir / "latin1.json", "{\"config\": \"caf\xe9\"}");
    write_file(dir / "huge.json", "{\"config\": {\"dpi\": 1e400}}");
    write_file(dir / "locked.json", "{}");
    fs::permissions(dir / "locked.json", fs::perms::none);
    const std::vector<std::pair<std::string, std::string>> cases{
        {"folder.json", "Error: cannot read 'folder.json': Is a directory"},
        {"invalid.json", "Error: 'invalid.json' is not valid JSON: parse error at line 2, column"},
        {"list.json", "Error: 'list.json' must hold a JSON object at the top level"},
        {"latin1.json", "Error: 'latin1.json' is not valid JSON"},
        {"huge.json", "Error: 'huge.json' is not valid JSON: number overflow parsing '1e400'"},
    };
    for (const auto& [file, expected] : cases) {
        const auto result = run_torvane({"figdeck", "-c", file}, dir.path());
        EXPECT_EQ(result.status, 1) << file;
        const auto lines = lines_of(result.err);
        ASSERT_EQ(lines.size(), 1u) << result.err;
        EXPECT_EQ(lines[0].rfind(expected, 0), 0u) << lines[0];
    }
    if (::geteuid() != 0) {  // root reads any file
        const auto result = run_torvane({"figdeck", "-c", "locked.json"}, dir.path());
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, "Error: cannot read 'locked.json': Permission denied\n");
    }
}

TEST(FigdeckCommand, HelpShowsTheParameterDescriptionAndTheTemplateAsWritten) {
    TempDir dir;
    const auto result = run_torvane({"figdeck", "--help"}, dir.path());
    EXPECT_EQ(result.status, 0);
    const std::string description =
        "[JSON Parameter Description]:\n"
        "* config.image_folder : (String) The folder containing the images.\n"
        "* config.output_file  : (String) The name of the output PDF file.\n"
        "* main_page           : (Dict) Key-value pairs displayed on the first TOC page.\n"
        "* groups              : (List) Define layout and matching patterns for image groups.\n";
    EXPECT_NE(result.out.find(description), std::string::npos) << result.out;
    const std::string json_block = "[Default config.json Template]:\n{\n    \"config\": {\n"
                                   "        \"image_folder\": \"./data_figdeck\",\n";
    EXPECT_NE(result.out.find(json_block), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("        \"dut_inform\": \"reRAD + QT7700\",\n"), std::string::npos);
    EXPECT_EQ(result.out.find('\b'), std::string::npos);
    EXPECT_NE(result.out.find("Specify the JSON config file path"), std::string::npos);
    EXPECT_NE(result.out.find("Generate a config_figdeck_template.json in the current directory"),
              std::string::npos);
}

TEST(FigdeckCommand, HelpTextOpensWithTheDescriptionAndEndsWithTheTemplate) {
    const auto& help = torvane::figdeck::HELP_TEXT;
    EXPECT_EQ(help.rfind("\nGenerate a PDF report from multiple images based on a JSON "
                         "configuration.\n\n\b\n[JSON Parameter Description]:\n",
                         0),
              0u);
    const std::string tail =
        "\n\b\n[Default config.json Template]:\n" + torvane::figdeck::DEFAULT_CONFIG.dump(4) + "\n";
    ASSERT_GE(help.size(), tail.size());
    EXPECT_EQ(help.substr(help.size() - tail.size()), tail);
}

TEST(FigdeckFacilityMissing, EveryStepFailsWithTheThreeErrorLines) {
    const auto minimal = minimal_binary();
    if (!minimal) GTEST_SKIP() << "no minimal build configured (TORVANE_MINIMAL_BINARY)";
    TempDir dir;
    write_file(dir / "report.json", "{}");
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"figdeck", "--generate-config"}, {"figdeck"}, {"figdeck", "-c", "report.json"}}) {
        const auto result = run_program(*minimal, args, dir.path());
        EXPECT_EQ(result.status, 1);
        const auto errors = log_messages(result.err, "ERROR");
        ASSERT_EQ(errors.size(), 3u) << result.err;
        EXPECT_EQ(errors[0], "Missing required packages for PDF generation.");
        EXPECT_EQ(errors[1], "Please reinstall with the PDF feature enabled:");
        EXPECT_NE(errors[2].find("-DTORVANE_PDF_WRITE=ON"), std::string::npos);
        EXPECT_NE(errors[2].find("libhpdf-dev"), std::string::npos);
        EXPECT_EQ(result.out, "");
    }
    EXPECT_FALSE(fs::exists(dir / "config_figdeck_template.json"));
}
