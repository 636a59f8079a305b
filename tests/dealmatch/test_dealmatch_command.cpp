#include <gtest/gtest.h>

#include "dealmatch_fixture.hpp"

using namespace dealmatch_test;

TEST(DealmatchCommand, GenerateConfigWritesTheTemplateAndPrintsItsPath) {
    TempDir dir;
    const auto result = run_torvane({"dealmatch", "--generate-config"}, dir.path());
    EXPECT_EQ(result.status, 0);
    const auto path = dir / "config_dealmatch_template.json";
    EXPECT_EQ(result.out, "Template created: " + path.string() + "\n");
    const auto written = nlohmann::ordered_json::parse(read_file(path));
    const auto expected = nlohmann::ordered_json::parse(R"({"config": {
        "system_data_path": "./data_dealmatch/system_data.csv",
        "customer_data_path": "./data_dealmatch/customer_data.xlsx",
        "output_dir": "./data_dealmatch/out",
        "system_data": {"po_cell": "H2", "so_cell": "I2", "so_pos_cell": "J2",
                        "so_suffix_cell": "K2", "qty_cell": "L2", "rdd_cell": "Q2"},
        "customer_data": {"po_cell": "F3", "qty_cell": "O3", "rdd_cell": "R3"}}})");
    EXPECT_EQ(written, expected);
    // Key order is part of the template.
    EXPECT_EQ(written.dump(), expected.dump());
    EXPECT_FALSE(fs::exists(dir / "data_dealmatch"));
}

TEST(DealmatchCommand, GenerateConfigWithConfigWritesOnlyTheTemplate) {
    TempDir dir;
    write_file(dir / "bad.json", "not json at all");
    const auto result =
        run_torvane({"dealmatch", "--generate-config", "-c", "bad.json"}, dir.path());
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(fs::exists(dir / "config_dealmatch_template.json"));
    EXPECT_EQ(lines_of(result.out).size(), 1u);
    EXPECT_EQ(read_file(dir / "bad.json"), "not json at all");
}

TEST(DealmatchCommand, NoOptionsPrintsTheOneErrorLine) {
    TempDir dir;
    const auto result = run_torvane({"dealmatch"}, dir.path());
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "Error: Please provide a JSON config file using -c.\n");
}

TEST(DealmatchCommand, ConfigPathThatDoesNotExistIsAUsageError) {
    TempDir dir;
    const auto result = run_torvane({"dealmatch", "-c", "missing.json"}, dir.path());
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
}

TEST(DealmatchCommand, RefusedConfigurationEndsQuietlyWithStatus0) {
    TempDir dir;
    for (const std::string content : {R"({"settings": {}})", "[1]", "{\"config\": "}) {
        write_file(dir / "match.json", content);
        const auto result = run_torvane({"dealmatch", "-c", "match.json"}, dir.path());
        EXPECT_EQ(result.status, 0) << content;
        EXPECT_EQ(result.out, "") << content;
        EXPECT_EQ(log_messages(result.err, "ERROR").size(), 1u) << content;
    }
}

TEST(DealmatchCommand, EmptySectionFailsOnTheEmptySystemPath) {
    TempDir dir;
    write_file(dir / "match.json", R"({"config": {}, "other": 1})");
    const auto result = run_torvane({"dealmatch", "-c", "match.json"}, dir.path());
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "Failed: System data file not found at: \n");
    EXPECT_EQ(log_messages(result.err, "INFO"),
              (std::vector<std::string>{
                  "Starting Dealmatch process on system data: ",
                  "Summary: 0 system rows and 0 customer rows read, 0 matched records",
                  "The path is empty (current folder: '" + dir.path().string() + "')"}));
    EXPECT_FALSE(fs::exists(dir / "out"));
}

TEST(DealmatchCommand, SectionOfTheWrongShapeIsAnUnexpectedFailure) {
    TempDir dir;
    const std::vector<std::pair<std::string, std::string>> cases{
        {R"({"config": [1, 2]})", "\"config\" section must be a JSON object"},
        {R"({"config": {"system_data_path": 5}})", "'system_data_path'"},
        {R"({"config": {"system_data": "H2"}})", "'system_data'"},
        {R"({"config": {"customer_data": {"po_cell": 6}}})", "'po_cell'"},
    };
    for (const auto& [content, named] : cases) {
        write_file(dir / "match.json", content);
        const auto result = run_torvane({"dealmatch", "-c", "match.json"}, dir.path());
        EXPECT_EQ(result.status, 1) << content;
        EXPECT_EQ(result.out, "") << content;
        EXPECT_NE(result.err.find("Error: "), std::string::npos) << result.err;
        EXPECT_NE(result.err.find(named), std::string::npos) << result.err;
    }
}

TEST(DealmatchCommand, HelpShowsTheTexts) {
    TempDir dir;
    const auto result = run_torvane({"dealmatch", "--help"}, dir.path());
    EXPECT_EQ(result.status, 0);
    for (const char* text : {"Dealmatch: Data processing and SOP generator.",
                             "Path to JSON config file", "Generate config_dealmatch_template.json"}) {
        EXPECT_NE(result.out.find(text), std::string::npos) << text;
    }
}
