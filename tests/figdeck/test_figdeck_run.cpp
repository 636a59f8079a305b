// Runs of `torvane figdeck` that end early, refuse bad values or fill the first page.
#if FIGDECK_HAS_PDF_LIBS && TORVANE_TEST_IMAGES

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "report_fixture.hpp"

using namespace torvane_test;
using namespace figdeck_test;

namespace {

// A configuration over `folder` with one group per (name, pattern) pair.
ordered_json config_over(const fs::path& folder,
                         const std::vector<std::pair<std::string, std::string>>& groups) {
    ordered_json config{{"config", {{"image_folder", folder.string()}}},
                        {"main_page", {{"title_of_report", "Run"}}},
                        {"groups", ordered_json::array()}};
    for (const auto& [name, pattern] : groups) {
        config["groups"].push_back({{"name", name}, {"pattern", pattern}});
    }
    return config;
}

}  // namespace

TEST(FigdeckRun, EmptyFolderGivesAFirstPageWithAnEntryThatLinksNowhere) {
    TempDir dir;
    fs::create_directory(dir / "images");
    const auto result = run_report(dir.path(), config_over(dir / "images", {{"Lonely", "x"}}));
    ASSERT_EQ(result.status, 0) << result.err;
    const auto folder = (dir / "images").string();
    const std::vector<std::string> info{"[INIT] Total usable height: 267.0mm",
                                        "Scanning files in " + folder + "...",
                                        "Total images found: 0",
                                        "Matching for Group: Lonely (Pattern: x)",
                                        "  -> Matched 0 images.",
                                        "Success! Custom Report Generated: " + folder + "/report.pdf",
                                        "[DONE] 0 images, 1 group, 1 page (1 group without images)"};
    EXPECT_EQ(log_messages(result.err, "INFO"), info);
    const auto pdf = dir / "images" / "report.pdf";
    expect_clean_pdf(pdf);
    EXPECT_EQ(page_count(pdf), 1);
    EXPECT_EQ(text_lines(pdf_words(pdf), 1), (std::vector<std::string>{"Run", "1. Lonely"}));
    EXPECT_TRUE(pdf_links(pdf).empty());
    // The entry is still drawn underlined: one filled bar under it.
    EXPECT_NE(page_content(pdf, 1).find(" re\nf"), std::string::npos);
}

TEST(FigdeckRun, MissingFolderOrOnlyBlankPatternsWriteNothing) {
    TempDir dir;
    const auto missing = run_report(dir.path(), config_over(dir / "nowhere", {{"G", "x"}}));
    EXPECT_EQ(missing.status, 0);
    EXPECT_EQ(log_messages(missing.err, "ERROR"),
              std::vector<std::string>{"Error: Image folder not found: " + (dir / "nowhere").string()});
    EXPECT_EQ(log_messages(missing.err, "WARNING"),
              std::vector<std::string>{"No data found matching patterns. Aborting."});
    const auto scanned = log_messages(missing.err, "INFO");
    EXPECT_EQ(std::count(scanned.begin(), scanned.end(),
                         "Looked for '" + (dir / "nowhere").string() + "' (current folder: '" +
                             dir.path().string() + "')"),
              1)
        << missing.err;

    fs::create_directory(dir / "images");
    write_png(dir / "images" / "a.png", 10, 10);
    const auto blank = run_report(dir.path(), config_over(dir / "images", {{"G", " "}, {"H", ""}}));
    EXPECT_EQ(blank.status, 0);
    EXPECT_EQ(log_messages(blank.err, "WARNING"),
              std::vector<std::string>{"No data found matching patterns. Aborting."});
    for (const auto& message : log_messages(blank.err, "INFO")) {
        EXPECT_EQ(message.find("Matching for Group"), std::string::npos) << message;
    }
    EXPECT_EQ(folder_names(dir / "images"), std::vector<std::string>{"a.png"});
}

TEST(FigdeckRun, KeyDataRowsFollowTheirOrderAndNeedBothHalves) {
    TempDir dir;
    fs::create_directory(dir / "images");
    auto config = config_over(dir / "images", {{"G", "x"}});
    config["main_page"] = {{"user_content_2", 80},       {"user_title_2", "  Offset Index \t"},
                           {"environment", "lab"},       {"dut_inform", ""},
                           {"user_title_1", "No value"}, {"user_content_3", "no title"},
                           {"user_title_10", "Ten"},     {"user_content_10", true}};
    const auto result = run_report(dir.path(), config);
    ASSERT_EQ(result.status, 0) << result.err;
    const auto words = pdf_words(dir / "images" / "report.pdf");
    // No title key: "Lab Report". No DUT row for an empty value.
    EXPECT_EQ(text_lines(words, 1),
              (std::vector<std::string>{"Lab Report", "ENVIRONMENT : lab", "Offset Index : 80",
                                        "Ten : True", "1. G"}));
    // The trimmed label starts at x 18 plus the cell's 1 mm.
    EXPECT_NEAR(find_word(words, "Offset").x_min, 19, 0.3);
}

TEST(FigdeckRun, FreeRowTitleThatIsNoTextIsAnError) {
    TempDir dir;
    fs::create_directory(dir / "images");
    auto config = config_over(dir / "images", {{"G", "x"}});
    config["main_page"] = {{"user_title_1", 7}, {"user_content_1", "v"}};
    const auto result = run_report(dir.path(), config);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(lines_of(result.err).back(),
              "Error: 'user_title_1' in the \"main_page\" section must be a text, not 7");
    EXPECT_TRUE(folder_names(dir / "images").empty());
}

TEST(FigdeckRun, BadLayoutValuesNameTheGroupAndKeyAndWriteNoPdf) {
    TempDir dir;
    const auto images = dir / "images";
    for (int i = 0; i < 12; ++i) write_png(images / ("p" + std::to_string(i) + ".png"), 20, 10);
    const std::vector<std::string> before = folder_names(images);
    const std::vector<std::pair<ordered_json, std::string>> cases{
        {{{"experiments_per_page", 0}},
         "group 'G': \"experiments_per_page\" must be a positive number, not 0"},
        {{{"experiments_per_page", -2}},
         "group 'G': \"experiments_per_page\" must be a positive number, not -2"},
        {{{"experiments_per_page", "2"}},
         "'experiments_per_page' in group 'G' must be a number, not \"2\""},
        {{{"cols_per_row", 0}}, "group 'G': \"cols_per_row\" must be a positive whole number, not 0"},
        {{{"cols_per_row", 2.5}},
         "group 'G': \"cols_per_row\" must be a positive whole number, not 2.5"},
        {{{"cols_per_row", 40}},
         "group 'G': \"cols_per_row\" 40 leaves no width for a figure; at most 36 columns fit "
         "the page"},
        // 12 rows of one column in 267 / 4 mm: 66.75 - 25 leaves 3.5 mm a row, less a 10 mm gap.
        {{{"experiments_per_page", 4}},
         "group 'G': its 12 rows of figures do not fit its 66.8 mm height budget "
         "(\"experiments_per_page\" 4, \"title_buffer\" 25, \"row_gap\" 10); lower "
         "\"experiments_per_page\" or raise \"cols_per_row\""},
    };
    for (const auto& [keys, message] : cases) {
        auto config = config_over(images, {{"G", "p"}});
        config["groups"][0].update(keys);
        const auto result = run_report(dir.path(), config);
        EXPECT_EQ(result.status, 1) << keys.dump();
        EXPECT_EQ(lines_of(result.err).back(), "Error: " + message);
        EXPECT_EQ(folder_names(images), before) << keys.dump();
    }
    // A fractional budget divisor is fine.
    auto config = config_over(images, {{"G", "p"}});
    config["groups"][0]["experiments_per_page"] = 0.5;
    config["groups"][0]["cols_per_row"] = 4.0;
    EXPECT_EQ(run_report(dir.path(), config).status, 0);
}

TEST(FigdeckRun, ImageThatCannotBeEmbeddedEndsTheRunNamingTheFile) {
    TempDir dir;
    const auto images = dir / "images";
    write_png(images / "a_good.png", 20, 10);
    write_file(images / "b_bad.jpg", "GIF89a not a jpeg at all");
    auto png = png_bytes({});
    png[png.size() - 20] ^= 0x55;  // inside the image data: the checksum no longer fits
    write_file(images / "c_damaged.png", png);
    for (const auto& [pattern, file, reason] :
         std::vector<std::tuple<std::string, std::string, std::string>>{
             {"bad", "b_bad.jpg", "not a PNG, JPEG or BMP image"},
             {"damaged", "c_damaged.png", "damaged PNG file (bad checksum of chunk IDAT)"}}) {
        const auto result = run_report(dir.path(), config_over(images, {{"Good", "good"}, {"G", pattern}}));
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(lines_of(result.err).back(),
                  "Error: cannot embed the image '" + (images / file).string() + "': " + reason);
        EXPECT_EQ(folder_names(images),
                  (std::vector<std::string>{"a_good.png", "b_bad.jpg", "c_damaged.png"}));
    }
}

TEST(FigdeckRun, ReportReplacesAnEarlierReportButNeverAnInputFile) {
    TempDir dir;
    const auto images = dir / "images";
    write_png(images / "plot.png", 20, 10);
    write_file(images / "report.pdf", "%PDF-1.4 an earlier report");
    EXPECT_EQ(run_report(dir.path(), config_over(images, {{"G", "plot"}})).status, 0);
    EXPECT_EQ(page_count(images / "report.pdf"), 2);  // contents, then the group

    const auto plot = read_file(images / "plot.png");
    auto config = config_over(images, {{"G", "plot"}});
    config["config"]["output_file"] = "plot.png";
    const auto result = run_report(dir.path(), config);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(lines_of(result.err).back(),
              "Error: refusing to replace '" + (images / "plot.png").string() +
                  "': it is not a PDF file");
    EXPECT_EQ(read_file(images / "plot.png"), plot);
    EXPECT_EQ(folder_names(images), (std::vector<std::string>{"plot.png", "report.pdf"}));
}

TEST(FigdeckRun, AnOutputThatIsAFifoOrADeviceIsRefusedWithoutWaitingAndLeftAsItIs) {
    TempDir dir;
    const auto images = dir / "images";
    write_png(images / "plot.png", 20, 10);
    ASSERT_EQ(::mkfifo((images / "report.pdf").c_str(), 0600), 0);
    fs::create_symlink("/dev/null", images / "null.pdf");
    const std::vector<std::pair<std::string, std::string>> outputs{
        {"report.pdf", "a FIFO"}, {"null.pdf", "a character device"}, {"/dev/null", "a character device"}};
    for (const auto& [name, kind] : outputs) {
        auto config = config_over(images, {{"G", "plot"}});
        config["config"]["output_file"] = name;
        const auto result = run_report(dir.path(), config);
        EXPECT_EQ(result.status, 1) << name;
        const auto target = name.front() == '/' ? fs::path(name) : images / name;
        EXPECT_EQ(lines_of(result.err).back(), "Error: cannot write '" + target.string() +
                                                   "': it is " + kind +
                                                   ", not a regular file, and is left as it is");
    }
    EXPECT_TRUE(fs::is_fifo(images / "report.pdf"));
    EXPECT_TRUE(fs::is_symlink(images / "null.pdf"));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_EQ(folder_names(images), (std::vector<std::string>{"null.pdf", "plot.png", "report.pdf"}));
}

TEST(FigdeckRun, AbsoluteOutputNameStandsAloneAndAMissingFolderIsAnError) {
    TempDir dir;
    const auto images = dir / "images";
    write_png(images / "plot.png", 20, 10);
    auto config = config_over(images, {{"G", "plot"}});
    config["config"]["output_file"] = (dir / "elsewhere.pdf").string();
    EXPECT_EQ(run_report(dir.path(), config).status, 0);
    EXPECT_EQ(page_count(dir / "elsewhere.pdf"), 2);

    config["config"]["output_file"] = (dir / "no" / "such" / "x.pdf").string();
    const auto result = run_report(dir.path(), config);
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(lines_of(result.err).back().find("No such file or directory"), std::string::npos)
        << result.err;
    for (const auto& message : log_messages(result.err, "INFO")) {
        EXPECT_EQ(message.find("Success!"), std::string::npos);
    }
}

TEST(FigdeckRun, TextOutsideWindows1252UsesDejaVuAndUnknownCharactersBecomeQuestionMarks) {
    TempDir dir;
    const auto images = dir / "images";
    write_png(images / "Result_\xCE\xA9mega_\xE2\x82\xAC.png", 20, 10);  // Omega, euro sign
    auto config = config_over(images, {{"Caf\xC3\xA9 \xE2\x80\x94 \xCE\xA9 \xE6\xBC\xA2\xE6\xBC\xA2", "mega"}});
    config["config"]["file_prefix"] = "Result";
    const auto result = run_report(dir.path(), config);
    ASSERT_EQ(result.status, 0) << result.err;
    // The CJK character is in no font: drawn as "?", warned about once.
    EXPECT_EQ(log_messages(result.err, "WARNING"),
              std::vector<std::string>{"no font has the character U+6F22; it is drawn as '?'"});
    const auto pdf = images / "report.pdf";
    expect_clean_pdf(pdf);
    const auto words = pdf_words(pdf);
    EXPECT_EQ(find_word(words, "\xCE\xA9", 2).page, 2);
    EXPECT_EQ(find_word(words, "??", 2).page, 2);
    EXPECT_EQ(find_word(words, "\xCE\xA9mega_\xE2\x82\xAC", 2).page, 2);
    const auto fonts = run_tool("pdffonts", {pdf.string()}, dir.path());
    EXPECT_NE(fonts.out.find("DejaVuSans-Bold"), std::string::npos) << fonts.out;
    // The running header holds only Windows-1252 characters: standard Helvetica.
    EXPECT_NE(fonts.out.find("Helvetica-Bold"), std::string::npos) << fonts.out;
}

TEST(FigdeckRun, ClosingLineCountsImagesGroupsAndPages) {
    TempDir dir;
    const auto images = dir / "images";
    for (int i = 0; i < 3; ++i) write_png(images / ("p" + std::to_string(i) + ".png"), 20, 10);
    write_png(images / "q.png", 20, 10);
    auto config = config_over(images, {{"P", "p"}, {"Q", "q"}, {"None", "zzz"}});
    config["groups"][1]["experiments_per_page"] = 1;
    const auto result = run_report(dir.path(), config);
    ASSERT_EQ(result.status, 0) << result.err;
    const auto info = log_messages(result.err, "INFO");
    EXPECT_EQ(info.back(), "[DONE] 4 images, 3 groups, 3 pages (1 group without images)");
    EXPECT_EQ(page_count(images / "report.pdf"), 3);

    const auto nothing = run_report(dir.path(), config_over(dir / "nowhere", {{"G", "x"}}));
    EXPECT_EQ(log_messages(nothing.err, "INFO").back(), "[DONE] 0 images, 0 groups, 0 pages; no report written");
}

TEST(FigdeckRun, StrictOutcomesGiveStatus1WhenNothingWasDoneAndDefaultsStay0) {
    TempDir dir;
    const auto images = dir / "images";
    write_png(images / "a.png", 20, 10);
    write_file(dir / "missing.json", config_over(dir / "nowhere", {{"G", "a"}}).dump());
    write_file(dir / "blank.json", config_over(images, {{"G", " "}}).dump());
    write_file(dir / "good.json", config_over(images, {{"G", "a"}}).dump());
    write_file(dir / "unmatched.json", config_over(images, {{"G", "zzz"}}).dump());
    const std::map<std::string, std::string> strict{{"TORVANE_STRICT", "1"}};
    for (const auto& [file, strict_status] : std::vector<std::pair<std::string, int>>{
             {"missing.json", 1}, {"blank.json", 1}, {"good.json", 0}, {"unmatched.json", 0}}) {
        SCOPED_TRACE(file);
        EXPECT_EQ(run_torvane({"figdeck", "-c", file}, dir.path()).status, 0);
        EXPECT_EQ(run_torvane({"figdeck", "-c", file}, dir.path(), strict).status, strict_status);
    }
    // Failures that already end with status 1 keep it.
    write_file(images / "b.png", "not a png");
    write_file(dir / "bad.json", config_over(images, {{"G", "b"}}).dump());
    EXPECT_EQ(run_torvane({"figdeck", "-c", "bad.json"}, dir.path(), strict).status, 1);
}

// A page geometry beyond the A4 sheet, and figures that it would push off the sheet, are
// refused naming the keys; nothing is written. Within the sheet any geometry works.
TEST(FigdeckRun, GeometryThatDoesNotFitTheA4PageIsRefusedNamingTheKeyAndValue) {
    TempDir dir;
    const auto images = dir / "images";
    write_png(images / "tall.png", 100, 200);
    write_png(images / "wide1.png", 20, 10);
    write_png(images / "wide2.png", 20, 10);
    const std::string room = " does not fit the page: it must be at least 0 and below \"page_height\" 297 (mm)";
    const std::vector<std::pair<ordered_json, std::string>> cases{
        {{{"page_height", 1000}},
         "\"page_height\" 1000 does not fit the page: the report's pages are A4, so it must be above 0 "
         "and at most 297 (mm)"},
        {{{"page_height", 1e308}},
         "\"page_height\" 1e+308 does not fit the page: the report's pages are A4, so it must be above 0 "
         "and at most 297 (mm)"},
        {{{"page_height", 0}},
         "\"page_height\" 0 does not fit the page: the report's pages are A4, so it must be above 0 "
         "and at most 297 (mm)"},
        {{{"bottom_margin", -1e308}}, "\"bottom_margin\" -1e+308" + room},
        {{{"top_margin", -1e6}}, "\"top_margin\" -1000000" + room},
        {{{"top_margin", 297}}, "\"top_margin\" 297" + room},
        {{{"top_margin", 150}, {"bottom_margin", 147}},
         "\"top_margin\" 150 and \"bottom_margin\" 147 leave no room on a page of \"page_height\" 297 (mm)"},
        // The block starts on page 2 at 25 mm: 9 mm of title, then a cell of 282 - 10 mm.
        {{{"bottom_margin", 0}, {"title_buffer", 0}},
         "group 'T': a figure would be drawn from 34.0 to 306.0 mm down the page, outside its 297 mm "
         "(\"page_height\" 297, \"bottom_margin\" 0, \"title_buffer\" 0, \"row_gap\" 10)"},
    };
    const auto before = folder_names(images);
    for (const auto& [keys, message] : cases) {
        SCOPED_TRACE(keys.dump());
        auto config = config_over(images, {{"T", "tall"}});
        config["config"].update(keys);
        const auto result = run_report(dir.path(), config);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(lines_of(result.err).back(), "Error: " + message);
        EXPECT_EQ(folder_names(images), before);
    }
    // A gap that moves the second row above the top of the page.
    auto upward = config_over(images, {{"W", "wide"}});
    upward["config"]["row_gap"] = -300;
    const auto result = run_report(dir.path(), upward);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(lines_of(result.err).back(),
              "Error: group 'W': a figure would be drawn from -176.0 to -86.0 mm down the page, outside "
              "its 297 mm (\"page_height\" 297, \"bottom_margin\" 15, \"title_buffer\" 25, \"row_gap\" -300)");
    EXPECT_EQ(folder_names(images), before);

    // A shorter page height and wide margins keep every figure on its page.
    auto small = config_over(images, {{"T", "tall"}, {"W", "wide"}});
    small["config"].update({{"page_height", 200}, {"top_margin", 40}, {"bottom_margin", 0}});
    ASSERT_EQ(run_report(dir.path(), small).status, 0);
    for (int page = 1; page <= page_count(images / "report.pdf"); ++page) {
        for (const auto& box : image_boxes(page_content(images / "report.pdf", page))) {
            EXPECT_GE(box.y, 40 - 0.01);
            EXPECT_LE(box.y + box.h, 200 + 0.01);
        }
    }
}

// Texts beyond what one line or one bookmark of the PDF holds are refused naming the key and
// the limit, before anything is drawn.
TEST(FigdeckRun, TextsBeyondWhatALineOrBookmarkHoldsAreRefusedNamingTheKeyAndLimit) {
    TempDir dir;
    const auto images = dir / "images";
    write_png(images / "a.png", 20, 10);
    const auto before = folder_names(images);
    const std::string long_ascii(70000, 'N');
    std::string long_accented;
    for (int i = 0; i < 33000; ++i) long_accented += "\xC3\xA9";  // 66,000 bytes, 66,002 as UTF-16
    std::string mostly_ascii(40000, 'a');
    mostly_ascii += "\xC3\xA9";  // 40,002 bytes; 80,004 in a bookmark
    const auto name_message = [](const std::string& start, std::size_t bytes) {
        return "the \"name\" of group '" + start + "...' is " + std::to_string(bytes) +
               " bytes long; its contents line and its bookmark hold at most 65535 bytes (a bookmark 2 "
               "for each character when the name is not all ASCII)";
    };
    const std::vector<std::pair<ordered_json, std::string>> cases{
        {{{"groups", {{{"name", long_ascii}, {"pattern", "a"}}}}},
         name_message(std::string(40, 'N'), 70000)},
        {{{"groups", {{{"name", long_accented}, {"pattern", "a"}}}}},
         name_message(long_accented.substr(0, 40), 66000)},
        {{{"groups", {{{"name", mostly_ascii}, {"pattern", "a"}}}}},
         name_message(std::string(40, 'a'), 40002)},
        {{{"main_page", {{"title_of_report", long_ascii}}}},
         "\"title_of_report\" is 70000 bytes long; a line of the report holds at most 65535 bytes"},
        {{{"main_page", {{"user_title_2", "Setting"}, {"user_content_2", long_ascii}}}},
         "\"user_content_2\" is 70004 bytes long; a line of the report holds at most 65535 bytes"},
    };
    for (const auto& [keys, message] : cases) {
        auto config = config_over(images, {{"G", "a"}});
        config.update(keys);
        const auto result = run_report(dir.path(), config);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(lines_of(result.err).back(), "Error: " + message);
        EXPECT_EQ(folder_names(images), before);
    }
    // At the limit: a contents line "1. " and a name of 65,532 bytes.
    auto config = config_over(images, {{std::string(65532, 'N'), "a"}});
    const auto fits = run_report(dir.path(), config);
    ASSERT_EQ(fits.status, 0) << lines_of(fits.err).back();
    EXPECT_EQ(pdf_outline(images / "report.pdf")[0].title.size(), 65532u);
}

#endif
