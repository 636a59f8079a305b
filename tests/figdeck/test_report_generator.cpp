// ReportGenerator at its interface: grouping and layout arithmetic.
#if FIGDECK_HAS_PDF_LIBS && TORVANE_TEST_IMAGES

#include <gtest/gtest.h>

#include "helmkit/base/error.hpp"
#include "report_fixture.hpp"
#include "torvane/figdeck/report_generator.hpp"

using namespace torvane_test;
using namespace figdeck_test;
using torvane::figdeck::CellSize;
using torvane::figdeck::ImageEntry;
using torvane::figdeck::ReportGenerator;

namespace {

ReportGenerator generator(ordered_json conf, ordered_json groups = ordered_json::array()) {
    if (groups.empty()) groups.push_back({{"name", "g"}, {"pattern", "x"}});
    return ReportGenerator(std::move(conf), {{"title_of_report", "T"}}, std::move(groups));
}

void expect_cell(const CellSize& cell, double w, double h) {
    EXPECT_NEAR(cell.w, w, 1e-9);
    EXPECT_NEAR(cell.h, h, 1e-9);
}

std::vector<std::string> names_of(const torvane::figdeck::ParsedData& data) {
    std::vector<std::string> names;
    for (const auto& group : data) names.push_back(group.name);
    return names;
}

}  // namespace

TEST(ReportLayout, TemplateWorkedExampleGivesCellsOf64By48) {
    TempDir dir;
    auto report = generator(template_config(dir.path())["config"]);
    EXPECT_DOUBLE_EQ(report.total_usable_h(), 282);
    std::vector<ImageEntry> images;
    for (int i = 0; i < 4; ++i) {
        const auto path = dir / ("p" + std::to_string(i) + ".png");
        write_png(path, 640, 480);
        images.push_back({path.string(), ""});
    }
    const double ratio = report.get_max_ratio_from_images(images);
    EXPECT_DOUBLE_EQ(ratio, 0.75);
    // Budget 282 / 2; two columns of (180 - 5) / 2.
    expect_cell(report.calculate_layout_size(2, 87.5, ratio, 141), 64, 48);
}

TEST(ReportLayout, DefaultMarginsAndOneLandscapeImageGive180By90) {
    TempDir dir;
    auto report = generator({{"image_folder", dir.path().string()}});
    EXPECT_DOUBLE_EQ(report.total_usable_h(), 267);
    write_jpeg(dir / "wide.jpg", 1000, 500);
    const double ratio = report.get_max_ratio_from_images({{(dir / "wide.jpg").string(), ""}});
    EXPECT_DOUBLE_EQ(ratio, 0.5);
    expect_cell(report.calculate_layout_size(1, 180, ratio, 267), 180, 90);
}

TEST(ReportLayout, EqualityTakesTheWidthBranchAndHeightLimitsOnlyWhenGreater) {
    auto report = generator({{"title_buffer", 25}, {"row_gap", 10}});
    // 135 - 25 = 110 for one row, less the gap: 100 mm allowed; 200 * 0.5 = 100.
    expect_cell(report.calculate_layout_size(1, 200, 0.5, 135), 200, 100);
    // A hair more and the height limits: the cell keeps the ratio and gets narrower.
    expect_cell(report.calculate_layout_size(1, 200, 0.5, 134), 198, 99);
}

TEST(ReportLayout, ConfiguredTitleBufferAndRowGapAreUsed) {
    auto report = generator({{"title_buffer", 5}, {"row_gap", 0}});
    // (100 - 5) / 5 rows = 19 mm per row; 180 * 1.0 is more, so the height limits.
    expect_cell(report.calculate_layout_size(5, 180, 1.0, 100), 19, 19);
}

TEST(ReportLayout, NoRowsGiveZeroHeightAndTightBudgetsAreReturnedUnchanged) {
    auto report = generator(ordered_json::object({{"row_gap", 10}}));
    expect_cell(report.calculate_layout_size(0, 87.5, 0.75, 141), 87.5, 0);
    // 30 rows in 141 - 25 mm: 116 / 30 - 10 is below zero.
    const auto cell = report.calculate_layout_size(30, 87.5, 0.75, 141);
    EXPECT_NEAR(cell.h, 116.0 / 30 - 10, 1e-9);
    EXPECT_LT(cell.w, 0);
}

TEST(ReportLayout, MaxRatioTakesTheTallestReadableImageAndFallsBackTo075) {
    TempDir dir;
    auto report = generator({{"image_folder", dir.path().string()}});
    EXPECT_DOUBLE_EQ(report.get_max_ratio_from_images({}), 0.75);
    write_png(dir / "wide.png", 200, 100);
    write_png(dir / "tall.png", 100, 250);
    write_file(dir / "broken.png", "not an image");
    torvane_test::write_file(dir / "scan.bmp", torvane_test::bmp_bytes(10, 30, 24));
    EXPECT_DOUBLE_EQ(report.get_max_ratio_from_images({{(dir / "wide.png").string(), ""},
                                                       {(dir / "broken.png").string(), ""},
                                                       {(dir / "tall.png").string(), ""}}),
                     2.5);
    EXPECT_DOUBLE_EQ(report.get_max_ratio_from_images({{(dir / "scan.bmp").string(), ""}}), 3.0);
    // Nothing readable: the fallback ratio.
    EXPECT_DOUBLE_EQ(report.get_max_ratio_from_images({{(dir / "broken.png").string(), ""},
                                                       {(dir / "missing.png").string(), ""}}),
                     0.75);
}

TEST(ReportLayout, BlockStartsOnANewPageOnlyWhenItEndsBelowTheConfiguredBottom) {
    using torvane::figdeck::block_start;
    using torvane::figdeck::BlockStart;
    const torvane::figdeck::PageGeometry geometry{300, 20, 10};
    // Ending exactly on the bottom limit (300 - 10) still fits.
    EXPECT_EQ(block_start(90, 200, geometry), BlockStart::under_separator);
    EXPECT_EQ(block_start(90.5, 200, geometry), BlockStart::new_page);
    // The separator only below top margin + 10, strictly.
    EXPECT_EQ(block_start(30, 100, geometry), BlockStart::here);
    EXPECT_EQ(block_start(30.5, 100, geometry), BlockStart::under_separator);
    EXPECT_EQ(block_start(20, 280, geometry), BlockStart::new_page);
}

TEST(ReportLayout, GridAndCellsOfAGroupComeFromItsDefinition) {
    const auto grid = torvane::figdeck::group_grid(
        "G", {{"experiments_per_page", 2}, {"cols_per_row", 2}}, 282);
    EXPECT_DOUBLE_EQ(grid.budget_h, 141);
    EXPECT_EQ(grid.cols, 2);
    EXPECT_DOUBLE_EQ(grid.standard_cell_w, 87.5);
    // Three images make two rows: the template's worked example.
    expect_cell(torvane::figdeck::fit_cells(grid, "G", 3, 0.75, {}), 64, 48);
    const auto defaults = torvane::figdeck::group_grid("G", ordered_json::object(), 267);
    EXPECT_DOUBLE_EQ(defaults.budget_h, 267);
    EXPECT_DOUBLE_EQ(defaults.standard_cell_w, 180);
    // 31 rows leave no height in 267 - 25 mm with a 10 mm gap per row.
    EXPECT_THROW(torvane::figdeck::fit_cells(defaults, "G", 31, 0.75, {}), helmkit::Error);
}

TEST(ReportGrouping, GroupingWalksTheListsUpToTheShorterWithoutAFolder) {
    const std::vector<std::string> paths{"/x/Result_a1.png", "/x/Result_a2.png", "/x/Result_a3.png"};
    const std::vector<std::string> names{"Result_a1.png", "Result_a2.png"};
    const auto data = torvane::figdeck::group_images(
        paths, names, ordered_json::array({{{"name", "A"}, {"pattern", "a"}}}), "Result");
    ASSERT_EQ(names_of(data), std::vector<std::string>{"A"});
    EXPECT_EQ(data[0].images, (std::vector<ImageEntry>{{"/x/Result_a1.png", "a1"},
                                                      {"/x/Result_a2.png", "a2"}}));
}

TEST(ReportGrouping, EveryGroupScansEveryFileInListerOrder) {
    TempDir dir;
    for (const auto* name : {"Result_a_RX10.png", "Result_a_RX2.png", "Result_b_RX1.jpg",
                             "Result_ab.bmp", "Other_a.png", "Result_a.gif"}) {
        write_file(dir / name, "x");
    }
    ordered_json groups = ordered_json::array(
        {{{"name", "A"}, {"pattern", "a"}}, {{"name", "AB"}, {"pattern", "*b*"}},
         {{"name", "Blank"}, {"pattern", "  \t"}}, {{"name", "NoPattern"}}});
    auto report = generator({{"image_folder", dir.path().string()}, {"file_prefix", "Result"}},
                            groups);
    const auto data = report.parse_files();
    ASSERT_EQ(names_of(data), (std::vector<std::string>{"A", "AB"}));
    const std::vector<ImageEntry> a{{(dir / "Result_a_RX2.png").string(), "a_RX2"},
                                    {(dir / "Result_a_RX10.png").string(), "a_RX10"},
                                    {(dir / "Result_ab.bmp").string(), "ab"}};
    EXPECT_EQ(data[0].images, a);
    // The same file joins both groups; GIF and unprefixed files are never matched.
    const std::vector<ImageEntry> ab{{(dir / "Result_ab.bmp").string(), "ab"},
                                     {(dir / "Result_b_RX1.jpg").string(), "b_RX1"}};
    EXPECT_EQ(data[1].images, ab);
}

TEST(ReportGrouping, ASecondGroupOfTheSameNameReplacesTheFirstInItsPlace) {
    TempDir dir;
    write_file(dir / "one.png", "x");
    write_file(dir / "two.png", "x");
    ordered_json groups = ordered_json::array({{{"name", "G"}, {"pattern", "one"}},
                                               {{"name", "H"}, {"pattern", "o"}},
                                               {{"name", "G"}, {"pattern", "two"}}});
    auto report = generator({{"image_folder", dir.path().string()}}, groups);
    const auto data = report.parse_files();
    ASSERT_EQ(names_of(data), (std::vector<std::string>{"G", "H"}));
    EXPECT_EQ(data[0].images, (std::vector<ImageEntry>{{(dir / "two.png").string(), "two"}}));
    EXPECT_EQ(data[1].images.size(), 2u);
}

TEST(ReportGrouping, EmptyFolderGivesEmptyListsAndAMissingFolderNothing) {
    TempDir dir;
    auto empty = generator({{"image_folder", dir.path().string()}});
    const auto data = empty.parse_files();
    ASSERT_EQ(names_of(data), std::vector<std::string>{"g"});
    EXPECT_TRUE(data[0].images.empty());
    auto missing = generator({{"image_folder", (dir / "nowhere").string()}});
    EXPECT_TRUE(missing.parse_files().empty());
}

TEST(ReportGrouping, BadGroupDefinitionsAreErrorsNamingTheEntry) {
    TempDir dir;
    const ordered_json conf{{"image_folder", dir.path().string()}};
    const std::vector<std::pair<ordered_json, std::string>> cases{
        {{{"pattern", "a"}}, "entry 1 of \"groups\" has no \"name\""},
        {{{"name", "G"}, {"pattern", nullptr}}, "'pattern' in group 'G' must be a text, not null"},
        {{{"name", 5}, {"pattern", "a"}}, "'name' in entry 1 of \"groups\" must be a text, not 5"},
        {"just text", "entry 1 of \"groups\" must be a JSON object, not \"just text\""},
    };
    for (const auto& [group, message] : cases) {
        auto report = generator(conf, ordered_json::array({group}));
        try {
            report.parse_files();
            ADD_FAILURE() << "no error for " << group.dump();
        } catch (const helmkit::Error& error) {
            EXPECT_EQ(std::string(error.what()), message);
        }
    }
}

TEST(ReportGrouping, SectionsOfTheWrongTypeAreRefusedAtConstruction) {
    EXPECT_THROW(ReportGenerator(ordered_json::array({1}), {{"a", 1}}, ordered_json::array({1})),
                 helmkit::Error);
    EXPECT_THROW(ReportGenerator({{"a", 1}}, "text", ordered_json::array({1})), helmkit::Error);
    EXPECT_THROW(ReportGenerator({{"a", 1}}, {{"a", 1}}, {{"a", 1}}), helmkit::Error);
    EXPECT_THROW(ReportGenerator({{"top_margin", "10"}}, {{"a", 1}}, ordered_json::array({1})),
                 helmkit::Error);
}

#endif
