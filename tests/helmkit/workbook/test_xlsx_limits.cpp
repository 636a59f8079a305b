#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "helmkit/base/error.hpp"
#include "helmkit/workbook/excel_tools.hpp"
#include "helmkit/workbook/xlsx_reader.hpp"
#include "test_support.hpp"
#include "thrown_errors.hpp"
#include "workbook_files.hpp"

using namespace torvane_test;
using helmkit::CellAddress;
using helmkit::CellValue;
using helmkit::XlsxReader;

namespace {

constexpr const char* k_marker = "@@";

std::size_t count_cells(const fs::path& path) {
    std::size_t cells = 0;
    XlsxReader(path).for_each_cell([&](std::uint32_t, std::uint32_t, const CellValue&) {
        ++cells;
        return true;
    });
    return cells;
}

// Runs `action` in a child process whose address space is limited to 512 MiB and returns
// the text it gives, "error: <message>" for a helmkit::Error, or "out of memory". Under
// AddressSanitizer, whose shadow memory needs far more address space, it runs unlimited.
std::string within_512_mib(const std::function<std::string()>& action) {
    int pipe_ends[2];
    if (::pipe(pipe_ends) != 0) return "no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipe_ends[0]);
#ifndef __SANITIZE_ADDRESS__
        const rlimit limit{512ul << 20, 512ul << 20};
        ::setrlimit(RLIMIT_AS, &limit);
#endif
        std::string result;
        try {
            result = action();
        } catch (const helmkit::Error& error) {
            result = std::string("error: ") + error.what();
        } catch (const std::bad_alloc&) {
            result = "out of memory";
        }
        const auto written = ::write(pipe_ends[1], result.data(), result.size());
        ::_exit(written == static_cast<ssize_t>(result.size()) ? 0 : 1);
    }
    ::close(pipe_ends[1]);
    std::string result;
    char buffer[4096];
    for (ssize_t got; (got = ::read(pipe_ends[0], buffer, sizeof buffer)) > 0;) {
        result.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(pipe_ends[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "child ended abnormally";
    return result;
}

std::string cells_without_reference(int count) {
    std::string cells;
    for (int i = 0; i < count; ++i) cells += "<c><v>1</v></c>";
    return cells;
}

}  // namespace

TEST(XlsxReaderLimits, RowsAndColumnsBeyondTheSheetAreRefusedNamingTheRow) {
    TempDir dir;
    const std::vector<std::pair<std::string, std::string>> cases{
        {"<row r=\"4294967295\">" + cells_without_reference(6) + "</row>",
         "row 4294967295 is beyond the last row a sheet can have (1048576)"},
        {"<row r=\"50000000\">" + cells_without_reference(6) + "</row>",
         "row 50000000 is beyond the last row"},
        {"<row r=\"123456789012345678901234567890\"/>",
         "row 123456789012345678901234 is beyond the last row"},
        {"<row r=\"1048576\"/><row>" + cells_without_reference(1) + "</row>",
         "row 1048577 is beyond the last row"},
        {"<row r=\"0\"/>", "row number 0 does not exist"},
        {"<row r=\"-5\">" + cells_without_reference(2) + "</row>", "bad row number '-5'"},
        {"<row r=\"2x\"/>", "bad row number '2x'"},
        {"<row r=\"1\"><c r=\"A1048577\"><v>1</v></c></row>",
         "cell A1048577 is beyond the last row (1048576) or column (XFD)"},
        {"<row r=\"2\"><c r=\"XFE2\"><v>1</v></c></row>", "cell XFE2 is beyond the last row"},
        {"<row r=\"3\">" + cells_without_reference(16'385) + "</row>",
         "row 3 has a cell beyond the last column a sheet can have (XFD)"},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const auto path = dir / ("rows" + std::to_string(i) + ".xlsx");
        RawWorkbook raw;
        raw.sheets = {{"S", cases[i].first}};
        write_zip(path, raw.parts());
        const auto message = error_of([&] { count_cells(path); });
        EXPECT_TRUE(contains(message, cases[i].second)) << message;
        EXPECT_TRUE(contains(message, path.string())) << message;
        const auto picked = error_of([&] { XlsxReader(path).read_cells({{1'048'576, 1}}); });
        EXPECT_EQ(picked, message);
    }
}

TEST(XlsxReaderLimits, TheLastRowAndColumnAreReadWithoutSizingAnythingByThem) {
    TempDir dir;
    const auto path = dir / "corner.xlsx";
    RawWorkbook raw;
    raw.sheets = {{"S", "<row r=\"2\"><c r=\"A2\"><v>5</v></c></row><row r=\"1048576\">" +
                            cells_without_reference(16'383) +
                            "<c><v>7</v></c></row>"}};
    write_zip(path, raw.parts());
    EXPECT_EQ(XlsxReader(path).read_cells({{1'048'576, 16'384}, {2, 1}}),
              (std::vector<CellValue>{CellValue(std::int64_t{7}), CellValue(std::int64_t{5})}));

    // The mapped reader keeps only the rows that hold values, however far apart they are.
    const auto table = within_512_mib([&] {
        const auto read = helmkit::excelTools::read_excel_by_cells(
            path, {{"FIRST", "A2"}, {"LAST", "XFD2"}});
        return std::to_string(read.row_count()) + " rows";
    });
    EXPECT_EQ(table, "2 rows");
}

TEST(XlsxReaderLimits, LongTokensAreRefusedBeforeTheParserSlowsDown) {
    TempDir dir;
    RawWorkbook raw;
    raw.sheets = {{"S", k_marker}};
    const std::string fifty_kib(50 * 1024, 'a');
    struct Case {
        std::string head, tail, expected;
    };
    const std::vector<Case> cases{
        {"<row r=\"1\"><c r=\"A1\" x=\"", "\"><v>1</v></c></row>",
         "holds a tag or comment longer than 1048576 bytes"},
        {"<!--", "-->", "holds a tag or comment longer than 1048576 bytes"},
        {"<row r=\"1\"><c r=\"A1\" t=\"str\"><v>", "</v></c></row>",
         "holds a text longer than 1048576 bytes"},
        {"<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t><![CDATA[", "]]></t></is></c></row>",
         "holds a text longer than 1048576 bytes"},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const auto path = dir / ("token" + std::to_string(i) + ".xlsx");
        // 50 MB in one token, in a file of a few kilobytes.
        write_repeating_workbook(path, raw, cases[i].head, fifty_kib, 1000, cases[i].tail);
        const auto message = error_of([&] { count_cells(path); });
        EXPECT_TRUE(contains(message, cases[i].expected)) << message;
        EXPECT_TRUE(contains(message, "'xl/worksheets/sheet1.xml'")) << message;
        EXPECT_TRUE(contains(message, path.string())) << message;
    }

    // Below the limit the same shapes are read.
    const auto fits = dir / "fits.xlsx";
    write_repeating_workbook(fits, raw, "<row r=\"1\"><c r=\"A1\" x=\"", fifty_kib, 18,
                  "\"><v>1</v></c><c r=\"B1\" t=\"str\"><v>" + std::string(900'000, 'b') +
                      "</v></c></row>");
    const auto values = XlsxReader(fits).read_cells({{1, 1}, {1, 2}});
    EXPECT_EQ(values[0], CellValue(std::int64_t{1}));
    EXPECT_EQ(values[1], CellValue(std::string(900'000, 'b')));
}

TEST(XlsxReaderLimits, DeepNestingIsRefused) {
    TempDir dir;
    const auto path = dir / "deep.xlsx";
    RawWorkbook raw;
    raw.sheets = {{"S", k_marker}};
    write_repeating_workbook(path, raw, "", "<x>", 100'000, "");
    const auto message = error_of([&] { count_cells(path); });
    EXPECT_TRUE(contains(message, "nests elements deeper than 256 levels")) << message;
}

TEST(XlsxReaderLimits, HugeSharedStringsCostOnlyTheStringsKept) {
    // 900 MB of shared strings in a file of about a megabyte; the sheet names two of them.
    TempDir dir;
    const auto path = dir / "strings.xlsx";
    RawWorkbook raw;
    raw.shared_strings = k_marker;
    raw.sheets = {{"Claim", "<row r=\"6\"><c r=\"D6\" t=\"s\"><v>1</v></c></row>"
                            "<row r=\"7\"><c r=\"D7\" t=\"s\"><v>1000</v></c></row>"
                            "<row r=\"56\"><c r=\"P56\"><v>12.5</v></c></row>"}};
    std::string piece;
    for (int i = 0; i < 60'000; ++i) piece += "<si><t>a shared string</t></si>";
    write_repeating_workbook(path, raw, "<si><t>first</t></si><si><t>Alpha</t></si>", piece, 500, "");

    EXPECT_EQ(within_512_mib([&] {
                  const auto values = XlsxReader(path).read_cells({{6, 4}, {56, 16}});
                  return std::get<std::string>(values[0]) + " " +
                         std::to_string(std::get<double>(values[1]));
              }),
              "Alpha 12.500000");
    EXPECT_EQ(within_512_mib([&] { return std::to_string(count_cells(path)) + " cells"; }),
              "3 cells");
}

TEST(XlsxReaderLimits, PickedCellsFailAsTheWholeSheetWould) {
    // A bad cell before the wanted ones fails the reading even when the wanted cells need no
    // shared string; the first fault in the file is the one reported.
    TempDir dir;
    const std::vector<std::string> sheets{
        "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>7</v></c><c r=\"B1\"><v>x</v></c></row>",
        "<row r=\"1\"><c r=\"A1\"><v>x</v></c><c r=\"B1\" t=\"s\"><v>7</v></c></row>",
        "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>9</v></c>"
        "<c r=\"C1\"><v>1</v></c></row><row r=\"2\"><c r=\"A2\" t=\"s\"><v>5</v></c></row>",
        "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c>"
        "<c r=\"C1\"><v>1</v></c></row><row r=\"2\"><c r=\"A2\" t=\"s\"><v>5</v></c></row>",
    };
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        const auto path = dir / ("faults" + std::to_string(i) + ".xlsx");
        RawWorkbook raw;
        raw.shared_strings = "<si><t>zero</t></si><si><t>one</t></si>";
        raw.sheets = {{"S", sheets[i]}};
        write_zip(path, raw.parts());
        const auto whole = error_of([&] { count_cells(path); });
        const auto picked = error_of([&] { XlsxReader(path).read_cells({{1, 3}, {2, 1}}); });
        EXPECT_FALSE(whole.empty()) << i;
        EXPECT_EQ(picked, whole) << i;
    }
}
