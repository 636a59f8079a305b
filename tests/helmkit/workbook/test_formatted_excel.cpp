#include <gtest/gtest.h>

#include <chrono>
#include <map>

#include "helmkit/base/error.hpp"
#include "helmkit/files/file_mg.hpp"
#include "helmkit/workbook/excel_tools.hpp"
#include "helmkit/workbook/xlsx_reader.hpp"
#include "table/cell_builders.hpp"
#include "test_support.hpp"
#include "workbook_files.hpp"

using namespace torvane_test;
using helmkit::CellValue;
using helmkit::Table;
using helmkit::excelTools::SheetsData;
using helmkit::excelTools::write_formatted_excel;
using namespace cell_builders;

namespace {

std::map<std::string, CellValue> active_sheet(const fs::path& path) {
    std::map<std::string, CellValue> cells;
    helmkit::XlsxReader(path).for_each_cell(
        [&](std::uint32_t row, std::uint32_t column, const CellValue& value) {
            cells[std::string(1, static_cast<char>('A' + column - 1)) + std::to_string(row)] = value;
            return true;
        });
    return cells;
}

// Writes and returns whether it worked, with the message of the failure, and that nothing was
// logged: the failure is the caller's to report.
std::pair<bool, std::vector<std::string>> write(const fs::path& path, const SheetsData& sheets) {
    testing::internal::CaptureStderr();
    std::pair<bool, std::vector<std::string>> result{true, {}};
    try {
        write_formatted_excel(path, sheets);
    } catch (const helmkit::Error& error) {
        result = {false, {error.what()}};
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    return result;
}

}  // namespace

TEST(FormattedExcel, BlocksValuesAndDatesReadBack) {
    TempDir dir;
    const auto result = table_of({
        {"PO", {whole(4500001), text("00123")}},
        {"QTY", {CellValue(2.5), CellValue()}},
        {"RDD", {text("2024-01-15"), text("2024-02-30")}},
        {"WHEN", {CellValue(at(2024, 3, 1, 8)), CellValue(at(2024, 3, 2))}},
        {"OK", {CellValue(true), CellValue(false)}},
    });
    Table summary;
    summary.set_row_labels({"SYS_RDD", "CUS_RDD"});
    summary.add_column("24-Jan", {whole(5), whole(0)});
    const auto [written, errors] =
        write(dir / "r.xlsx", {{"first", {{&result, false, 0}, {&summary, true, 7}}},
                               {"second", {{&summary, true, 0}}}});
    ASSERT_TRUE(written) << (errors.empty() ? "" : errors[0]);
    const auto cells = active_sheet(dir / "r.xlsx");
    const std::map<std::string, CellValue> expected{
        {"A1", text("PO")},        {"B1", text("QTY")},        {"C1", text("RDD")},
        {"D1", text("WHEN")},      {"E1", text("OK")},         {"A2", whole(4500001)},
        {"B2", CellValue(2.5)},    {"C2", CellValue(at(2024, 1, 15))},
        {"D2", CellValue(at(2024, 3, 1, 8))},                  {"E2", CellValue(true)},
        {"A3", text("00123")},     {"C3", text("2024-02-30")}, {"D3", CellValue(at(2024, 3, 2))},
        {"E3", CellValue(false)},  {"I1", text("24-Jan")},     {"H2", text("SYS_RDD")},
        {"H3", text("CUS_RDD")},   {"I2", whole(5)},           {"I3", whole(0)}};
    EXPECT_EQ(cells, expected);
}

TEST(FormattedExcel, SheetBeyondTheRowLimitFailsAndLeavesTheTargetAlone) {
    TempDir dir;
    write_file(dir / "big.xlsx", "earlier");
    const auto big = table_of({{"n", std::vector<CellValue>(1'048'576, whole(1))}});
    const auto [written, errors] = write(dir / "big.xlsx", {{"s", {{&big, false, 0}}}});
    EXPECT_FALSE(written);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("big.xlsx"), std::string::npos) << errors[0];
    EXPECT_NE(errors[0].find("1,048,576"), std::string::npos) << errors[0];
    EXPECT_EQ(read_file(dir / "big.xlsx"), "earlier");
    EXPECT_EQ(helmkit::fileMg::list_folder_names(dir.path()), std::vector<std::string>{"big.xlsx"});

    const auto fits = table_of({{"n", std::vector<CellValue>(1'048'575, whole(1))}});
    EXPECT_TRUE(write(dir / "fits.xlsx", {{"s", {{&fits, false, 0}}}}).first);
}

TEST(FormattedExcel, OtherFailuresThrowWithTheReason) {
    TempDir dir;
    const auto table = table_of({{"a", {whole(1)}}});
    const auto wide = table_of({{"a", {whole(1)}}});
    std::string long_text(40000, 'x');
    const auto too_long = table_of({{"a", {CellValue(long_text)}}});
    const std::vector<std::pair<std::string, SheetsData>> cases{
        {"invalid", {{"bad/name", {{&table, false, 0}}}}},
        {"duplicate", {{"s", {{&table, false, 0}}}, {"S", {{&table, false, 0}}}}},
        {"16,384", {{"s", {{&wide, false, 16384}}}}},
        {"32,767", {{"s", {{&too_long, false, 0}}}}},
    };
    for (const auto& [reason, sheets] : cases) {
        const auto [written, errors] = write(dir / "x.xlsx", sheets);
        EXPECT_FALSE(written) << reason;
        ASSERT_EQ(errors.size(), 1u) << reason;
        EXPECT_FALSE(fs::exists(dir / "x.xlsx")) << reason;
    }
    const auto [written, errors] = write(dir / "missing" / "x.xlsx", {{"s", {{&table, false, 0}}}});
    EXPECT_FALSE(written);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(helmkit::fileMg::list_folder_names(dir.path()), std::vector<std::string>{});
}

TEST(FormattedExcel, TextsKeepNulBytesAndLiteralEscapes) {
    TempDir dir;
    const std::string with_nul("SO-12\0" "345", 9);
    const auto table = table_of({{"T",
                                  {CellValue(with_nul), text("a_x0041_b"), text("_x004"),
                                   text("tab\tand_x000D_"), CellValue(std::string("\0", 1))}}});
    ASSERT_TRUE(write(dir / "t.xlsx", {{"s", {{&table, false, 0}}}}).first);
    const auto cells = active_sheet(dir / "t.xlsx");
    EXPECT_EQ(cells.at("A2"), CellValue(with_nul));
    EXPECT_EQ(cells.at("A3"), text("a_x0041_b"));
    EXPECT_EQ(cells.at("A4"), text("_x004"));
    EXPECT_EQ(cells.at("A5"), text("tab\tand_x000D_"));
    EXPECT_EQ(cells.at("A6"), CellValue(std::string("\0", 1)));
    // Stored as Excel stores them, so that other readers decode the same texts.
    const auto sheet = read_zip(dir / "t.xlsx").at("xl/worksheets/sheet1.xml");
    EXPECT_NE(sheet.find("SO-12_x0000_345"), std::string::npos);
    EXPECT_NE(sheet.find("a_x005F_x0041_b"), std::string::npos);
    EXPECT_NE(sheet.find(">_x004<"), std::string::npos);
}

// U+FFFE and U+FFFF are valid UTF-8 but XML may not hold them: written raw, they would make a
// workbook that no reader opens. Another reader must open the result and see the same texts.
TEST(FormattedExcel, CharactersXmlCannotHoldAreEscapedAndAnotherReaderOpensTheWorkbook) {
    TempDir dir;
    const std::string nonchars = "a\xEF\xBF\xBE" "b\xEF\xBF\xBF" "c";
    const std::string controls = "x\x01y\x1Fz\x0B";
    const std::string near = "\xEF\xBF\xBD\xEF\xBF\xBC";  // U+FFFD U+FFFC: allowed as they are
    Table table = table_of({{"T\xEF\xBF\xBF", {CellValue(nonchars), CellValue(controls),
                                                 CellValue(near)}}});
    table.set_row_labels({"\xEF\xBF\xBE", "r2", "r3"});
    ASSERT_TRUE(write(dir / "t.xlsx", {{"s", {{&table, true, 0}}}}).first);
    const auto cells = active_sheet(dir / "t.xlsx");
    EXPECT_EQ(cells.at("B1"), CellValue(std::string("T\xEF\xBF\xBF")));
    EXPECT_EQ(cells.at("A2"), CellValue(std::string("\xEF\xBF\xBE")));
    EXPECT_EQ(cells.at("B2"), CellValue(nonchars));
    EXPECT_EQ(cells.at("B3"), CellValue(controls));
    EXPECT_EQ(cells.at("B4"), CellValue(near));
    const auto sheet = read_zip(dir / "t.xlsx").at("xl/worksheets/sheet1.xml");
    EXPECT_NE(sheet.find("a_xFFFE_b_xFFFF_c"), std::string::npos);
    EXPECT_EQ(sheet.find("\xEF\xBF\xBE"), std::string::npos);
    EXPECT_EQ(sheet.find("\xEF\xBF\xBF"), std::string::npos);

    const fs::path python = "/usr/bin/python3";
    const auto probe = run_program(python, {"-c", "import openpyxl"}, dir.path());
    if (probe.status != 0) GTEST_SKIP() << "python3-openpyxl is not installed";
    // openpyxl shows the escapes as they are stored (Excel decodes them); what matters is that
    // its XML parser accepts the sheet at all.
    const auto opened = run_program(
        python,
        {"-c",
         "import sys, openpyxl\n"
         "sheet = openpyxl.load_workbook(sys.argv[1]).active\n"
         "for ref in ('B1', 'A2', 'B2', 'B4'):\n"
         "    print(ref, sheet[ref].value)\n",
         (dir / "t.xlsx").string()},
        dir.path());
    ASSERT_EQ(opened.status, 0) << opened.err;
    EXPECT_EQ(opened.out, "B1 T_xFFFF_\nA2 _xFFFE_\nB2 a_xFFFE_b_xFFFF_c\nB4 " + near + "\n");
}

TEST(FormattedExcel, ColumnChartBesideABlockOverItsRows) {
    TempDir dir;
    const auto result = table_of({{"PO", {whole(1), whole(2)}}, {"QTY", {whole(3), whole(4)}}});
    Table summary;
    summary.set_row_labels({"SYS_RDD", "CUS_RDD"});
    summary.add_column("24-Dec", {whole(5), whole(0)});
    summary.add_column("25-Jan", {whole(7), whole(3)});
    summary.add_column("25-Feb", {whole(0), whole(9)});
    helmkit::excelTools::SheetBlock charted{&summary, true, 4,
                                            helmkit::excelTools::BlockChart::columns_by_row,
                                            "Per month"};
    ASSERT_TRUE(write(dir / "c.xlsx", {{"by PO", {{&result, false, 0}, charted}},
                                       {"plain", {{&result, false, 0}}}})
                    .first);
    const auto parts = read_zip(dir / "c.xlsx");
    ASSERT_EQ(parts.count("xl/charts/chart1.xml"), 1u);
    EXPECT_EQ(parts.count("xl/charts/chart2.xml"), 0u);
    const auto& chart = parts.at("xl/charts/chart1.xml");
    EXPECT_NE(chart.find("<c:barDir val=\"col\"/>"), std::string::npos) << chart;
    // Two series named by the row labels (E2, E3) over the months of row 1 (F1:H1).
    std::vector<std::string> formulas;
    for (auto at = chart.find("<c:f>"); at != std::string::npos; at = chart.find("<c:f>", at + 1)) {
        formulas.push_back(chart.substr(at + 5, chart.find("</c:f>", at) - at - 5));
    }
    EXPECT_EQ(formulas, (std::vector<std::string>{"'by PO'!$E$2", "'by PO'!$F$1:$H$1",
                                                  "'by PO'!$F$2:$H$2", "'by PO'!$E$3",
                                                  "'by PO'!$F$1:$H$1", "'by PO'!$F$3:$H$3"}));
    EXPECT_NE(chart.find("Per month"), std::string::npos);
    // On the first sheet, from row 1, one empty column after the block (E to H): at J.
    EXPECT_NE(parts.at("xl/worksheets/_rels/sheet1.xml.rels").find("drawing"), std::string::npos);
    EXPECT_EQ(parts.count("xl/worksheets/_rels/sheet2.xml.rels"), 0u);
    EXPECT_NE(parts.at("xl/drawings/drawing1.xml")
                  .find("<xdr:from><xdr:col>9</xdr:col><xdr:colOff>0</xdr:colOff><xdr:row>0</xdr:row>"),
              std::string::npos);

    // A block without cells gets no chart.
    const Table empty;
    helmkit::excelTools::SheetBlock nothing{&empty, true, 4,
                                            helmkit::excelTools::BlockChart::columns_by_row};
    ASSERT_TRUE(write(dir / "e.xlsx", {{"s", {{&result, false, 0}, nothing}}}).first);
    for (const auto& [name, content] : read_zip(dir / "e.xlsx")) {
        EXPECT_EQ(name.find("chart"), std::string::npos) << name;
    }
}

TEST(FormattedExcel, RowsWhoseTwoColumnsDifferAreHighlightedByAConditionalFormat) {
    TempDir dir;
    const auto table = table_of({{"PO", {whole(1), whole(2), whole(3)}},
                                 {"SYS", {text("2024-01-02"), text("2024-01-02"), CellValue()}},
                                 {"CUS", {text("2024-01-02"), text("2024-01-05"), CellValue()}}});
    helmkit::excelTools::SheetBlock marked{&table, false, 0};
    marked.highlight_differing = std::pair<std::size_t, std::size_t>{1, 2};
    helmkit::excelTools::SheetBlock labelled{&table, true, 2};
    labelled.highlight_differing = std::pair<std::size_t, std::size_t>{2, 0};
    ASSERT_TRUE(write(dir / "h.xlsx",
                      {{"one", {marked}}, {"two", {labelled}}, {"three", {{&table, false, 0}}}})
                    .first);
    const auto parts = read_zip(dir / "h.xlsx");
    const auto& one = parts.at("xl/worksheets/sheet1.xml");
    // Over the data rows of the block only, comparing the two columns of the same row.
    EXPECT_NE(one.find("<conditionalFormatting sqref=\"A2:C4\">"), std::string::npos) << one;
    EXPECT_NE(one.find("<formula>$B2&lt;&gt;$C2</formula>"), std::string::npos) << one;
    // The row labels take the block's first column: the table's columns start one further.
    const auto& two = parts.at("xl/worksheets/sheet2.xml");
    EXPECT_NE(two.find("<conditionalFormatting sqref=\"C2:F4\">"), std::string::npos) << two;
    EXPECT_NE(two.find("<formula>$F2&lt;&gt;$D2</formula>"), std::string::npos) << two;
    EXPECT_EQ(parts.at("xl/worksheets/sheet3.xml").find("conditionalFormatting"),
              std::string::npos);
    // The fill is a differential format, so the cells keep their own formats.
    EXPECT_NE(parts.at("xl/styles.xml").find("<dxfs count=\"1\">"), std::string::npos);
    const auto cells = active_sheet(dir / "h.xlsx");
    EXPECT_EQ(cells.at("B3"), CellValue(at(2024, 1, 2)));

    const Table none = table_of({{"PO", {whole(1)}}});
    helmkit::excelTools::SheetBlock beyond{&none, false, 0};
    beyond.highlight_differing = std::pair<std::size_t, std::size_t>{0, 1};
    const auto [written, errors] = write(dir / "x.xlsx", {{"s", {beyond}}});
    EXPECT_FALSE(written);
    EXPECT_FALSE(fs::exists(dir / "x.xlsx"));
}
