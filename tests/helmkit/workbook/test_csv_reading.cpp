#include <gtest/gtest.h>

#include "table/cell_builders.hpp"
#include "helmkit/base/app_logging.hpp"
#include "helmkit/workbook/csv_reader.hpp"
#include "helmkit/base/error.hpp"
#include "helmkit/workbook/excel_tools.hpp"
#include "test_support.hpp"

using namespace torvane_test;
using helmkit::CellValue;
using helmkit::excelTools::read_csv_by_cells;
using namespace cell_builders;

namespace {

helmkit::app_logging::Logger& log() { return helmkit::app_logging::lazy_logger("CsvTest"); }

struct Field {
    std::uint32_t row;
    std::uint32_t field;
    std::string text;
    bool operator==(const Field&) const = default;
};

std::vector<Field> fields_of(const fs::path& path, helmkit::CsvFormat* format = nullptr) {
    std::vector<Field> fields;
    const auto found = helmkit::for_each_csv_field(
        path, [&](std::uint32_t row, std::uint32_t field, std::string_view value) {
            fields.push_back({row, field, std::string(value)});
        });
    if (format != nullptr) *format = found;
    return fields;
}

}  // namespace

TEST(CsvFields, QuotingLineEndsAndBlankLinesAsInASpreadsheet) {
    TempDir dir;
    write_file(dir / "a.csv",
               "a,\"b,1\",\"say \"\"hi\"\"\"\r\n\r\n\"two\nlines\", x ,\r\nlast,\"\"");
    helmkit::CsvFormat format;
    EXPECT_EQ(fields_of(dir / "a.csv", &format),
              (std::vector<Field>{{1, 1, "a"},
                                  {1, 2, "b,1"},
                                  {1, 3, "say \"hi\""},
                                  {3, 1, "two\nlines"},
                                  {3, 2, "x"},
                                  {4, 1, "last"}}));
    EXPECT_EQ(format.delimiter, ',');
    EXPECT_FALSE(format.windows_1252);
}

TEST(CsvFields, DelimiterComesFromTheFirstLine) {
    TempDir dir;
    const std::vector<std::pair<std::string, char>> cases{
        {"a;b;c\n1,5;2;3\n", ';'},
        {"a\tb\tc\n1,5\t2 x\t3\n", '\t'},
        {"\"x;y;z\",b\n1;2,3\n", ','},
        {"single\n", ','},
    };
    for (const auto& [content, delimiter] : cases) {
        write_file(dir / "d.csv", content);
        helmkit::CsvFormat format;
        const auto fields = fields_of(dir / "d.csv", &format);
        EXPECT_EQ(format.delimiter, delimiter) << content;
        if (delimiter == '\t') {
            EXPECT_EQ(fields[4], (Field{2, 2, "2 x"}));
        }
    }
}

TEST(CsvFields, EncodingsAndBrokenFiles) {
    TempDir dir;
    write_file(dir / "bom.csv", "\xEF\xBB\xBFPO;Name\n1;M\xC3\xBCller\n");
    helmkit::CsvFormat format;
    EXPECT_EQ(fields_of(dir / "bom.csv", &format)[0], (Field{1, 1, "PO"}));
    EXPECT_EQ(fields_of(dir / "bom.csv")[3].text, "Müller");
    EXPECT_FALSE(format.windows_1252);

    write_file(dir / "ansi.csv", "PO;Name\n1;M\xFCller \x80 5\x85\n");
    EXPECT_EQ(fields_of(dir / "ansi.csv", &format)[3].text, "Müller € 5…");
    EXPECT_TRUE(format.windows_1252);

    write_file(dir / "utf16.csv", std::string("\xFF\xFEP\0O\0", 6));
    EXPECT_THROW(fields_of(dir / "utf16.csv"), helmkit::Error);
    write_file(dir / "open.csv", "a,\"b\nc,d\n");
    try {
        fields_of(dir / "open.csv");
        ADD_FAILURE() << "an unclosed quote was accepted";
    } catch (const helmkit::Error& error) {
        EXPECT_NE(std::string(error.what()).find("open.csv"), std::string::npos) << error.what();
    }
    EXPECT_THROW(fields_of(dir / "absent.csv"), helmkit::Error);
    write_file(dir / "empty.csv", "");
    EXPECT_TRUE(fields_of(dir / "empty.csv").empty());
}

TEST(CsvByCells, PlainNumbersBecomeNumbersOtherFieldsStayText) {
    TempDir dir;
    write_file(dir / "n.csv",
               "v\n12\n-7\n1.5\n-0.25\n1e3\n00123\n+5\n\"1,5\"\n12.\n.5\n0\n"
               "99999999999999999999\nabc\n\" 42\"\n");
    const auto table = read_csv_by_cells(dir / "n.csv", {{"v", "A2"}}, log());
    EXPECT_EQ(table.column("v"),
              (std::vector<CellValue>{whole(12), whole(-7), CellValue(1.5), CellValue(-0.25),
                                      CellValue(1000.0), text("00123"), text("+5"), text("1,5"),
                                      text("12."), text(".5"), whole(0), CellValue(1e20),
                                      text("abc"), text(" 42")}));
}

TEST(CsvByCells, DecimalCommaNumbersAsEuropeanExportsWriteThem) {
    TempDir dir;
    // Semicolons, as in such exports, so that the commas stay inside the fields.
    write_file(dir / "n.csv",
               "v;w\n1.000\n1.000,50\n-12,5\n0,25\n1234\n1.234.567\n1.5\n1.00\n12.345,\n00123\n"
               "1234.567\n.5\n0.100\n1e3\n");
    helmkit::excelTools::ReadOptions options;
    options.decimal_comma = true;
    const auto read =
        helmkit::excelTools::read_csv_table(dir / "n.csv", {{"v", "A2"}}, log(), options);
    EXPECT_EQ(read.table.column("v"),
              (std::vector<CellValue>{whole(1000), CellValue(1000.5), CellValue(-12.5),
                                      CellValue(0.25), whole(1234), whole(1234567), text("1.5"),
                                      text("1.00"), text("12.345,"), text("00123"),
                                      text("1234.567"), text(".5"), text("0.100"), text("1e3")}));
    // Plain numbers stay the default: "1.000" is one.
    EXPECT_EQ(read_csv_by_cells(dir / "n.csv", {{"v", "A2"}}, log()).column("v")[0],
              CellValue(1.0));
}

TEST(CsvByCells, RowsKeepTheirFileRowNumbers) {
    TempDir dir;
    write_file(dir / "r.csv", "title\nPO,QTY\nP1,5\n\n,\nP2,\n\"P\n3\",7\n");
    const auto read = helmkit::excelTools::read_csv_table(dir / "r.csv",
                                                          {{"PO", "A3"}, {"QTY", "B3"}}, log(), {});
    EXPECT_EQ(read.table.column("PO"),
              (std::vector<CellValue>{text("P1"), text("P2"), text("P\n3")}));
    EXPECT_EQ(read.source_rows, (std::vector<std::uint32_t>{3, 6, 7}));
    EXPECT_EQ(read.sheet, "");
}

TEST(CsvByCells, EachColumnReadsDownFromItsOwnStartAndEmptyRowsAreDropped) {
    TempDir dir;
    write_file(dir / "m.csv",
               "title\n"
               "PO,QTY,,DATE\n"
               "P1,5,,\n"
               ",,,2024-01-01\n"
               ",,,\n"
               "P3,,junk,2024-03-01\n"
               ",7\n");
    const auto table = read_csv_by_cells(
        dir / "m.csv", {{"PO", "A3"}, {"QTY", "B3"}, {"RDD", "D4"}, {"PO2", "a3"}}, log());
    EXPECT_EQ(table.column_names(), (std::vector<std::string>{"PO", "QTY", "RDD", "PO2"}));
    // Table row i holds PO and QTY of file row 3 + i and RDD of file row 4 + i; row 1 (file
    // rows 4 and 5) is empty in every mapped column and dropped.
    EXPECT_EQ(table.column("PO"),
              (std::vector<CellValue>{text("P1"), CellValue(), text("P3"), CellValue()}));
    EXPECT_EQ(table.column("QTY"),
              (std::vector<CellValue>{whole(5), CellValue(), CellValue(), whole(7)}));
    EXPECT_EQ(table.column("RDD"), (std::vector<CellValue>{text("2024-01-01"), text("2024-03-01"),
                                                           CellValue(), CellValue()}));
    EXPECT_EQ(table.column("PO2"), table.column("PO"));
}

TEST(CsvByCells, NoDataGivesTheColumnsWithoutRowsAndBadAddressesAreErrors) {
    TempDir dir;
    write_file(dir / "h.csv", "PO;QTY\n");
    const auto table = read_csv_by_cells(dir / "h.csv", {{"PO", "A2"}, {"QTY", "B2"}}, log());
    EXPECT_EQ(table.column_names(), (std::vector<std::string>{"PO", "QTY"}));
    EXPECT_EQ(table.row_count(), 0u);
    for (const char* address : {"PO", "A0", "", "2"}) {
        EXPECT_THROW(read_csv_by_cells(dir / "h.csv", {{"PO", address}}, log()), helmkit::Error)
            << address;
    }
    EXPECT_THROW(read_csv_by_cells(dir / "h.csv", {{"PO", "A2"}, {"PO", "B2"}}, log()),
                 helmkit::Error);
}

TEST(CsvByCells, WindowsExportIsReadWithAWarning) {
    TempDir dir;
    write_file(dir / "w.csv", "Name\nCaf\xE9\n");
    testing::internal::CaptureStderr();
    const auto table = read_csv_by_cells(dir / "w.csv", {{"Name", "A2"}}, log());
    const auto err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(table.column("Name"), std::vector<CellValue>{text("Café")});
    const auto warnings = log_messages(err, "WARNING");
    ASSERT_EQ(warnings.size(), 1u) << err;
    EXPECT_NE(warnings[0].find("w.csv"), std::string::npos);
    EXPECT_NE(warnings[0].find("Windows-1252"), std::string::npos);
}

// Files are read in chunks of 64 KiB: what a chunk boundary cuts must read as if it did not.
TEST(CsvFields, ChunkBoundariesCutNeitherCharactersNorTheFirstLine) {
    TempDir dir;
    // "é" (two bytes) and "€" (three) straddle the ends of the first and second chunk.
    const std::string first(65535, 'a');
    const std::string second(65536 - 3, 'b');
    write_file(dir / "cut.csv", first + "\xC3\xA9;" + second + "\xE2\x82\xAC\nnext;row\n");
    helmkit::CsvFormat format;
    const auto fields = fields_of(dir / "cut.csv", &format);
    EXPECT_FALSE(format.windows_1252);
    EXPECT_EQ(format.delimiter, ';');
    ASSERT_EQ(fields.size(), 4u);
    EXPECT_EQ(fields[0].text, first + "\xC3\xA9");
    EXPECT_EQ(fields[1].text, second + "\xE2\x82\xAC");
    EXPECT_EQ(fields[3], (Field{2, 2, "row"}));

    // One byte that is not UTF-8, far past the first chunk, makes the whole file Windows-1252.
    write_file(dir / "late.csv", "caf\xC3\xA9,x\n" + std::string(200000, 'c') + ",\xE9\n");
    const auto late = fields_of(dir / "late.csv", &format);
    EXPECT_TRUE(format.windows_1252);
    ASSERT_EQ(late.size(), 4u);
    EXPECT_EQ(late[0].text, "caf\xC3\x83\xC2\xA9");
    EXPECT_EQ(late[3].text, "\xC3\xA9");

    // A byte-order mark, and a file cut inside a character.
    write_file(dir / "bom.csv", "\xEF\xBB\xBFx;y\n");
    EXPECT_EQ(fields_of(dir / "bom.csv", &format), (std::vector<Field>{{1, 1, "x"}, {1, 2, "y"}}));
    EXPECT_FALSE(format.windows_1252);
    write_file(dir / "end.csv", "x,\xC3");
    fields_of(dir / "end.csv", &format);
    EXPECT_TRUE(format.windows_1252);
}
