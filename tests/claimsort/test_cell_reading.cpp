#include <gtest/gtest.h>

#include <chrono>

#include "claim_workbooks.hpp"
#include "test_support.hpp"
#include "helmkit/text/utf8.hpp"
#include "torvane/claimsort/cell_reading.hpp"
#include "torvane/claimsort/claim_name.hpp"

using namespace torvane_test;
using claimsort_test::write_claim;
using helmkit::CellValue;
using torvane::claimsort::claim_file_name;
using torvane::claimsort::get_excel_cell_value;
using torvane::claimsort::sanitize_filename;

namespace {

std::vector<std::string> sanitized(const fs::path& path, const std::vector<std::string>& cells) {
    std::vector<std::string> texts;
    for (const auto& value : get_excel_cell_value(path.string(), cells)) {
        texts.push_back(sanitize_filename(value));
    }
    return texts;
}

}  // namespace

TEST(ClaimsortCellReading, TextFormsOfStoredValues) {
    TempDir dir;
    const auto path = dir / "forms.xlsx";
    write_claim(path, [](TestWorkbook& book, lxw_worksheet* sheet) {
        worksheet_write_number(sheet, 1, 0, 150, nullptr);
        worksheet_write_number(sheet, 1, 1, 12.5, nullptr);
        worksheet_write_number(sheet, 1, 2, 1e-05, nullptr);
        worksheet_write_number(sheet, 1, 3, 1.5e16, nullptr);
        worksheet_write_boolean(sheet, 1, 4, 1, nullptr);
        lxw_datetime midnight{2024, 3, 7, 0, 0, 0};
        worksheet_write_datetime(sheet, 1, 5, &midnight, book.number_format("yyyy-mm-dd"));
        lxw_datetime moment{2024, 3, 7, 14, 5, 9.25};
        worksheet_write_datetime(sheet, 1, 6, &moment, book.number_format("dd.mm.yyyy hh:mm"));
        worksheet_write_number(sheet, 1, 7, -7, nullptr);
    });
    EXPECT_EQ(sanitized(path, {"A2", "B2", "C2", "D2", "E2", "F2", "G2", "H2"}),
              (std::vector<std::string>{"150", "12.5", "1e-05", "1.5e+16", "True",
                                        "2024-03-07 000000", "2024-03-07 140509.250000", "-7"}));
}

TEST(ClaimsortCellReading, IntegerAndFractionStoredAmountsDiffer) {
    // libxlsxwriter writes the double 150.0 as "150"; openpyxl keeps what it is given. Only a
    // stored fraction part makes a real number, so a hand-written sheet shows both forms.
    TempDir dir;
    const auto path = dir / "amounts.xlsx";
    RawWorkbook raw;
    raw.sheets = {{"Claim", "<row r=\"1\"><c r=\"A1\"><v>150</v></c><c r=\"B1\"><v>150.0</v></c>"
                            "<c r=\"C1\"><v>12.50</v></c><c r=\"D1\"><v>1E-5</v></c></row>"}};
    write_zip(path, raw.parts());
    EXPECT_EQ(sanitized(path, {"A1", "B1", "C1", "D1"}),
              (std::vector<std::string>{"150", "150.0", "12.5", "1e-05"}));
}

TEST(ClaimsortCellReading, EmptyCellsAreMissingAndEmptyTextsAreNotWithoutALogLine) {
    TempDir dir;
    const auto path = dir / "sparse.xlsx";
    RawWorkbook raw;
    raw.shared_strings = "<si><t></t></si><si><t>Expense claim</t></si>";
    raw.sheets = {{"Claim", "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>1</v></c></row>"
                            "<row r=\"6\"><c r=\"D6\" t=\"s\"><v>0</v></c>"
                            "<c r=\"E6\" s=\"0\"/></row>"}};
    write_zip(path, raw.parts());
    testing::internal::CaptureStderr();
    const auto values = get_excel_cell_value(path.string(), {"D6", "P56", "A1", "E6"});
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(values, (std::vector<CellValue>{CellValue(std::string()), CellValue(),
                                              CellValue(std::string("Expense claim")),
                                              CellValue()}));
}

TEST(ClaimsortCellReading, FailuresGiveOneErrorLineAndAllMissing) {
    TempDir dir;
    write_file(dir / "broken.xlsx", "not a workbook");
    write_claim(dir / "good.xlsx", "Alpha", 1);
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases{
        {(dir / "broken.xlsx").string(), {"D6", "P56"}},
        {(dir / "missing.xlsx").string(), {"D6", "P56"}},
        {(dir / "good.xlsx").string(), {"D6", "P"}},
        {(dir / "good.xlsx").string(), {"D6", "56", "A1"}},
    };
    for (const auto& [file, cells] : cases) {
        testing::internal::CaptureStderr();
        const auto values = get_excel_cell_value(file, cells);
        const auto errors = log_messages(testing::internal::GetCapturedStderr(), "ERROR");
        EXPECT_EQ(values, std::vector<CellValue>(cells.size())) << file;
        ASSERT_EQ(errors.size(), 1u) << file;
        EXPECT_EQ(errors[0].rfind("Error reading excel " + file + ": ", 0), 0u) << errors[0];
    }
}

TEST(ClaimsortCellReading, HostileWorkbooksEndQuickly) {
    // A 50 MB attribute in a few kilobytes: refused with the error line, in well under a second.
    TempDir dir;
    const auto long_tag = dir / "long_tag.xlsx";
    RawWorkbook raw;
    raw.sheets = {{"Claim", "@@"}};
    raw.shared_strings = "<si><t>Alpha</t></si>";
    write_repeating_workbook(long_tag, raw, "<row r=\"6\"><c r=\"D6\" x=\"",
                             std::string(50 * 1024, 'a'), 1000, "\" t=\"s\"><v>0</v></c></row>");
    testing::internal::CaptureStderr();
    const auto values = get_excel_cell_value(long_tag.string(), {"D6", "P56"});
    const auto errors = log_messages(testing::internal::GetCapturedStderr(), "ERROR");
    EXPECT_EQ(values, std::vector<CellValue>(2));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("longer than 1048576 bytes"), std::string::npos) << errors[0];

    // 900 MB of shared strings of which the two cells need one: read at once.
    const auto strings = dir / "strings.xlsx";
    raw.sheets = {{"Claim", "<row r=\"6\"><c r=\"D6\" t=\"s\"><v>1</v></c></row>"
                            "<row r=\"56\"><c r=\"P56\"><v>99.5</v></c></row>"}};
    raw.shared_strings = "@@";
    std::string piece;
    for (int i = 0; i < 60'000; ++i) piece += "<si><t>a shared string</t></si>";
    write_repeating_workbook(strings, raw, "<si><t>x</t></si><si><t>Bravo</t></si>", piece, 500,
                             "");
    EXPECT_EQ(sanitized(strings, {"D6", "P56"}), (std::vector<std::string>{"Bravo", "99.5"}));
}

TEST(ClaimsortSanitizing, RemovesNineCharactersAndTrimsWhiteSpace) {
    auto text = [](const char* value) { return sanitize_filename(CellValue(std::string(value))); };
    EXPECT_EQ(text("  Bra / vo: X  "), "Bra  vo X");
    EXPECT_EQ(text("a\\b/c*d?e:f\"g<h>i|j"), "abcdefghij");
    EXPECT_EQ(text("***"), "");
    EXPECT_EQ(text("\xe3\x80\x80Ünïcödé Name\xc2\xa0\t"), "Ünïcödé Name");
    EXPECT_EQ(text("keeps.points,commas CASE"), "keeps.points,commas CASE");
    EXPECT_EQ(text(" : "), "");
    EXPECT_EQ(sanitize_filename(CellValue()), "Unknown");
    EXPECT_EQ(sanitize_filename(CellValue(std::string())), "");
    EXPECT_EQ(sanitize_filename(CellValue(true)), "True");
    EXPECT_EQ(sanitize_filename(CellValue(-2.5)), "-2.5");
}

TEST(ClaimsortSanitizing, RemovesControlsBidiControlsAndBytesThatAreNotUtf8) {
    auto text = [](const std::string& value) { return sanitize_filename(CellValue(value)); };
    EXPECT_EQ(text("\x1b]2;Owned\x07Title"), "]2;OwnedTitle");
    EXPECT_EQ(text("\x1b[31mRed\x1b[0m"), "[31mRed[0m");
    EXPECT_EQ(text(std::string("Nul\0Byte", 8)), "NulByte");
    EXPECT_EQ(text("Tab\tLine\nFeed\rDel\x7f"), "TabLineFeedDel");
    EXPECT_EQ(text("C1\xc2\x80\xc2\x9b\xc2\x9f" "end\xc2\xa0x"), "C1end\xc2\xa0x");
    EXPECT_EQ(text("\xe2\x80\xae" "evil\xe2\x80\xaa\xe2\x80\xac\xe2\x81\xa6\xe2\x81\xa9.exe"),
              "evil.exe");
    EXPECT_EQ(text("Half\xed\xa0\x80Surrogate\xff"), "HalfSurrogate");
    // Neighbours of the removed ranges stay: U+2029 (trimmed only at the ends), U+202F, U+2065,
    // U+206A, joiners inside emoji.
    EXPECT_EQ(text("a\xe2\x80\xa9" "b\xe2\x80\xaf" "c\xe2\x81\xa5" "d\xe2\x81\xaa" "e"),
              "a\xe2\x80\xa9" "b\xe2\x80\xaf" "c\xe2\x81\xa5" "d\xe2\x81\xaa" "e");
    EXPECT_EQ(text("\xf0\x9f\x91\xa9\xe2\x80\x8d\xf0\x9f\x92\xbb"),
              "\xf0\x9f\x91\xa9\xe2\x80\x8d\xf0\x9f\x92\xbb");
    EXPECT_EQ(text(" \x1b \x01 "), "");
}

TEST(ClaimsortFileName, CutToFitWithTheAmountStampAndExtensionKept) {
    const std::string stamp = "0307_14050943";
    EXPECT_EQ(claim_file_name("Alpha", "120.5", stamp), "Alpha_120.5_0307_14050943.xlsx");

    // With room for "_9999" before the extension, the longest name is 250 bytes.
    const auto ascii = claim_file_name(std::string(300, 'N'), "1", stamp);
    EXPECT_EQ(ascii, std::string(250 - 21, 'N') + "_1_" + stamp + ".xlsx");

    std::string cjk;
    for (int i = 0; i < 90; ++i) cjk += "\xe5\x9b\xb3";  // 270 bytes
    const auto cut = claim_file_name(cjk, "42", stamp);
    EXPECT_LE(cut.size(), 250u);
    EXPECT_EQ(helmkit::find_invalid_utf8(cut), std::string::npos) << cut;
    EXPECT_EQ(cut.substr(cut.size() - 22), "_42_" + stamp + ".xlsx");
    EXPECT_EQ((cut.size() - 22) % 3, 0u);
    EXPECT_EQ(cut.size() - 22, 228u / 3 * 3);

    // 250 bytes exactly are kept; a blank the cut leaves at the end goes.
    const std::string fits(250 - 21, 'F');
    EXPECT_EQ(claim_file_name(fits, "1", stamp).size(), 250u);
    EXPECT_EQ(claim_file_name(std::string(228, 'B') + " tail", "1", stamp),
              std::string(228, 'B') + "_1_" + stamp + ".xlsx");

    // An amount too long on its own is cut as well; the stamp and the extension stay.
    const auto amount = claim_file_name("Name", std::string(400, '9'), stamp);
    EXPECT_EQ(amount, "_" + std::string(250 - 20, '9') + "_" + stamp + ".xlsx");
}
