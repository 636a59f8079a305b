#include <gtest/gtest.h>

#include "gridpage_fixture.hpp"

using namespace gridpage_test;

namespace {

// A valid one-page document whose page shows `label`.
std::string good_pdf(const std::string& label) { return labelled_pdf(label, 1); }

// The document with its startxref pointing into nowhere: qpdf rebuilds the table.
std::string wrong_xref_offset(const std::string& label) {
    auto pdf = good_pdf(label);
    const auto at = pdf.rfind("startxref\n");
    return pdf.substr(0, at) + "startxref\n99999\n%%EOF\n";
}

// A stream whose /Length is too short: qpdf finds "endstream" itself.
std::string wrong_stream_length(const std::string& label) {
    const std::string content = text_operators(label + " 1", 60, 300, 60);
    return pdf_file({"<< /Type /Catalog /Pages 2 0 R >>",
                     "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                     "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R "
                     "/Resources << /Font << /F1 5 0 R >> >> >>",
                     "<< /Length 5 >>\nstream\n" + content + "\nendstream",
                     "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"});
}

// A page tree whose node lists itself among its kids.
std::string page_tree_loop() {
    return pdf_file({"<< /Type /Catalog /Pages 2 0 R >>",
                     "<< /Type /Pages /Kids [2 0 R 3 0 R] /Count 2 >>",
                     "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R >>",
                     stream_object("", "0 0 m 100 100 l S")});
}

// A page that inherits its boxes from a parent chain that leads back to itself.
std::string parent_loop() {
    return pdf_file({"<< /Type /Catalog /Pages 2 0 R >>",
                     "<< /Type /Pages /Kids [3 0 R] /Count 1 /Parent 5 0 R >>",
                     "<< /Type /Page /Parent 2 0 R /Contents 4 0 R >>",
                     stream_object("", "0 0 m 100 100 l S"),
                     "<< /Type /Pages /Kids [] /Count 0 /Parent 2 0 R >>"});
}

// A page whose resources hold a value nested `depth` deep in arrays (or dictionaries).
std::string deeply_nested(int depth, bool dictionaries) {
    std::string value;
    for (int i = 0; i < depth; ++i) value += dictionaries ? "<< /A " : "[";
    for (int i = 0; i < depth; ++i) value += dictionaries ? " >>" : "]";
    return pdf_file({"<< /Type /Catalog /Pages 2 0 R >>",
                     "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                     "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R "
                     "/Resources << /X " + value + " >> >>",
                     stream_object("", "0 0 m 100 100 l S")});
}

// Encrypts `plain` with the qpdf command; an empty user password opens it without asking.
void encrypt(const fs::path& plain, const fs::path& target, const std::string& user_password) {
    const auto result = run_program("/usr/bin/qpdf",
                                    {"--encrypt", user_password, "owner-secret", "256", "--",
                                     plain.string(), target.string()},
                                    plain.parent_path());
    ASSERT_EQ(result.status, 0) << result.err;
}

}  // namespace

// Every kind of bad input gets its own outcome, and none stops the files after it.
TEST(GridpageDamagedInputs, BadFilesAreReportedOrRepairedAndTheRunGoesOn) {
    TempDir dir;
    const auto in = dir / "in";
    write_file(in / "01_good.pdf", good_pdf("first"));
    write_file(in / "02_xref.pdf", wrong_xref_offset("xref"));
    write_file(in / "03_length.pdf", wrong_stream_length("length"));
    write_file(dir / "plain.pdf", good_pdf("secret"));
    encrypt(dir / "plain.pdf", in / "04_open_encrypted.pdf", "");
    encrypt(dir / "plain.pdf", in / "05_locked.pdf", "user-secret");
    write_file(in / "06_text.pdf", "This is a plain text file with a .pdf name.\n");
    write_file(in / "07_empty.pdf", "");
    write_file(in / "08_truncated.pdf", good_pdf("cut").substr(0, 120));
    write_file(in / "09_tree_loop.pdf", page_tree_loop());
    write_file(in / "10_parent_loop.pdf", parent_loop());
    write_file(in / "11_last.pdf", good_pdf("last"));
    write_config(dir, {{"input_folder", "in"}, {"output_file", "report.pdf"},
                       {"layout", {{"cols", 1}, {"rows", 1}}}});

    const auto result = run_merge(dir);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "Success: report.pdf\n");
    // Nothing from qpdf reaches the console except through the tool's log lines.
    for (const auto& line : lines_of(result.err)) {
        EXPECT_NE(log_message(line), line) << "not a log line: " << line;
    }

    const auto errors = log_messages(result.err, "ERROR");
    const std::vector<std::string> failed{"05_locked.pdf", "06_text.pdf", "07_empty.pdf",
                                          "08_truncated.pdf", "09_tree_loop.pdf",
                                          "10_parent_loop.pdf"};
    ASSERT_EQ(errors.size(), failed.size()) << result.err;
    for (std::size_t i = 0; i < failed.size(); ++i) {
        const auto prefix = "Failed " + failed[i] + ": ";
        EXPECT_EQ(errors[i].rfind(prefix, 0), 0u) << errors[i];
        EXPECT_GT(errors[i].size(), prefix.size() + 5) << errors[i];
    }
    EXPECT_NE(errors[0].find("password"), std::string::npos) << errors[0];

    // Repaired files are merged with warnings naming them.
    const auto warnings = log_messages(result.err, "WARNING");
    for (const auto& name : {"02_xref.pdf: ", "03_length.pdf: "}) {
        EXPECT_TRUE(std::any_of(warnings.begin(), warnings.end(), [&](const std::string& line) {
            return line.rfind(name, 0) == 0;
        })) << name << " in\n" << result.err;
    }

    const auto report = qpdf_json(dir / "report.pdf");
    EXPECT_EQ(outline_of(report), (std::vector<std::pair<std::string, int>>{
                                      {"01_good.pdf", 1}, {"02_xref.pdf", 2}, {"03_length.pdf", 3},
                                      {"04_open_encrypted.pdf", 4}, {"11_last.pdf", 6}}));
    // 10_parent_loop.pdf failed on its first page after that page had started sheet 5.
    ASSERT_EQ(report["pages"].size(), 6u);
    EXPECT_EQ(sheet_contents(dir / "report.pdf", 5), "");
    EXPECT_FALSE(report["encrypt"]["encrypted"].get<bool>());
    const std::vector<std::pair<int, std::string>> labels{
        {1, "first 1"}, {2, "xref 1"}, {3, "length 1"}, {4, "secret 1"}, {6, "last 1"}};
    for (const auto& [sheet, label] : labels) {
        EXPECT_NE(sheet_text(dir / "report.pdf", sheet).find(label), std::string::npos)
            << "sheet " << sheet;
    }
    EXPECT_EQ(viewer_complaints(dir / "report.pdf"), "");
}

TEST(GridpageDamagedInputs, AllFilesFailingStillWritesAReportWithoutPages) {
    TempDir dir;
    write_file(dir / "in" / "a.pdf", "garbage");
    write_file(dir / "in" / "b.pdf", page_tree_loop());
    write_config(dir, {{"input_folder", "in"}, {"output_file", "out/report.pdf"}});
    const auto result = run_merge(dir);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "Success: out/report.pdf\n");
    EXPECT_EQ(log_messages(result.err, "ERROR").size(), 2u) << result.err;
    const auto report = qpdf_json(dir / "out" / "report.pdf");
    EXPECT_TRUE(report["pages"].empty());
    EXPECT_TRUE(report["outlines"].empty());
    const auto check = run_program("/usr/bin/qpdf", {"--check", "out/report.pdf"}, dir.path());
    EXPECT_EQ(check.status, 0) << check.out << check.err;
}

TEST(GridpageDamagedInputs, InputFilesAreNeverChanged) {
    TempDir dir;
    const std::vector<std::pair<std::string, std::string>> inputs{
        {"a.pdf", good_pdf("a")}, {"b.pdf", wrong_xref_offset("b")}, {"c.pdf", "not a pdf"}};
    for (const auto& [name, bytes] : inputs) write_file(dir / "in" / name, bytes);
    write_config(dir, {{"input_folder", "in"}, {"output_file", "in/report.pdf"}});
    ASSERT_EQ(run_merge(dir).status, 0);
    ASSERT_EQ(run_merge(dir).status, 0);
    for (const auto& [name, bytes] : inputs) EXPECT_EQ(read_file(dir / "in" / name), bytes) << name;
}

// Pages that would vanish from their cell or that qpdf cannot read say what is wrong, naming
// the file and page; the pages and files around them are merged.
TEST(GridpageDamagedInputs, PagesThatCannotBeDrawnSayWhatIsWrong) {
    TempDir dir;
    const auto in = dir / "in";
    PdfDocument huge;
    huge.pages.resize(2);
    huge.pages[0].content = text_operators("before 1", 60, 300, 60);
    huge.pages[1].media_box = "-2147483648 -2147483648 2147483647 2147483647";
    write_file(in / "01_huge.pdf", build_pdf(huge));
    // Large, but its scale is still written: it is drawn.
    write_file(in / "02_large.pdf", labelled_pdf("large", 1, "0 0 200000 200000"));
    write_file(in / "03_deep_arrays.pdf", deeply_nested(5000, false));
    write_file(in / "04_deep_dictionaries.pdf", deeply_nested(5000, true));
    // Within qpdf's bound of 500 levels (page and resources dictionaries included).
    write_file(in / "05_nested.pdf", deeply_nested(400, false));
    write_file(in / "06_last.pdf", good_pdf("last"));
    write_config(dir, {{"input_folder", "in"}, {"output_file", "report.pdf"},
                       {"layout", {{"cols", 1}, {"rows", 1}}}});

    const auto result = run_merge(dir);
    ASSERT_EQ(result.status, 0) << result.err;
    const std::string too_deep =
        " cannot be read: its data nests deeper than the 500 levels of arrays and dictionaries "
        "the PDF reader takes";
    const std::vector<std::string> expected{
        "Failed 01_huge.pdf: page 2: its box of 4294967295 by 4294967295 points is too large to be "
        "scaled into a cell (the scale 1.2276e-07 is written as 0)",
        "Failed 03_deep_arrays.pdf: page 1" + too_deep,
        "Failed 04_deep_dictionaries.pdf: page 1" + too_deep};
    EXPECT_EQ(log_messages(result.err, "ERROR"), expected) << result.err;

    const auto report = qpdf_json(dir / "report.pdf");
    ASSERT_EQ(report["pages"].size(), 7u);
    EXPECT_NE(sheet_text(dir / "report.pdf", 1).find("before 1"), std::string::npos);
    EXPECT_NE(sheet_text(dir / "report.pdf", 7).find("last 1"), std::string::npos);
    for (int sheet = 1; sheet <= 7; ++sheet) {
        EXPECT_EQ(sheet_contents(dir / "report.pdf", sheet).find("q 0 0 0 0 "), std::string::npos) << sheet;
    }
    EXPECT_NE(sheet_contents(dir / "report.pdf", 3).find(" cm /Fx"), std::string::npos);
    EXPECT_NE(sheet_contents(dir / "report.pdf", 6).find(" cm /Fx"), std::string::npos);
}
