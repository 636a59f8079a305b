#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "gridpage_fixture.hpp"

using namespace gridpage_test;
using nlohmann::ordered_json;

namespace {

struct Word {
    std::string text;
    double x_min;
    double y_min;  // from the top of the sheet
};

// The words pdftotext -bbox finds on sheet `page` (1-based), with their top-left corners.
std::vector<Word> words_of(const fs::path& pdf, int page) {
    const auto n = std::to_string(page);
    const auto result = run_program("/usr/bin/pdftotext",
                                    {"-bbox", "-f", n, "-l", n, pdf.string(), "-"},
                                    pdf.parent_path());
    std::vector<Word> words;
    const std::regex word(R"re(<word xMin="([0-9.]+)" yMin="([0-9.]+)"[^>]*>([^<]+)</word>)re");
    for (std::sregex_iterator it(result.out.begin(), result.out.end(), word), end; it != end; ++it) {
        words.push_back({(*it)[3], std::stod((*it)[1]), std::stod((*it)[2])});
    }
    return words;
}

// The words whose top-left corner lies in the cell with lower-left corner (x, y) of a
// portrait 2 by 2 sheet, in the order pdftotext reads them.
std::vector<Word> words_in_cell(const std::vector<Word>& words, double x, double y) {
    std::vector<Word> found;
    for (const auto& word : words) {
        const double y_up = 842 - word.y_min;
        if (word.x_min > x && word.x_min < x + 277.5 && y_up > y && y_up < y + 401) {
            found.push_back(word);
        }
    }
    return found;
}

std::string texts(const std::vector<Word>& words) {
    std::string joined;
    for (const auto& word : words) joined += (joined.empty() ? "" : " ") + word.text;
    return joined;
}

// Text that the writer's compression cannot shrink much.
std::string noise(std::size_t length, unsigned seed) {
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
        seed = seed * 1103515245u + 12345u;
        text += static_cast<char>('a' + (seed >> 16) % 26);
    }
    return text;
}

ordered_json two_by_two(bool frames = false) {
    return {{"input_folder", "in"},
            {"output_file", "out/report.pdf"},
            {"layout", {{"cols", 2}, {"rows", 2}}},
            {"debug_grid", frames}};
}

}  // namespace

TEST(GridpageMerge, ThreeFilesFillTheSheetsInOrderWithOneOutlineEntryEach) {
    TempDir dir;
    write_file(dir / "in" / "a.pdf", labelled_pdf("alpha", 3));
    write_file(dir / "in" / "b.pdf", labelled_pdf("beta", 1));
    write_file(dir / "in" / "c.pdf", labelled_pdf("gamma", 2));
    write_config(dir, two_by_two());
    const auto result = run_merge(dir, true);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "Success: out/report.pdf\n");
    const auto infos = log_messages(result.err, "INFO");
    EXPECT_EQ(infos, (std::vector<std::string>{
                         "[INIT] Layout: 2x2, Landscape=False", "[STEP 1] Processing 3 files...",
                         "[DONE] Successfully saved merged report: out/report.pdf",
                         "Summary: 3 files merged, 0 failed, 6 pages on 2 sheets"}));
    const auto debug = log_messages(result.err, "DEBUG");
    ASSERT_EQ(debug.size(), 6u) << result.err;
    EXPECT_EQ(debug[0], "    Pg0: a.pdf | Sc=0.44 | Loc=(26.9,435.0)");
    EXPECT_EQ(debug[3], "    Pg3: b.pdf | Sc=0.44 | Loc=(304.4,34.0)");
    EXPECT_EQ(debug[4], "    Pg4: c.pdf | Sc=0.44 | Loc=(26.9,435.0)");

    const auto pdf = dir / "out" / "report.pdf";
    const auto report = qpdf_json(pdf);
    ASSERT_EQ(report["pages"].size(), 2u);
    EXPECT_EQ(outline_of(report), (std::vector<std::pair<std::string, int>>{
                                      {"a.pdf", 1}, {"b.pdf", 1}, {"c.pdf", 2}}));

    // Slots run left to right, then downwards; every page is scaled by 0.443 and centred,
    // so its label (at 60, 300 of the source, 60 points high) lands at a known place.
    const double s = 0.95 * 277.5 / 595;
    const double x_gap = 6.9375;
    const double y_gap = (401 - 842 * s) / 2;
    const std::vector<std::tuple<int, double, double, std::string>> cells{
        {1, 20, 421, "alpha 1"}, {1, 297.5, 421, "alpha 2"}, {1, 20, 20, "alpha 3"},
        {1, 297.5, 20, "beta 1"}, {2, 20, 421, "gamma 1"}, {2, 297.5, 421, "gamma 2"}};
    for (const auto& [sheet, x, y, label] : cells) {
        const auto words = words_in_cell(words_of(pdf, sheet), x, y);
        ASSERT_EQ(texts(words), label) << "sheet " << sheet << " cell " << x << "," << y;
        EXPECT_NEAR(words[0].x_min, x + x_gap + s * 60, 1.5) << label;
        const double baseline_from_top = 842 - (y + y_gap + s * 300);
        EXPECT_LT(words[0].y_min, baseline_from_top) << label;
        EXPECT_GT(words[0].y_min, baseline_from_top - s * 70) << label;
    }
    EXPECT_TRUE(words_in_cell(words_of(pdf, 2), 20, 20).empty());
}

TEST(GridpageMerge, AFullSheetAndOneMorePage) {
    TempDir dir;
    write_file(dir / "in" / "four.pdf", labelled_pdf("four", 4));
    write_config(dir, two_by_two());
    ASSERT_EQ(run_merge(dir).status, 0);
    EXPECT_EQ(qpdf_json(dir / "out" / "report.pdf")["pages"].size(), 1u);

    write_file(dir / "in" / "more.pdf", labelled_pdf("more", 1));
    ASSERT_EQ(run_merge(dir).status, 0);
    const auto report = qpdf_json(dir / "out" / "report.pdf");
    ASSERT_EQ(report["pages"].size(), 2u);
    EXPECT_EQ(outline_of(report), (std::vector<std::pair<std::string, int>>{{"four.pdf", 1},
                                                                            {"more.pdf", 2}}));
    EXPECT_EQ(count_of(sheet_contents(dir / "out" / "report.pdf", 2), " Do"), 1);
}

TEST(GridpageMerge, FilesAreTakenInCodePointOrderOfTheirNamesOnly) {
    TempDir dir;
    for (const auto& name : {"b.pdf", "A.pdf", "a.pdf", "10.pdf", "2.pdf", "C.PDF"}) {
        write_file(dir / "in" / name, labelled_pdf("page", 1));
    }
    write_file(dir / "in" / "sub" / "0.pdf", labelled_pdf("nested", 1));
    write_file(dir / "in" / "notes.txt", "not a pdf");
    write_config(dir, {{"input_folder", "in"}, {"output_file", "report.pdf"}, {"layout", {{"cols", 1}}}});
    const auto result = run_merge(dir);
    ASSERT_EQ(result.status, 0) << result.err;
    const auto outline = outline_of(qpdf_json(dir / "report.pdf"));
    std::vector<std::string> titles;
    for (const auto& [title, sheet] : outline) titles.push_back(title);
    EXPECT_EQ(titles, (std::vector<std::string>{"10.pdf", "2.pdf", "A.pdf", "C.PDF", "a.pdf",
                                                "b.pdf"}));
    EXPECT_EQ(log_messages(result.err, "INFO")[1], "[STEP 1] Processing 6 files...");
}

TEST(GridpageMerge, OutlineTitlesAreTheFileNamesInUnicode) {
    TempDir dir;
    const std::string name = "Größe – 日本語 report.pdf";
    write_file(dir / "in" / name, labelled_pdf("x", 1));
    write_file(dir / "in" / "plain.pdf", labelled_pdf("y", 1));
    write_config(dir, {{"input_folder", "in"}, {"output_file", "report.pdf"}});
    ASSERT_EQ(run_merge(dir).status, 0);
    const auto outline = outline_of(qpdf_json(dir / "report.pdf"));
    EXPECT_EQ(outline, (std::vector<std::pair<std::string, int>>{{name, 1}, {"plain.pdf", 1}}));
}

TEST(GridpageMerge, RotatedPagesLandWhereTheRotationTableSays) {
    TempDir dir;
    // A crop box of 280 by 160 inside a larger media box; the marker sits at (40, 30) of the
    // crop box, a second one outside the crop box must be clipped away.
    const double x0 = 10;
    const double y0 = 20;
    const double w0 = 280;
    const double h0 = 160;
    const double u = 40;
    const double v = 30;
    const std::vector<std::string> rotations{"0", "90", "180", "270", "-90"};
    PdfDocument document;
    for (const auto& rotation : rotations) {
        PdfPage page;
        page.media_box = "0 0 300 200";
        page.crop_box = "10 20 290 180";
        page.rotate = rotation;
        page.content = marker_operators(x0 + u, y0 + v) + marker_operators(5, 190);
        document.pages.push_back(page);
    }
    // Inherited from the page tree, as a viewer sees it.
    PdfDocument inherited;
    PdfPage page;
    page.media_box = "0 0 300 200";
    page.crop_box = "10 20 290 180";
    page.content = marker_operators(x0 + u, y0 + v);
    inherited.pages.push_back(page);
    inherited.inherited = "/Rotate 90";
    write_file(dir / "in" / "a.pdf", build_pdf(document));
    write_file(dir / "in" / "b.pdf", build_pdf(inherited));
    write_config(dir, {{"input_folder", "in"}, {"output_file", "report.pdf"},
                       {"layout", {{"cols", 1}, {"rows", 1}}}});
    ASSERT_EQ(run_merge(dir).status, 0);

    const std::vector<double> values{0, 90, 180, 270, -90, 90};
    for (std::size_t i = 0; i < values.size(); ++i) {
        const double rot = values[i];
        const bool turned = rot == 90 || rot == 270;
        const double src_w = turned ? h0 : w0;
        const double src_h = turned ? w0 : h0;
        const double s = std::min(555 / src_w, 802 / src_h) * 0.95;
        const double dx = 20 + (555 - src_w * s) / 2;
        const double dy = 20 + (802 - src_h * s) / 2;
        double ex = dx + s * u;
        double ey = dy + s * v;
        if (rot == 90) {
            ex = dx + s * v;
            ey = dy + s * (w0 - u);
        } else if (rot == 180) {
            ex = dx + s * (w0 - u);
            ey = dy + s * (h0 - v);
        } else if (rot == 270) {
            ex = dx + s * (h0 - v);
            ey = dy + s * u;
        }
        const auto spot = dark_spot(render_sheet(dir / "report.pdf", static_cast<int>(i) + 1));
        EXPECT_NEAR(spot.x, ex, 1.0) << "rotation " << rot << " sheet " << i + 1;
        EXPECT_NEAR(spot.y, ey, 1.0) << "rotation " << rot << " sheet " << i + 1;
        // Only the one marker, scaled: the other lies outside the crop box.
        const double side = 6 * s;
        EXPECT_NEAR(spot.count, side * side, 4 * side + 4) << "rotation " << rot;
    }
}

TEST(GridpageMerge, FramesAreDrawnOnTopOfEveryUsedCell) {
    TempDir dir;
    write_file(dir / "in" / "a.pdf", labelled_pdf("a", 3));
    write_config(dir, two_by_two(true));
    ASSERT_EQ(run_merge(dir).status, 0);
    const auto contents = sheet_contents(dir / "out" / "report.pdf", 1);
    EXPECT_EQ(count_of(contents, "1 0 0 RG 2 w"), 3);
    for (const auto& frame : {"20.00 421.00 277.50 401.00 re S", "297.50 421.00 277.50 401.00 re S",
                              "20.00 20.00 277.50 401.00 re S"}) {
        EXPECT_EQ(count_of(contents, frame), 1) << frame << " in\n" << contents;
    }
    EXPECT_EQ(count_of(contents, "297.50 20.00 277.50 401.00 re S"), 0);
    // Each frame follows the page drawn into its cell.
    std::size_t at = 0;
    for (int cell = 0; cell < 3; ++cell) {
        const auto drawn = contents.find(" Do", at);
        const auto framed = contents.find("re S", at);
        ASSERT_NE(drawn, std::string::npos);
        ASSERT_NE(framed, std::string::npos);
        EXPECT_LT(drawn, framed);
        at = framed + 1;
    }
    const auto image = render_sheet(dir / "out" / "report.pdf", 1);
    // The left frame line of the first cell, 2 points wide at x = 20, is dark (red in grey).
    EXPECT_LT(image.at(20, 300), 128);
    EXPECT_GT(image.at(10, 300), 200);
}

TEST(GridpageMerge, ZeroSizeCropBoxUsesAFramedEmptyCellAndNoPageIsLost) {
    TempDir dir;
    PdfDocument document;
    PdfPage empty;
    empty.crop_box = "100 100 100 500";
    empty.content = marker_operators(100, 300, 50);
    document.pages.push_back(empty);
    PdfPage shown;
    shown.content = text_operators("shown", 60, 300, 60);
    document.pages.push_back(shown);
    write_file(dir / "in" / "a.pdf", build_pdf(document));
    write_file(dir / "in" / "b.pdf", labelled_pdf("after", 1));
    write_config(dir, two_by_two(true));
    const auto result = run_merge(dir, true);
    ASSERT_EQ(result.status, 0) << result.err;
    const auto debug = log_messages(result.err, "DEBUG");
    EXPECT_EQ(debug, (std::vector<std::string>{"    Pg1: a.pdf | Sc=0.44 | Loc=(304.4,435.0)",
                                               "    Pg2: b.pdf | Sc=0.44 | Loc=(26.9,34.0)"}));
    const auto contents = sheet_contents(dir / "out" / "report.pdf", 1);
    EXPECT_EQ(count_of(contents, " Do"), 2);
    EXPECT_EQ(count_of(contents, "20.00 421.00 277.50 401.00 re S"), 1);
    EXPECT_EQ(outline_of(qpdf_json(dir / "out" / "report.pdf")),
              (std::vector<std::pair<std::string, int>>{{"a.pdf", 1}, {"b.pdf", 1}}));
}

TEST(GridpageMerge, FileWithoutPagesGetsNoCellAndNoOutlineEntry) {
    TempDir dir;
    write_file(dir / "in" / "a.pdf", labelled_pdf("a", 1));
    write_file(dir / "in" / "b.pdf", build_pdf(PdfDocument{}));
    write_file(dir / "in" / "c.pdf", labelled_pdf("c", 1));
    write_config(dir, two_by_two());
    const auto result = run_merge(dir);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(log_messages(result.err, "ERROR").empty()) << result.err;
    const auto report = qpdf_json(dir / "out" / "report.pdf");
    ASSERT_EQ(report["pages"].size(), 1u);
    EXPECT_EQ(outline_of(report),
              (std::vector<std::pair<std::string, int>>{{"a.pdf", 1}, {"c.pdf", 1}}));
    const auto words = words_of(dir / "out" / "report.pdf", 1);
    EXPECT_EQ(texts(words_in_cell(words, 297.5, 421)), "c 1");  // slot 1, right after a.pdf
}

TEST(GridpageMerge, PageThatFailsWhenStartingASheetLeavesThatSheetEmpty) {
    TempDir dir;
    PdfDocument broken;
    PdfPage no_box;
    no_box.media_box.reset();
    no_box.content = text_operators("lost", 60, 300);
    broken.pages.push_back(no_box);
    broken.pages.push_back(no_box);
    write_file(dir / "in" / "a.pdf", labelled_pdf("first", 1));
    write_file(dir / "in" / "b.pdf", build_pdf(broken));
    write_file(dir / "in" / "c.pdf", labelled_pdf("last", 1));
    write_config(dir, {{"input_folder", "in"}, {"output_file", "report.pdf"},
                       {"layout", {{"cols", 1}, {"rows", 1}}}});
    const auto result = run_merge(dir);
    ASSERT_EQ(result.status, 0) << result.err;
    const auto errors = log_messages(result.err, "ERROR");
    ASSERT_EQ(errors.size(), 1u) << result.err;
    EXPECT_EQ(errors[0].rfind("Failed b.pdf: ", 0), 0u) << errors[0];
    const auto report = qpdf_json(dir / "report.pdf");
    ASSERT_EQ(report["pages"].size(), 3u);
    EXPECT_EQ(outline_of(report),
              (std::vector<std::pair<std::string, int>>{{"a.pdf", 1}, {"c.pdf", 3}}));
    EXPECT_EQ(sheet_contents(dir / "report.pdf", 2).find(" Do"), std::string::npos);
    EXPECT_NE(sheet_text(dir / "report.pdf", 3).find("last 1"), std::string::npos);
}

TEST(GridpageMerge, OutputInsideTheInputFolderIsLeftOutOfTheInputs) {
    TempDir dir;
    write_file(dir / "in" / "a.pdf", labelled_pdf("a", 1));
    write_file(dir / "in" / "z.pdf", labelled_pdf("z", 1));
    write_config(dir, {{"input_folder", "in"}, {"output_file", "in/merged_report.pdf"}});
    ASSERT_EQ(run_merge(dir).status, 0);
    const auto second = run_merge(dir);
    ASSERT_EQ(second.status, 0) << second.err;
    const auto infos = log_messages(second.err, "INFO");
    ASSERT_GE(infos.size(), 2u);
    EXPECT_NE(infos[1].find("merged_report.pdf"), std::string::npos) << infos[1];
    EXPECT_EQ(infos[2], "[STEP 1] Processing 2 files...");
    const auto report = qpdf_json(dir / "in" / "merged_report.pdf");
    EXPECT_EQ(report["pages"].size(), 1u);
    EXPECT_EQ(outline_of(report),
              (std::vector<std::pair<std::string, int>>{{"a.pdf", 1}, {"z.pdf", 1}}));
}

TEST(GridpageMerge, NoPdfFilesOrNoFolderWritesNothing) {
    TempDir dir;
    write_file(dir / "in" / "readme.txt", "x");
    write_config(dir, {{"input_folder", "in"}, {"output_file", "out/r.pdf"}});
    auto result = run_merge(dir);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(log_messages(result.err, "WARNING"),
              std::vector<std::string>{"No PDF files found to merge."});
    EXPECT_FALSE(fs::exists(dir / "out"));

    write_config(dir, {{"input_folder", "missing"}, {"output_file", "out/r.pdf"}});
    result = run_merge(dir);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(log_messages(result.err, "ERROR"),
              std::vector<std::string>{"Error: Input folder not found: missing"});
    EXPECT_EQ(log_messages(result.err, "WARNING"),
              std::vector<std::string>{"No PDF files found to merge."});
    EXPECT_FALSE(fs::exists(dir / "out"));

    // Run from another folder, the relative path is taken from there, and the log says so
    // right after the error.
    fs::create_directory(dir / "elsewhere");
    result = run_torvane({"gridpage", "-c", "../merge.json"}, dir / "elsewhere");
    const auto lines = lines_of(result.err);
    const auto error = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
        return log_message(line) == "Error: Input folder not found: missing";
    });
    ASSERT_NE(error, lines.end()) << result.err;
    ASSERT_NE(error + 1, lines.end()) << result.err;
    EXPECT_EQ(log_message(*(error + 1)), "Looked for '" + (dir / "elsewhere" / "missing").string() +
                                             "' (current folder: '" +
                                             (dir / "elsewhere").string() + "')");
    EXPECT_NE((error + 1)->find(" INFO "), std::string::npos) << *(error + 1);
}

TEST(GridpageSave, OutputFoldersAreCreatedAndAnEarlierReportIsReplaced) {
    TempDir dir;
    write_file(dir / "in" / "a.pdf", labelled_pdf("a", 1));
    write_config(dir, {{"input_folder", "in"}, {"output_file", "out/a/b/r.pdf"}});
    auto result = run_merge(dir);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "Success: out/a/b/r.pdf\n");
    EXPECT_EQ(qpdf_json(dir / "out" / "a" / "b" / "r.pdf")["pages"].size(), 1u);

    write_file(dir / "merged.pdf", "an earlier report");
    write_config(dir, {{"input_folder", "in"}, {"output_file", "merged.pdf"}});
    result = run_merge(dir);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "Success: merged.pdf\n");
    EXPECT_EQ(qpdf_json(dir / "merged.pdf")["pages"].size(), 1u);
    // Nothing but the report itself is left beside it.
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"in", "merge.json", "merged.pdf", "out"}));
}

TEST(GridpageSave, FailedSaveIsLoggedAndLeavesTheEarlierReportIntact) {
    TempDir dir;
    PdfDocument big;
    for (unsigned i = 0; i < 40; ++i) {
        PdfPage page;
        page.content = text_operators(noise(3000, i), 10, 400, 4);
        big.pages.push_back(page);
    }
    write_file(dir / "in" / "a.pdf", build_pdf(big));
    write_file(dir / "out" / "r.pdf", "an earlier report");
    write_config(dir, {{"input_folder", "in"}, {"output_file", "out/r.pdf"}});
    // A file size limit of 8 KiB makes writing the report fail part way.
    const auto result = run_program(
        "/bin/bash",
        {"-c", "trap '' XFSZ; ulimit -f 8; exec \"$0\" gridpage -c merge.json",
         torvane_binary().string()},
        dir.path());
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "");
    const auto errors = log_messages(result.err, "ERROR");
    ASSERT_EQ(errors.size(), 1u) << result.err;
    EXPECT_EQ(errors[0].rfind("Save failed: ", 0), 0u) << errors[0];
    EXPECT_EQ(read_file(dir / "out" / "r.pdf"), "an earlier report");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "out"), fs::directory_iterator()), 1);
}

TEST(GridpageSave, AFileInThePlaceOfTheOutputFolderIsASaveFailure) {
    TempDir dir;
    write_file(dir / "in" / "a.pdf", labelled_pdf("a", 1));
    write_file(dir / "out", "a file, not a folder");
    write_config(dir, {{"input_folder", "in"}, {"output_file", "out/r.pdf"}});
    auto result = run_merge(dir);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    const auto errors = log_messages(result.err, "ERROR");
    ASSERT_EQ(errors.size(), 1u) << result.err;
    EXPECT_EQ(errors[0].rfind("Save failed: ", 0), 0u);
    EXPECT_EQ(read_file(dir / "out"), "a file, not a folder");

    // A parent further up that is a file stops the run before anything is written.
    write_config(dir, {{"input_folder", "in"}, {"output_file", "out/sub/r.pdf"}});
    result = run_merge(dir);
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("Error: cannot create the folder 'out/sub'"), std::string::npos)
        << result.err;
}

namespace {

// The form XObjects that sheet `page` (1-based) of `report` draws, as object references.
std::vector<std::string> sheet_forms(const nlohmann::json& report, int page) {
    const auto id = report["pages"][static_cast<std::size_t>(page - 1)]["object"].get<std::string>();
    const auto& objects = report["qpdf"][1];
    const auto& value = objects["obj:" + id]["value"];
    std::vector<std::string> forms;
    for (const auto& [name, ref] : value["/Resources"]["/XObject"].items()) {
        forms.push_back(ref.get<std::string>());
    }
    return forms;
}

}  // namespace

TEST(GridpageMerge, SharedAndSplitContentStreamsAreDrawnPerPage) {
    TempDir dir;
    // Pages 1 to 3 share one content stream with a marker at (100, 100) and one at (400, 400);
    // page 1 and 3 crop to the first, page 2 to the second. Page 4 draws the first marker from
    // two content streams split in the middle of an operation.
    const std::string markers = marker_operators(100, 100) + marker_operators(400, 400);
    const std::string page = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources 4 0 R ";
    write_file(dir / "in" / "a.pdf",
               pdf_file({"<< /Type /Catalog /Pages 2 0 R >>",
                         "<< /Type /Pages /Kids [5 0 R 6 0 R 7 0 R 8 0 R] /Count 4 >>",
                         stream_object("", markers), "<< >>",
                         page + "/CropBox [0 0 300 300] /Contents 3 0 R >>",
                         page + "/CropBox [300 300 595 842] /Contents 3 0 R >>",
                         page + "/CropBox [0 0 300 300] /Contents 3 0 R >>",
                         page + "/CropBox [0 0 300 300] /Contents [9 0 R 10 0 R] >>",
                         stream_object("", "0 0 0 rg 97 97"), stream_object("", "6 6 re f")}));
    write_config(dir, {{"input_folder", "in"}, {"output_file", "report.pdf"},
                       {"layout", {{"cols", 1}, {"rows", 1}}}});
    const auto result = run_merge(dir);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(viewer_complaints(dir / "report.pdf"), "");

    const auto report = qpdf_json(dir / "report.pdf");
    ASSERT_EQ(report["pages"].size(), 4u);
    const auto first = sheet_forms(report, 1);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(sheet_forms(report, 3), first);  // same stream, box and resources: one form
    EXPECT_NE(sheet_forms(report, 2), first);

    // Each crop box of 300 by 300 or 295 by 542 is scaled up into the 555 by 802 cell; the
    // marker it holds lands at its place in the box, the other is clipped away.
    const double s13 = 0.95 * 555 / 300;
    const double s2 = 0.95 * std::min(555 / 295.0, 802 / 542.0);
    const std::vector<std::tuple<int, double, double, double>> expected{
        {1, s13, 100, 100}, {2, s2, 100, 100}, {3, s13, 100, 100}, {4, s13, 100, 100}};
    for (const auto& [sheet, s, u, v] : expected) {
        const double w = sheet == 2 ? 295 : 300;
        const double h = sheet == 2 ? 542 : 300;
        const double dx = 20 + (555 - w * s) / 2;
        const double dy = 20 + (802 - h * s) / 2;
        const auto spot = dark_spot(render_sheet(dir / "report.pdf", sheet));
        EXPECT_NEAR(spot.x, dx + s * u, 1.0) << "sheet " << sheet;
        EXPECT_NEAR(spot.y, dy + s * v, 1.0) << "sheet " << sheet;
        EXPECT_NEAR(spot.count, 36 * s * s, 24 * s + 4) << "sheet " << sheet;
    }
}

TEST(GridpageMerge, MalformedBoxOrRotationEntriesAreReadAsViewersDo) {
    TempDir dir;
    PdfDocument document;
    PdfPage bad_crop;
    bad_crop.crop_box = "0 0 /Wide 842";
    bad_crop.content = text_operators("crop", 60, 300);
    document.pages.push_back(bad_crop);
    PdfPage bad_rotate;
    bad_rotate.rotate = "/Ninety";
    bad_rotate.content = text_operators("rotate", 60, 300);
    document.pages.push_back(bad_rotate);
    PdfPage real_rotate;
    real_rotate.rotate = "90.0";
    real_rotate.content = text_operators("real", 60, 300);
    document.pages.push_back(real_rotate);
    write_file(dir / "in" / "a.pdf", build_pdf(document));
    write_config(dir, two_by_two());
    const auto result = run_merge(dir, true);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(log_messages(result.err, "ERROR").empty()) << result.err;
    // The media box (A4) stands in for the crop box; /Ninety counts as no rotation; a real
    // number 90.0 is a quarter turn like 90.
    EXPECT_EQ(log_messages(result.err, "DEBUG"),
              (std::vector<std::string>{"    Pg0: a.pdf | Sc=0.44 | Loc=(26.9,435.0)",
                                        "    Pg1: a.pdf | Sc=0.44 | Loc=(304.4,435.0)",
                                        "    Pg2: a.pdf | Sc=0.31 | Loc=(26.9,127.4)"}));
}
