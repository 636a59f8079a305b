// The report as a reader sees it: runs of `torvane figdeck` whose PDF is read back with
// pdftotext, pdfimages and qpdf.
#if FIGDECK_HAS_PDF_LIBS && TORVANE_TEST_IMAGES

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "report_fixture.hpp"

using namespace torvane_test;
using namespace figdeck_test;

namespace {

const std::string k_group0 = "Group 0: 1st Experiment (Result by Metric)";

// Four 640 by 480 plots for the template's group, and one file that no group takes.
fs::path template_folder(const TempDir& dir) {
    const auto folder = dir / "data_figdeck";
    for (int i = 1; i <= 4; ++i) {
        write_png(folder / ("Result_g8_Peak_60dB_RX" + std::to_string(i) + ".png"), 640, 480);
    }
    write_png(folder / "Result_g9_Other.png", 100, 100);
    return folder;
}

}  // namespace

TEST(FigdeckReport, TemplateConfigurationPlacesEverythingWhereTheLayoutSays) {
    TempDir dir;
    template_folder(dir);
    const auto result = run_report(dir.path(), template_config(dir.path()));
    ASSERT_EQ(result.status, 0) << result.err;
    const auto pdf = dir / "data_figdeck" / "test.pdf";
    ASSERT_TRUE(fs::exists(pdf));
    expect_clean_pdf(pdf);
    const auto info = log_messages(result.err, "INFO");
    ASSERT_GE(info.size(), 2u);
    EXPECT_EQ(info[info.size() - 2], "Success! Custom Report Generated: " + pdf.string());
    EXPECT_EQ(info.back(), "[DONE] 4 images, 1 group, 1 page");
    // 282 mm usable; the block's budget of 141 mm fits below the contents on page 1.
    EXPECT_EQ(page_count(pdf), 1);

    const auto words = pdf_words(pdf);
    const std::vector<std::string> first_lines{"Ziveva VizIroz",
                                               "DUT : reRAD + QT7700",
                                               "ENVIRONMENT : chamber + corner reflector",
                                               "Radar Setting : 2000_2200_256_59_RX14_RX23",
                                               "Offset Index : 80",
                                               "Remove DC : 0",
                                               "Guard Cell : 20",
                                               "1. " + k_group0,
                                               k_group0};
    const auto lines_1 = text_lines(words, 1);
    ASSERT_GE(lines_1.size(), first_lines.size());
    EXPECT_EQ(std::vector<std::string>(lines_1.begin(), lines_1.begin() + first_lines.size()),
              first_lines);
    // Title centred on the page, in a 20 mm cell under the 10 mm top margin.
    const auto title = find_word(words, "Ziveva");
    const auto title_end = find_word(words, "VizIroz");
    EXPECT_NEAR((title.x_min + title_end.x_max) / 2, 105, 0.5);
    EXPECT_GT(title.y_min, 10);
    EXPECT_LT(title.y_max, 30);
    // Key data: labels at x 18 (+1 mm cell margin), values after the 35 mm label cell.
    EXPECT_NEAR(find_word(words, "DUT").x_min, 19, 0.3);
    EXPECT_NEAR(find_word(words, ":").x_min, 18 + 35 + 1, 0.3);
    // Rows of 4 mm under the 20 mm title cell.
    EXPECT_NEAR(find_word(words, "ENVIRONMENT").y_min - find_word(words, "DUT").y_min, 4, 0.01);

    // Separator 5 mm below the contents (y 74), from x 15 to 195, grey 200.
    const auto lines = horizontal_lines(page_content(pdf, 1));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NEAR(lines[0].y, 79, 0.01);
    EXPECT_NEAR(lines[0].x1, 15, 0.01);
    EXPECT_NEAR(lines[0].x2, 195, 0.01);
    EXPECT_NEAR(lines[0].grey, 200, 0.5);

    // Cells 64 by 48 at x 15 and 84; rows at 93 and 93 + 48 + 10.
    const auto boxes = image_boxes(page_content(pdf, 1));
    ASSERT_EQ(boxes.size(), 4u);
    const double xs[] = {15, 84, 15, 84};
    const double ys[] = {93, 93, 151, 151};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_NEAR(boxes[i].x, xs[i], 0.01) << i;
        EXPECT_NEAR(boxes[i].y, ys[i], 0.01) << i;
        EXPECT_NEAR(boxes[i].w, 64, 0.01) << i;
        EXPECT_NEAR(boxes[i].h, 48, 0.01) << i;
    }

    // Captions one mm under each cell, centred in it, numbered per row.
    std::vector<std::string> captions;
    for (const double caption_y : {142.0, 200.0}) {
        std::vector<Word> row;
        for (const auto& word : words) {
            if (word.y_min > caption_y && word.y_max < caption_y + 4.5) row.push_back(word);
        }
        ASSERT_EQ(row.size(), 6u) << caption_y;
        EXPECT_NEAR((row[0].x_min + row[2].x_max) / 2, 15 + 32, 0.5);
        EXPECT_NEAR((row[3].x_min + row[5].x_max) / 2, 84 + 32, 0.5);
        for (const auto& word : row) captions.push_back(word.text);
    }
    const std::vector<std::string> expected{
        "Figure", "1:", "g8_Peak_60dB_RX1", "Figure", "2:", "g8_Peak_60dB_RX2",
        "Figure", "1:", "g8_Peak_60dB_RX3", "Figure", "2:", "g8_Peak_60dB_RX4"};
    EXPECT_EQ(captions, expected);

    // The contents entry leads to the group title at y 84 (after the separator).
    const auto links = pdf_links(pdf);
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0].page, 1);
    EXPECT_EQ(links[0].target_page, 1);
    EXPECT_NEAR(links[0].target_y, 84, 0.01);
    const auto entry = find_word(words, "1.");
    EXPECT_LE(links[0].y_min, entry.y_min);
    EXPECT_GE(links[0].y_max, entry.y_max);

    // Four images, each embedded once, as Flate-compressed RGB.
    const auto images = pdf_images(pdf);
    ASSERT_EQ(images.size(), 4u);
    for (const auto& image : images) {
        EXPECT_EQ(image.width, 640);
        EXPECT_EQ(image.height, 480);
        EXPECT_EQ(image.color, "rgb");
        EXPECT_EQ(image.encoding, "image");
    }
}

TEST(FigdeckReport, BlockThatDoesNotFitStartsAPageWithTheRunningHeader) {
    TempDir dir;
    template_folder(dir);
    auto config = template_config(dir.path());
    config["main_page"]["title_of_report"] = "Another Title";
    config["groups"].push_back({{"name", "Second"}, {"pattern", "g9"}});
    const auto result = run_report(dir.path(), config);
    ASSERT_EQ(result.status, 0) << result.err;
    const auto pdf = dir / "data_figdeck" / "test.pdf";
    expect_clean_pdf(pdf);
    ASSERT_EQ(page_count(pdf), 2);
    const auto words = pdf_words(pdf);
    // No header on page 1; on page 2 at the top right, in grey, whatever the title.
    EXPECT_EQ(page_text(words, 1).find("Lab Report - Page"), std::string::npos);
    const std::vector<std::string> page_2{"Lab Report - Page 2", "Second", "Figure 1: g9_Other"};
    EXPECT_EQ(text_lines(words, 2), page_2);
    const auto number = find_word(words, "2", 2);
    EXPECT_NEAR(number.x_max, 194, 0.3);
    EXPECT_GT(number.y_min, 10);
    EXPECT_LT(number.y_max, 20);
    EXPECT_NE(page_content(pdf, 2).find("0.58824 0.58824 0.58824 rg"), std::string::npos);

    // The header takes 10 mm: the second group's title starts at 20 mm.
    const auto links = pdf_links(pdf);
    ASSERT_EQ(links.size(), 2u);
    EXPECT_EQ(links[1].target_page, 2);
    EXPECT_NEAR(links[1].target_y, 20, 0.01);
    EXPECT_TRUE(horizontal_lines(page_content(pdf, 2)).empty());
    const auto boxes = image_boxes(page_content(pdf, 2));
    ASSERT_EQ(boxes.size(), 1u);
    // One square image, one column, budget 282: the width limits, 180 by 180.
    EXPECT_NEAR(boxes[0].w, 180, 0.01);
    EXPECT_NEAR(boxes[0].y, 29, 0.01);
}

TEST(FigdeckReport, BookmarksLeadWhereTheContentsEntriesOfGroupsWithImagesLead) {
    TempDir dir;
    const auto folder = template_folder(dir);
    write_png(folder / "Result_g7_\xCE\xA9.png", 50, 100);
    auto config = template_config(dir.path());
    config["groups"].push_back({{"name", "Nothing matches"}, {"pattern", "zzz"}});
    config["groups"].push_back({{"name", "Second"}, {"pattern", "g9"}});
    config["groups"].push_back({{"name", "Caf\xC3\xA9 \xCE\xA9"}, {"pattern", "g7"}});
    const auto result = run_report(dir.path(), config);
    ASSERT_EQ(result.status, 0) << result.err;
    const auto pdf = folder / "test.pdf";
    expect_clean_pdf(pdf);
    const auto outline = pdf_outline(pdf);
    ASSERT_EQ(outline.size(), 3u);
    EXPECT_EQ(outline[0].title, k_group0);
    EXPECT_EQ(outline[1].title, "Second");
    EXPECT_EQ(outline[2].title, "Caf\xC3\xA9 \xCE\xA9");
    // The links of the entries with a target, in the same order: the empty group has none.
    const auto links = pdf_links(pdf);
    ASSERT_EQ(links.size(), 3u);
    for (std::size_t i = 0; i < outline.size(); ++i) {
        EXPECT_EQ(outline[i].target_page, links[i].target_page) << i;
        EXPECT_NEAR(outline[i].target_y, links[i].target_y, 0.01) << i;
        EXPECT_EQ(outline[i].kids, 0u);
    }
    // Three more contents entries than the template's push the first block 30 mm lower.
    EXPECT_EQ(outline[0].target_page, 1);
    EXPECT_NEAR(outline[0].target_y, 84 + 30, 0.01);
    EXPECT_EQ(outline[1].target_page, 2);
    // The viewer opens with the bookmarks shown.
    const auto json = qpdf_json(pdf);
    bool use_outlines = false;
    for (const auto& [key, object] : json["qpdf"][1].items()) {
        if (object.contains("value") && object["value"].is_object() &&
            object["value"].value("/Type", "") == "/Catalog") {
            use_outlines = object["value"].value("/PageMode", "") == "/UseOutlines";
        }
    }
    EXPECT_TRUE(use_outlines);
}

TEST(FigdeckReport, KeepAspectFitsEveryImageInsideItsCellCentredWithItsOwnProportions) {
    TempDir dir;
    const auto folder = dir / "data_figdeck";
    // The tall image sets the cell's proportions (1.5); the others are wider than the cell.
    write_png(folder / "Result_g8_Peak_60dB_1.png", 640, 480);
    write_png(folder / "Result_g8_Peak_60dB_2.png", 200, 300);
    write_png(folder / "Result_g8_Peak_60dB_3.png", 400, 100);
    auto config = template_config(dir.path());
    config["groups"][0]["experiments_per_page"] = 1;
    config["groups"][0]["cols_per_row"] = 3;
    const auto pdf = folder / "test.pdf";

    ASSERT_EQ(run_report(dir.path(), config).status, 0);
    // The block's whole-page budget does not fit under the contents: it is on page 2.
    const auto filled = image_boxes(page_content(pdf, 2));
    ASSERT_EQ(filled.size(), 3u);
    // Today's layout: every image fills its cell, so the wide ones are stretched.
    const auto stretched = pdf_images(pdf);
    EXPECT_NE(stretched[0].x_ppi, stretched[0].y_ppi);

    config["config"]["keep_aspect"] = true;
    const auto result = run_report(dir.path(), config);
    ASSERT_EQ(result.status, 0) << result.err;
    expect_clean_pdf(pdf);
    const auto boxes = image_boxes(page_content(pdf, 2));
    ASSERT_EQ(boxes.size(), 3u);
    const double ratios[] = {0.75, 1.5, 0.25};
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const auto& cell = filled[i];
        EXPECT_NEAR(boxes[i].h / boxes[i].w, ratios[i], 1e-3);
        EXPECT_NEAR(boxes[i].x + boxes[i].w / 2, cell.x + cell.w / 2, 0.01);
        EXPECT_NEAR(boxes[i].y + boxes[i].h / 2, cell.y + cell.h / 2, 0.01);
        EXPECT_LE(boxes[i].w, cell.w + 0.01);
        EXPECT_LE(boxes[i].h, cell.h + 0.01);
        // It touches the cell on two sides: as large as the cell allows.
        EXPECT_TRUE(std::abs(boxes[i].w - cell.w) < 0.01 || std::abs(boxes[i].h - cell.h) < 0.01);
    }
    // The tallest image fills its cell exactly, as before.
    EXPECT_NEAR(boxes[1].w, filled[1].w, 0.01);
    for (const auto& image : pdf_images(pdf)) {
        EXPECT_NEAR(image.x_ppi, image.y_ppi, 1) << image.object;
    }
    // Captions stay under the cells, where they were.
    EXPECT_NEAR(find_word(pdf_words(pdf), "g8_Peak_60dB_3").y_min, filled[2].y + filled[2].h + 1, 1);

    config["config"]["keep_aspect"] = "yes";
    const auto wrong = run_report(dir.path(), config);
    EXPECT_EQ(wrong.status, 1);
    EXPECT_EQ(lines_of(wrong.err).back(),
              "Error: 'keep_aspect' in the \"config\" section must be true or false, not \"yes\"");
}

// Thirty groups: the entries that do not fit page 1 go on on page 2 under its running header,
// each within its page and leading to its group's title.
TEST(FigdeckReport, ContentsGoOnOverAsManyPagesAsTheyNeedWithEveryLinkOnItsPage) {
    TempDir dir;
    const auto folder = dir / "data_figdeck";
    auto config = template_config(dir.path());
    config["groups"] = ordered_json::array();
    const auto name_of = [](int n) { return std::string("Block_") + (n < 10 ? "0" : "") + std::to_string(n); };
    for (int n = 1; n <= 30; ++n) {
        const auto tag = name_of(n).substr(6);
        write_png(folder / ("Result_g" + tag + ".png"), 40, 30);
        config["groups"].push_back({{"name", name_of(n)}, {"pattern", "g" + tag}, {"experiments_per_page", 4}});
    }
    const auto result = run_report(dir.path(), config);
    ASSERT_EQ(result.status, 0) << result.err;
    const auto pdf = folder / "test.pdf";
    expect_clean_pdf(pdf);
    const auto words = pdf_words(pdf);
    // Template margins 10 and 5 mm: the entries start at 64 mm, 22 of 10 mm end by 292 mm.
    const auto second = text_lines(words, 2);
    ASSERT_GE(second.size(), 2u);
    EXPECT_EQ(second[0], "Lab Report - Page 2");
    EXPECT_EQ(second[1], "23. Block_23");
    const auto links = pdf_links(pdf);
    const auto outline = pdf_outline(pdf);
    ASSERT_EQ(links.size(), 30u);
    ASSERT_EQ(outline.size(), 30u);
    for (std::size_t i = 0; i < links.size(); ++i) {
        SCOPED_TRACE(i);
        const auto& link = links[i];
        EXPECT_EQ(link.page, i < 22 ? 1 : 2);
        EXPECT_NEAR(link.y_min, i < 22 ? 64 + 10.0 * i : 20 + 10.0 * (i - 22), 0.01);
        EXPECT_LE(link.y_max, 292.01);
        EXPECT_EQ(outline[i].title, name_of(static_cast<int>(i) + 1));
        EXPECT_EQ(outline[i].target_page, link.target_page);
        EXPECT_NEAR(outline[i].target_y, link.target_y, 0.01);
        const bool leads_to_title = std::any_of(words.begin(), words.end(), [&](const Word& word) {
            return word.page == link.target_page && word.text == name_of(static_cast<int>(i) + 1) &&
                   word.y_min > link.target_y && word.y_max < link.target_y + 8;
        });
        EXPECT_TRUE(leads_to_title);
    }
    // The first block follows the contents on page 2, under a separator.
    EXPECT_EQ(links[0].target_page, 2);
    EXPECT_NEAR(links[0].target_y, 100 + 10, 0.01);
}

TEST(FigdeckReport, FittedCaptionsKeepToTheirRowGapAndLeftOutFilesAreCounted) {
    TempDir dir;
    const auto images = dir / "images";
    const std::string long_caption =
        "g1_response_of_the_corner_reflector_at_sixty_decibels_of_attenuation_measured_on_"
        "every_receive_channel_with_the_guard_cells_and_offset_index_of_the_template_settings_"
        "over_two_hundred_sweeps";
    for (int i = 1; i <= 7; ++i) write_png(images / ("Result_g1_" + std::to_string(i) + ".png"), 64, 48);
    write_png(images / ("Result_" + long_caption + ".png"), 64, 48);
    write_png(images / "Result_zz_unmatched.png", 64, 48);
    write_file(images / "scope.gif", "GIF89a");
    write_file(images / "schematic.SVG", "<svg/>");
    write_file(images / "report.pdf", "%PDF-1.4 an earlier report");
    auto config = template_config(dir.path());
    config["config"]["image_folder"] = images.string();
    config["config"]["output_file"] = "report.pdf";
    config["main_page"]["fit_captions"] = true;
    config["groups"] = ordered_json::array(
        {{{"name", "G"}, {"pattern", "g1"}, {"experiments_per_page", 1}, {"cols_per_row", 4}}});
    write_file(dir / "report.json", config.dump(2));
    const auto result =
        run_torvane({"figdeck", "-c", "report.json"}, dir.path(), {{"TORVANE_LOG_LEVEL", "debug"}});
    ASSERT_EQ(result.status, 0) << result.err;

    const auto infos = log_messages(result.err, "INFO");
    EXPECT_EQ(std::count(infos.begin(), infos.end(),
                         "Left out 3 files of the image folder: 2 of a kind figdeck does not read "
                         "(.gif, .svg), 1 matched by no group"),
              1)
        << result.err;
    const auto debugs = log_messages(result.err, "DEBUG");
    EXPECT_EQ(std::count(debugs.begin(), debugs.end(), "Matched by no group: Result_zz_unmatched.png"),
              1)
        << result.err;

    const auto pdf = images / "report.pdf";
    const int page = page_count(pdf);
    const auto boxes = image_boxes(page_content(pdf, page));
    ASSERT_EQ(boxes.size(), 8u);
    const double row_gap = 10;
    bool shortened = false;
    std::size_t caption_words = 0;
    for (const auto& word : pdf_words(pdf)) {
        if (word.page != page || word.y_min < boxes[0].y) continue;
        ++caption_words;
        shortened = shortened || word.text.ends_with("\u2026");
        // Under exactly one figure, inside its width, between its bottom and the next row.
        std::size_t under = 0;
        for (const auto& box : boxes) {
            const bool beside = word.x_max <= box.x || word.x_min >= box.x + box.w;
            const bool above_or_below = word.y_max <= box.y || word.y_min >= box.y + box.h;
            EXPECT_TRUE(beside || above_or_below) << word.text << " overlaps a figure";
            if (!beside && word.y_min >= box.y + box.h && word.y_max <= box.y + box.h + row_gap) {
                ++under;
                EXPECT_GE(word.x_min, box.x - 0.01) << word.text;
                EXPECT_LE(word.x_max, box.x + box.w + 0.01) << word.text;
            }
        }
        EXPECT_EQ(under, 1u) << word.text << " at y " << word.y_min;
    }
    EXPECT_GE(caption_words, 8u * 3);
    EXPECT_TRUE(shortened) << "the long caption should end in an ellipsis";
}

#endif
