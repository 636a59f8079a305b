#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "table/cell_builders.hpp"
#include "helmkit/base/error.hpp"
#include "helmkit/workbook/xlsx_reader.hpp"
#include "test_support.hpp"
#include "thrown_errors.hpp"
#include "workbook_files.hpp"

using namespace torvane_test;
using helmkit::CellAddress;
using helmkit::CellValue;
using helmkit::DateTime;
using helmkit::XlsxReader;
using namespace cell_builders;
using namespace std::chrono_literals;

namespace {

using Cell = std::tuple<std::uint32_t, std::uint32_t, CellValue>;

std::vector<Cell> read_all(const fs::path& path) {
    std::vector<Cell> cells;
    XlsxReader reader(path);
    reader.for_each_cell([&](std::uint32_t row, std::uint32_t column, const CellValue& value) {
        cells.emplace_back(row, column, value);
        return true;
    });
    return cells;
}

std::vector<CellValue> read(const fs::path& path, const std::vector<std::string>& addresses) {
    std::vector<CellAddress> cells;
    for (const auto& address : addresses) cells.push_back(helmkit::parse_cell_address(address));
    return XlsxReader(path).read_cells(cells);
}

fs::path fixture(const char* name) { return source_dir() / "tests/fixtures/xlsx" / name; }

}  // namespace

TEST(CellAddressParsing, ColumnLettersAndRowNumber) {
    EXPECT_EQ(helmkit::parse_cell_address("H2"), (CellAddress{2, 8}));
    EXPECT_EQ(helmkit::parse_cell_address("D6"), (CellAddress{6, 4}));
    EXPECT_EQ(helmkit::parse_cell_address("p56"), (CellAddress{56, 16}));
    EXPECT_EQ(helmkit::parse_cell_address("$AA$10"), (CellAddress{10, 27}));
    EXPECT_EQ(helmkit::parse_cell_address("XFD1048576"), (CellAddress{1048576, 16384}));
}

TEST(CellAddressParsing, AnythingElseIsAnError) {
    for (const char* bad : {"H", "2", "", "A0", "XFE1", "A1048577", "A-1", "A1B", " A1", "1A",
                            "A 1", "ÄB1"}) {
        const auto message = error_of([&] { helmkit::parse_cell_address(bad); });
        EXPECT_TRUE(contains(message, "'" + std::string(bad) + "' is not a cell address")) << message;
    }
}

TEST(XlsxReader, ValuesKeepTheirKindInSharedStringWorkbooks) {
    TempDir dir;
    const auto path = dir / "values.xlsx";
    TestWorkbook book(path);
    auto* sheet = book.add_sheet();
    worksheet_write_string(sheet, 0, 0, "Alpha", nullptr);
    worksheet_write_string(sheet, 0, 1, "Ünïcode text", nullptr);
    worksheet_write_number(sheet, 1, 0, 150, nullptr);
    worksheet_write_number(sheet, 1, 1, 12.5, nullptr);
    worksheet_write_number(sheet, 1, 2, -3, nullptr);
    worksheet_write_number(sheet, 1, 3, 1.5e16, nullptr);
    worksheet_write_number(sheet, 1, 4, 1e-05, nullptr);
    worksheet_write_boolean(sheet, 2, 0, 1, nullptr);
    worksheet_write_boolean(sheet, 2, 1, 0, nullptr);
    worksheet_write_formula_num(sheet, 3, 0, "=B2*2", nullptr, 25);
    worksheet_write_formula_str(sheet, 3, 1, "=A1&\"x\"", nullptr, "Alphax");
    worksheet_write_blank(sheet, 4, 0, book.number_format("0.00"));
    worksheet_write_string(sheet, 4, 1, "", nullptr);
    book.close();

    const std::vector<Cell> expected{
        {1, 1, text("Alpha")},      {1, 2, text("Ünïcode text")}, {2, 1, whole(150)},
        {2, 2, CellValue(12.5)},    {2, 3, whole(-3)},            {2, 4, CellValue(1.5e16)},
        {2, 5, CellValue(1e-05)},   {3, 1, CellValue(true)},      {3, 2, CellValue(false)},
        {4, 1, whole(25)},          {4, 2, text("Alphax")},
    };
    EXPECT_EQ(read_all(path), expected);
}

TEST(XlsxReader, InlineStringWorkbooksReadLikeSharedStringOnes) {
    TempDir dir;
    const auto path = dir / "inline.xlsx";
    TestWorkbook book(path, /*constant_memory=*/true);
    auto* sheet = book.add_sheet();
    worksheet_write_string(sheet, 0, 0, "Name", nullptr);
    worksheet_write_string(sheet, 5, 3, "Bravo <&> \"quoted\"", nullptr);
    worksheet_write_number(sheet, 55, 15, 99.75, nullptr);
    book.close();

    EXPECT_EQ(read(path, {"D6", "P56", "A1", "B2"}),
              (std::vector<CellValue>{text("Bravo <&> \"quoted\""), CellValue(99.75),
                                      text("Name"), CellValue()}));
}

TEST(XlsxReader, DatesFollowTheNumberFormat) {
    TempDir dir;
    const auto path = dir / "dates.xlsx";
    TestWorkbook book(path);
    auto* sheet = book.add_sheet();
    lxw_datetime moment{2024, 3, 7, 14, 5, 9.437};
    lxw_datetime midnight{2024, 3, 7, 0, 0, 0};
    worksheet_write_datetime(sheet, 0, 0, &midnight, book.number_format_index(14));
    worksheet_write_datetime(sheet, 0, 1, &moment, book.number_format("dd/mm/yyyy hh:mm:ss.000"));
    worksheet_write_datetime(sheet, 0, 2, &moment, book.number_format("[$-409]mmmm d, yyyy;@"));
    worksheet_write_number(sheet, 0, 3, 0.5, book.number_format("h:mm AM/PM"));
    worksheet_write_number(sheet, 0, 4, 1.25, book.number_format("[h]:mm"));
    worksheet_write_number(sheet, 0, 5, 45000, book.number_format_index(22));
    // Number formats that merely contain date letters in quotes, escapes or brackets.
    worksheet_write_number(sheet, 1, 0, 45000, book.number_format("0.00"));
    worksheet_write_number(sheet, 1, 1, 45000, book.number_format("#,##0 \"days\""));
    worksheet_write_number(sheet, 1, 2, 45000, book.number_format("[Red]0.0;[Blue]-0.0"));
    worksheet_write_number(sheet, 1, 3, 45000, book.number_format("0.00E+00"));
    worksheet_write_number(sheet, 1, 4, 45000, book.number_format("0 \\m"));
    worksheet_write_number(sheet, 1, 5, 45000, book.number_format_index(4));
    // The 1900 system counts a 29 February 1900 that never was (serial 60).
    lxw_datetime new_year{1900, 1, 1, 0, 0, 0};
    lxw_datetime last_february{1900, 2, 28, 0, 0, 0};
    lxw_datetime first_march{1900, 3, 1, 0, 0, 0};
    lxw_format* date = book.number_format("yyyy-mm-dd");
    worksheet_write_datetime(sheet, 2, 0, &new_year, date);
    worksheet_write_datetime(sheet, 2, 1, &last_february, date);
    worksheet_write_datetime(sheet, 2, 2, &first_march, date);
    worksheet_write_number(sheet, 2, 3, 60, date);
    worksheet_write_number(sheet, 2, 4, 61, date);
    worksheet_write_number(sheet, 2, 5, -1, date);
    book.close();

    const auto values = read(path, {"A1", "B1", "C1", "D1", "E1", "F1", "A2", "B2", "C2", "D2",
                                    "E2", "F2", "A3", "B3", "C3", "D3", "E3", "F3"});
    const std::vector<CellValue> expected{
        at(2024, 3, 7),           at(2024, 3, 7, 14, 5, 9, 437ms), at(2024, 3, 7, 14, 5, 9, 437ms),
        at(1899, 12, 31, 12),     at(1900, 1, 1, 6),             at(2023, 3, 15),
        whole(45000),             whole(45000),                  whole(45000),
        whole(45000),             whole(45000),                  whole(45000),
        at(1900, 1, 1),           at(1900, 2, 28),               at(1900, 3, 1),
        at(1900, 2, 28),          at(1900, 3, 1),                whole(-1),
    };
    ASSERT_EQ(values.size(), expected.size());
    for (std::size_t i = 0; i < values.size(); ++i) EXPECT_EQ(values[i], expected[i]) << i;
}

TEST(XlsxReader, ReadsTheActiveSheet) {
    TempDir dir;
    const auto path = dir / "sheets.xlsx";
    TestWorkbook book(path);
    auto* first = book.add_sheet("First");
    auto* second = book.add_sheet("Second");
    worksheet_write_string(first, 0, 0, "first", nullptr);
    worksheet_write_string(second, 0, 0, "second", nullptr);
    worksheet_activate(second);
    book.close();
    XlsxReader reader(path);
    EXPECT_EQ(reader.sheet_name(), "Second");
    EXPECT_EQ(reader.read_cells({{1, 1}}), std::vector<CellValue>{text("second")});
    XlsxReader named(path, "First");
    EXPECT_EQ(named.sheet_name(), "First");
    EXPECT_EQ(named.read_cells({{1, 1}}), std::vector<CellValue>{text("first")});
    try {
        XlsxReader missing(path, "first");
        ADD_FAILURE() << "a sheet name of another case was found";
    } catch (const helmkit::Error& error) {
        EXPECT_EQ(std::string(error.what()),
                  "cannot read workbook '" + path.string() +
                      "': it has no sheet 'first'; its sheets are 'First', 'Second'");
    }

    const auto plain = dir / "plain.xlsx";
    TestWorkbook other(plain);
    worksheet_write_string(other.add_sheet("One"), 0, 0, "one", nullptr);
    worksheet_write_string(other.add_sheet("Two"), 0, 0, "two", nullptr);
    other.close();
    EXPECT_EQ(read(plain, {"A1"}), std::vector<CellValue>{text("one")});
}

TEST(XlsxReader, StopsAsSoonAsTheVisitorSaysSo) {
    TempDir dir;
    const auto path = dir / "stop.xlsx";
    RawWorkbook raw;
    // Row 9 is damaged: a reader that stops in time never sees it.
    raw.sheets = {{"S", "<row r=\"1\"><c r=\"A1\"><v>1</v></c><c r=\"B1\"><v>2</v></c></row>"
                        "<row r=\"2\"><c r=\"A2\"><v>3</v></c></row>"
                        "<row r=\"3\"><c r=\"A3\"><v>4</v></c></row>"
                        "<row r=\"9\"><c r=\"A9\" t=\"s\"><v>7</v></c></row>"}};
    write_zip(path, raw.parts());

    XlsxReader reader(path);
    int visits = 0;
    reader.for_each_cell([&](std::uint32_t, std::uint32_t, const CellValue&) {
        ++visits;
        return visits < 2;
    });
    EXPECT_EQ(visits, 2);
    EXPECT_EQ(reader.read_cells({{2, 1}, {1, 2}, {2, 2}}),
              (std::vector<CellValue>{whole(3), whole(2), CellValue()}));
    EXPECT_TRUE(contains(error_of([&] { read_all(path); }), "shared string"));
}

TEST(XlsxReader, HandWrittenXmlWithEveryCellKind) {
    TempDir dir;
    const auto path = dir / "raw.xlsx";
    RawWorkbook raw;
    raw.workbook_pr = "date1904=\"1\"";
    raw.active_tab = 1;
    raw.shared_strings =
        "<si><t>plain</t></si>"
        "<si><r><rPr><b/></rPr><t>rich</t></r><r><t xml:space=\"preserve\"> text</t></r>"
        "<rPh sb=\"0\" eb=\"1\"><t>PHONETIC</t></rPh></si>"
        "<si><t>a_x000D_b</t></si>";
    raw.styles =
        "<numFmts count=\"2\"><numFmt numFmtId=\"14\" formatCode=\"0.00\"/>"
        "<numFmt numFmtId=\"170\" formatCode=\"d-mmm-yy\"/></numFmts>"
        "<cellStyleXfs count=\"1\"><xf numFmtId=\"170\"/></cellStyleXfs>"
        "<cellXfs count=\"3\"><xf numFmtId=\"0\"/><xf numFmtId=\"170\"/><xf numFmtId=\"14\"/>"
        "</cellXfs>";
    raw.sheets = {
        {"Ignored", "<row r=\"1\"><c r=\"A1\"><v>0</v></c></row>"},
        {"Active",
         "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c>"
         "<c r=\"C1\" t=\"s\"><v>2</v></c></row>"
         "<row r=\"2\"><c r=\"A2\" t=\"inlineStr\"><is><t>inline</t></is></c>"
         "<c r=\"B2\" t=\"inlineStr\"><is><r><t>in</t></r><r><t>line rich</t></r></is></c>"
         "<c r=\"C2\" t=\"inlineStr\"><is><t></t></is></c></row>"
         "<row r=\"3\"><c r=\"A3\" t=\"e\"><f>1/0</f><v>#DIV/0!</v></c>"
         "<c r=\"B3\" t=\"str\"><f>A1</f><v>formula text</v></c>"
         "<c r=\"C3\"><f>SUM(A1:A2)</f></c><c r=\"D3\" s=\"1\"/></row>"
         "<row r=\"4\"><c r=\"A4\" s=\"1\"><v>0</v></c><c r=\"B4\" s=\"1\"><v>43896.5</v></c>"
         "<c r=\"C4\" s=\"2\"><v>43896</v></c><c r=\"D4\" t=\"d\"><v>2024-03-07T14:05:09.5</v></c>"
         "</row>"
         "<row><c><v>1</v></c><c t=\"b\"><v>1</v></c></row>"
         "<row r=\"7\"><c r=\"C7\"><v>2.0</v></c><c><v>1E3</v></c></row>"}};
    write_zip(path, raw.parts());

    const std::vector<Cell> expected{
        {1, 1, text("plain")},
        {1, 2, text("rich text")},
        {1, 3, text("a\rb")},
        {2, 1, text("inline")},
        {2, 2, text("inline rich")},
        {2, 3, text("")},
        {3, 1, text("#DIV/0!")},
        {3, 2, text("formula text")},
        {4, 1, at(1904, 1, 1)},
        {4, 2, at(2024, 3, 7, 12)},
        {4, 3, whole(43896)},
        {4, 4, at(2024, 3, 7, 14, 5, 9, 500ms)},
        {5, 1, whole(1)},
        {5, 2, CellValue(true)},
        {7, 3, CellValue(2.0)},
        {7, 4, CellValue(1000.0)},
    };
    EXPECT_EQ(read_all(path), expected);
    EXPECT_EQ(XlsxReader(path).sheet_name(), "Active");
}

TEST(XlsxReader, NamespacePrefixesAndOutOfRangeActiveTab) {
    TempDir dir;
    const auto path = dir / "prefixed.xlsx";
    RawWorkbook raw;
    raw.active_tab = 5;
    raw.sheets = {{"Only", "<x:row xmlns:x=\"urn:x\" r=\"3\"><x:c r=\"B3\" t=\"inlineStr\">"
                           "<x:is><x:t>prefixed</x:t></x:is></x:c></x:row>"}};
    write_zip(path, raw.parts());
    EXPECT_EQ(read_all(path), (std::vector<Cell>{{3, 2, text("prefixed")}}));
}

TEST(XlsxReader, WorkbooksSavedByOpenpyxl) {
    const auto values = read(fixture("openpyxl_values.xlsx"),
                             {"D6", "P56", "A1", "A2", "A3", "A4", "A5", "A6", "A7", "A8", "A9",
                              "A10", "A11", "A12", "A13", "A14"});
    const std::vector<CellValue> expected{
        text("Alpha Müller"), CellValue(120.5),    whole(150),        CellValue(12.5),
        CellValue(1e-05),     CellValue(1.5e16),   CellValue(true),   CellValue(false),
        at(2024, 3, 7),       at(2024, 3, 7, 14, 5, 9, 437ms),          at(1900, 3, 1),
        CellValue(),          CellValue(0.25),     at(1899, 12, 31, 14, 30),
        whole(-42),           text("  spaced  "),
    };
    ASSERT_EQ(values.size(), expected.size());
    for (std::size_t i = 0; i < values.size(); ++i) EXPECT_EQ(values[i], expected[i]) << i;

    EXPECT_EQ(read(fixture("openpyxl_1904.xlsx"), {"A1", "A2"}),
              (std::vector<CellValue>{at(2024, 3, 7, 12), at(1904, 1, 1)}));

    const std::vector<Cell> inline_cells{
        {1, 1, text("inline text")}, {1, 2, text("bold and plain")}, {2, 1, text("#DIV/0!")},
        {2, 2, text("ab")},          {2, 3, text("line\rbreak")},
    };
    EXPECT_EQ(read_all(fixture("openpyxl_inline.xlsx")), inline_cells);
}

// Small workbooks are unzipped from memory, large ones through the file: both read alike.
TEST(XlsxReader, LargeWorkbooksReadLikeSmallOnes) {
    TempDir dir;
    RawWorkbook raw;
    raw.sheets = {{"S", "<row r=\"1\"><c r=\"A1\"><v>1</v></c><c r=\"B1\" t=\"s\"><v>0</v></c></row>"}};
    raw.shared_strings = "<si><t>kept</t></si>";
    auto parts = raw.parts();
    write_zip(dir / "small.xlsx", parts);
    // 20 MiB that deflate cannot shrink make the archive larger than what is read whole.
    std::string noise(20u << 20, '\0');
    std::uint64_t state = 88172645463325252ull;
    for (char& c : noise) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        c = static_cast<char>(state);
    }
    parts.emplace_back("xl/media/noise.bin", std::move(noise));
    write_zip(dir / "large.xlsx", parts);
    ASSERT_GT(fs::file_size(dir / "large.xlsx"), 16u << 20);
    const std::vector<Cell> expected{{1, 1, whole(1)}, {1, 2, text("kept")}};
    EXPECT_EQ(read_all(dir / "small.xlsx"), expected);
    EXPECT_EQ(read_all(dir / "large.xlsx"), expected);
}

TEST(XlsxReaderFailures, FilesThatAreNoWorkbookNameTheFile) {
    TempDir dir;
    write_file(dir / "text.xlsx", "just some text, no zip archive at all");
    write_file(dir / "empty.xlsx", "");
    std::string ole("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    write_file(dir / "encrypted.xlsx", ole + std::string(4096, '\0'));
    fs::create_directory(dir / "folder.xlsx");
    write_zip(dir / "other.xlsx", {{"readme.txt", "a zip, but no workbook"}});

    const std::vector<std::pair<std::string, std::string>> cases{
        {"text.xlsx", "no zip archive"},
        {"empty.xlsx", "no zip archive"},
        {"encrypted.xlsx", "encrypted"},
        {"folder.xlsx", "Is a directory"},
        {"missing.xlsx", "No such file or directory"},
        {"other.xlsx", "part 'xl/workbook.xml' is missing"},
    };
    for (const auto& [name, reason] : cases) {
        const auto message = error_of([&, name = name] { XlsxReader reader(dir / name); });
        EXPECT_TRUE(contains(message, (dir / name).string())) << message;
        EXPECT_TRUE(contains(message, reason)) << message;
    }
}

TEST(XlsxReaderFailures, TruncatedAndDamagedArchives) {
    TempDir dir;
    const auto good = dir / "good.xlsx";
    TestWorkbook book(good);
    auto* sheet = book.add_sheet();
    for (int row = 0; row < 2000; ++row) {
        worksheet_write_number(sheet, static_cast<lxw_row_t>(row), 0, row * 7.25, nullptr);
        worksheet_write_string(sheet, static_cast<lxw_row_t>(row), 1,
                               ("text " + std::to_string(row * 31)).c_str(), nullptr);
    }
    book.close();
    const std::string bytes = read_file(good);

    for (const std::size_t keep : {bytes.size() / 2, bytes.size() - 10, std::size_t{100}}) {
        const auto truncated = dir / ("truncated_" + std::to_string(keep) + ".xlsx");
        write_file(truncated, bytes.substr(0, keep));
        const auto message = error_of([&] { read_all(truncated); });
        EXPECT_TRUE(contains(message, truncated.string())) << message;
    }

    // Damage the compressed data of the largest entry (the sheet) but keep the archive's
    // directory intact: reading must fail with an error, never crash or return junk silently.
    const auto sheet_name = std::string("xl/worksheets/sheet1.xml");
    const auto header = bytes.find(sheet_name);
    ASSERT_NE(header, std::string::npos);
    std::string damaged = bytes;
    for (std::size_t i = header + sheet_name.size() + 40; i < header + sheet_name.size() + 240; ++i) {
        damaged[i] = static_cast<char>(damaged[i] ^ 0x5A);
    }
    write_file(dir / "damaged.xlsx", damaged);
    const auto message = error_of([&] { read_all(dir / "damaged.xlsx"); });
    EXPECT_TRUE(contains(message, (dir / "damaged.xlsx").string())) << message;

    // Two entries of one name: the second sheet part is renamed over the first in the bytes.
    RawWorkbook raw;
    raw.sheets = {{"S", "<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>"}};
    auto parts = raw.parts();
    parts.emplace_back("xl/worksheets/sheetQ.xml", "<worksheet><sheetData/></worksheet>");
    write_zip(dir / "twice.xlsx", parts);
    std::string twice = read_file(dir / "twice.xlsx");
    for (auto at = twice.find("sheetQ.xml"); at != std::string::npos; at = twice.find("sheetQ.xml")) {
        twice[at + 5] = '1';
    }
    write_file(dir / "twice.xlsx", twice);
    const auto duplicate = error_of([&] { read_all(dir / "twice.xlsx"); });
    EXPECT_EQ(duplicate, "cannot read workbook '" + (dir / "twice.xlsx").string() +
                             "': the zip archive is damaged (two entries share a name)");
}

TEST(XlsxReaderFailures, EntriesInflatingBeyondTheLimitAreRefused) {
    TempDir dir;
    const auto path = dir / "bomb.xlsx";
    RawWorkbook raw;
    std::string rows;
    for (int row = 1; row <= 5000; ++row) {
        rows += "<row r=\"" + std::to_string(row) + "\"><c r=\"A" + std::to_string(row) +
                "\"><v>0</v></c></row>";
    }
    raw.sheets = {{"S", rows}};
    write_zip(path, raw.parts());
    EXPECT_EQ(read_all(path).size(), 5000u);

    XlsxReader limited(path, 64 * 1024);
    const auto message = error_of([&] {
        limited.for_each_cell([](std::uint32_t, std::uint32_t, const CellValue&) { return true; });
    });
    EXPECT_TRUE(contains(message, "inflates beyond 65536 bytes")) << message;
    EXPECT_TRUE(contains(message, path.string())) << message;
}

TEST(XlsxReaderFailures, MalformedSheetContent) {
    TempDir dir;
    const std::vector<std::pair<std::string, std::string>> cases{
        {"<row r=\"1\"><c r=\"A1\"><v>1</v></row>", "malformed XML"},
        {"<row r=\"1\"><c r=\"1A\"><v>1</v></c></row>", "bad cell reference '1A'"},
        {"<row r=\"1\"><c r=\"A1\"><v>12abc</v></c></row>", "cell A1 holds a bad number '12abc'"},
        {"<row r=\"1\"><c r=\"B1\" t=\"s\"><v>0</v></c></row>", "shared string"},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const auto path = dir / ("bad" + std::to_string(i) + ".xlsx");
        RawWorkbook raw;
        raw.sheets = {{"S", cases[i].first}};
        write_zip(path, raw.parts());
        const auto message = error_of([&] { read_all(path); });
        EXPECT_TRUE(contains(message, cases[i].second)) << message;
        EXPECT_TRUE(contains(message, path.string())) << message;
    }
}
