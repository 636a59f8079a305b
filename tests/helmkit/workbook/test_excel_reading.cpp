#include <gtest/gtest.h>

#include <chrono>

#include "table/cell_builders.hpp"
#include "helmkit/base/error.hpp"
#include "helmkit/workbook/excel_tools.hpp"
#include "helmkit/workbook/xls_reader.hpp"
#include "test_support.hpp"
#include "workbook_files.hpp"

using namespace torvane_test;
using helmkit::CellValue;
using helmkit::excelTools::read_excel_by_cells;
using namespace cell_builders;

namespace {

CellValue day(int year, unsigned month, unsigned d) { return at(year, month, d); }

const helmkit::excelTools::CellMapping k_customer{{"PO", "F3"}, {"QTY", "O3"}, {"RDD", "R3"}};

}  // namespace

TEST(ExcelByCells, XlsWorkbookSavedByXlwt) {
    const auto path = source_dir() / "tests/fixtures/xls/orders.xls";
    const auto table = read_excel_by_cells(path, k_customer);
    // Whole numbers the file stores as integers come back as whole numbers.
    EXPECT_EQ(table.column("PO"),
              (std::vector<CellValue>{whole(4500001), text("4500002"), whole(4500003)}));
    EXPECT_EQ(table.column("QTY"), (std::vector<CellValue>{whole(5), CellValue(7.5), whole(2)}));
    EXPECT_EQ(table.column("RDD"),
              (std::vector<CellValue>{day(2024, 12, 20), text("2025-01-10"), CellValue()}));

    std::vector<std::tuple<std::uint32_t, std::uint32_t, CellValue>> first_row;
    helmkit::XlsReader(path).for_each_cell([&](std::uint32_t row, std::uint32_t column,
                                               const CellValue& value) {
        first_row.emplace_back(row, column, value);
        return row == 1;
    });
    ASSERT_EQ(first_row.size(), 2u);
    EXPECT_EQ(first_row[0], std::make_tuple(1u, 1u, text("Offene Bestellungen, Müller")));
}

TEST(ExcelByCells, XlsxWorkbookWrittenByLibxlsxwriter) {
    TempDir dir;
    {
        TestWorkbook book(dir / "c.xlsx");
        lxw_worksheet* sheet = book.add_sheet("Orders");
        lxw_format* date = book.number_format("yyyy-mm-dd");
        worksheet_write_string(sheet, 1, 5, "PO", nullptr);
        worksheet_write_number(sheet, 2, 5, 17, nullptr);
        worksheet_write_string(sheet, 2, 14, "", nullptr);
        lxw_datetime when{2025, 1, 31, 0, 0, 0};
        worksheet_write_datetime(sheet, 2, 17, &when, date);
        worksheet_write_string(sheet, 4, 14, "x", nullptr);
        book.close();
    }
    const auto table = read_excel_by_cells(dir / "c.xlsx", k_customer);
    // Row 4 of the sheet is empty in the mapped columns and dropped; an empty text is missing.
    EXPECT_EQ(table.column("PO"), (std::vector<CellValue>{whole(17), CellValue()}));
    EXPECT_EQ(table.column("QTY"), (std::vector<CellValue>{CellValue(), text("x")}));
    EXPECT_EQ(table.column("RDD"), (std::vector<CellValue>{day(2025, 1, 31), CellValue()}));
}

TEST(ExcelByCells, RowsFarApartKeepTheirOrderAndOnlyTheirCells) {
    TempDir dir;
    {
        TestWorkbook book(dir / "far.xlsx");
        lxw_worksheet* sheet = book.add_sheet("Orders");
        // Columns F and O start on row 3, R on row 5: their table rows are counted from there.
        worksheet_write_number(sheet, 2, 5, 1, nullptr);
        worksheet_write_number(sheet, 3, 14, 2, nullptr);
        worksheet_write_number(sheet, 4, 17, 3, nullptr);
        worksheet_write_number(sheet, 800000, 5, 4, nullptr);
        worksheet_write_string(sheet, 1048575, 14, "last", nullptr);
        book.close();
    }
    const helmkit::excelTools::CellMapping mapping{{"PO", "F3"}, {"QTY", "O3"}, {"RDD", "R5"}};
    const auto table = read_excel_by_cells(dir / "far.xlsx", mapping);
    // Table rows 0, 1, 2, 800000 - 2 and 1048576 - 3 of the columns counted from row 3; RDD's
    // row 5 is its row 0, which lines up with the table's row 0.
    EXPECT_EQ(table.column("PO"),
              (std::vector<CellValue>{whole(1), CellValue(), whole(4), CellValue()}));
    EXPECT_EQ(table.column("QTY"),
              (std::vector<CellValue>{CellValue(), whole(2), CellValue(), text("last")}));
    EXPECT_EQ(table.column("RDD"),
              (std::vector<CellValue>{whole(3), CellValue(), CellValue(), CellValue()}));
}

// FreeXL reads far past a buffer of its own on this damaged file (found by fuzz_xls); under
// AddressSanitizer that ends the process that runs it. The reader's child process takes it.
TEST(ExcelByCells, AnXlsFileThatMakesFreeXlMisreadIsRefusedAsDamaged) {
    const auto path = source_dir() / "tests/fixtures/xls/freexl_overread.xls";
    try {
        read_excel_by_cells(path, k_customer);
        FAIL() << "a damaged workbook was read";
    } catch (const helmkit::Error& error) {
        const std::string message = error.what();
        EXPECT_NE(message.find(path.string()), std::string::npos) << message;
        EXPECT_NE(message.find("as an .xls workbook"), std::string::npos) << message;
    }
}

// A sheet size beyond any sheet makes FreeXL refuse every question about the workbook,
// including whether it has a password: the workbook is damaged, not protected.
TEST(ExcelByCells, AnXlsFileWithABogusSheetSizeIsDamagedNotPasswordProtected) {
    TempDir dir;
    std::string bytes = read_file(source_dir() / "tests/fixtures/xls/orders.xls");
    const auto dimension = bytes.find(std::string("\x00\x02\x0e\x00", 4));
    ASSERT_NE(dimension, std::string::npos);
    // The last row plus one, the field after the first row.
    bytes.replace(dimension + 8, 4, "\xf0\xff\xff\xff");
    write_file(dir / "bogus.xls", bytes);
    try {
        read_excel_by_cells(dir / "bogus.xls", k_customer);
        FAIL() << "a damaged workbook was read";
    } catch (const helmkit::Error& error) {
        const std::string message = error.what();
        EXPECT_EQ(message.rfind("cannot read '" + (dir / "bogus.xls").string() +
                                    "' as an .xls workbook: it is damaged",
                                0),
                  0u)
            << message;
    }
}

// A 1 MB workbook whose one long shared string is used by many cells would hold a copy in
// each: the copies are bounded by the workbook's size (and 256 MiB more), not its references.
TEST(ExcelByCells, ALongSharedStringInManyCellsIsBoundedByTheWorkbooksSize) {
    TempDir dir;
    RawWorkbook raw;
    raw.shared_strings = "<si><t>" + std::string(1'000'000, 'x') + "</t></si><si><t>PO</t></si>";
    std::string rows;
    for (int row = 3; row < 303; ++row) {
        const auto r = std::to_string(row);
        rows += "<row r=\"" + r + "\"><c r=\"F" + r + "\" t=\"s\"><v>0</v></c></row>";
    }
    raw.sheets = {{"S", rows}};
    write_zip(dir / "repeated.xlsx", raw.parts());
    try {
        read_excel_by_cells(dir / "repeated.xlsx", k_customer);
        FAIL() << "300 copies of a 1 MB string were kept";
    } catch (const helmkit::Error& error) {
        const std::string message = error.what();
        EXPECT_EQ(message.rfind("cannot read workbook '" + (dir / "repeated.xlsx").string() +
                                    "': its mapped cells hold more than 256 MiB of text",
                                0),
                  0u)
            << message;
    }

    raw.sheets = {{"S", "<row r=\"3\"><c r=\"F3\" t=\"s\"><v>0</v></c></row>"
                        "<row r=\"4\"><c r=\"F4\" t=\"s\"><v>0</v></c><c r=\"O4\" t=\"s\">"
                        "<v>1</v></c></row>"}};
    write_zip(dir / "twice.xlsx", raw.parts());
    const auto table = read_excel_by_cells(dir / "twice.xlsx", k_customer);
    const CellValue long_text(std::string(1'000'000, 'x'));
    EXPECT_EQ(table.column("PO"), (std::vector<CellValue>{long_text, long_text}));
    EXPECT_EQ(table.column("QTY"), (std::vector<CellValue>{CellValue(), text("PO")}));
}

TEST(ExcelByCells, WorkbooksThatCannotBeReadAreErrorsNamingTheFile) {
    TempDir dir;
    write_file(dir / "fake.xls", "this is no workbook");
    write_file(dir / "fake.xlsx", "PK\x03\x04 truncated");
    write_file(dir / "orders.ods", "x");
    write_file(dir / "empty.xls", "");
    for (const char* name : {"fake.xls", "fake.xlsx", "orders.ods", "empty.xls", "absent.xls"}) {
        try {
            read_excel_by_cells(dir / name, k_customer);
            ADD_FAILURE() << name << " was read";
        } catch (const helmkit::Error& error) {
            EXPECT_NE(std::string(error.what()).find(name), std::string::npos) << error.what();
        }
    }
}
