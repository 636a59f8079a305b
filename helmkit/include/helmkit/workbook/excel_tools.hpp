#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "helmkit/base/app_logging.hpp"
#include "helmkit/table/exact_match.hpp"
#include "helmkit/table/table.hpp"

// The excelTools module: reading tables from CSV files and workbooks, writing formatted
// workbooks, and (from table/exact_match.hpp) the exact-match join.
namespace helmkit::excelTools {

// Column names with the cell address ("H2") of each column's first value, in table order.
using CellMapping = std::vector<std::pair<std::string, std::string>>;

// Reads a table from a CSV file: each column of `mapping` reads down its file column from the
// address's row (rows are records, a blank line an empty row). The table ends at the last row where
// any mapped column has a value; rows where all are empty are dropped. A field that is a plain
// number becomes a number, any other stays text ("00123" keeps its zeros). Logs a warning
// through `log` when the file is read as Windows-1252. Throws Error naming the file or address.
Table read_csv_by_cells(const std::filesystem::path& path, const CellMapping& mapping,
                        app_logging::Logger& log);

// Reads a table from the active sheet of an .xlsx workbook or the first sheet of an .xls
// workbook, with the rules of read_csv_by_cells; cells keep their workbook types, an empty
// text counts as missing; an .xls workbook only while no other thread runs (XlsReader).
// Throws Error naming the file when it cannot be read.
Table read_excel_by_cells(const std::filesystem::path& path, const CellMapping& mapping);

// How a file is read beyond its cell mapping.
struct ReadOptions {
    // CSV fields are numbers as European exports write them ("1.000,50"; see
    // parse_decimal_comma_number) instead of plain numbers.
    bool decimal_comma = false;
    // The workbook sheet to read, by name; empty for the one read_excel_by_cells reads.
    std::string sheet = {};
};

// A table as read, with where its rows come from.
struct ReadTable {
    Table table;
    // Per table row, the file row (1-based) of the row's cell in the mapping's first column.
    std::vector<std::uint32_t> source_rows;
    // The sheet read; empty for a CSV file.
    std::string sheet;
};

// read_csv_by_cells with `options` and the rows' file rows.
ReadTable read_csv_table(const std::filesystem::path& path, const CellMapping& mapping,
                         app_logging::Logger& log, const ReadOptions& options);

// read_excel_by_cells with `options` and the rows' file rows. Throws Error naming the file and
// listing its sheets when `options.sheet` names none of them.
ReadTable read_excel_table(const std::filesystem::path& path, const CellMapping& mapping,
                           const ReadOptions& options);

// A chart drawn beside a block: right of it, one empty column between, from its header row.
enum class BlockChart {
    none,
    // Columns: one series per row of the table, named by its row label when the block writes
    // the labels; the column names are the categories.
    columns_by_row,
};

// One table placed on a sheet. The table must outlive the write.
struct SheetBlock {
    const Table* df = nullptr;
    // Whether the row labels are written, in a column before the table's.
    bool index = false;
    // Zero-based column where the block starts.
    std::size_t startcol = 0;
    // A chart of the block's cells; none for a table without rows or columns.
    BlockChart chart = BlockChart::none;
    std::string chart_title = {};
    // Two columns of the table (indexes): the rows where their cells differ are filled.
    std::optional<std::pair<std::size_t, std::size_t>> highlight_differing = {};
};

// Sheet names with their blocks, in sheet order.
using SheetsData = std::vector<std::pair<std::string, std::vector<SheetBlock>>>;

// Writes `sheets` as an .xlsx workbook at `path`, atomically: per block a bold, filled,
// bordered header row, the chart and the row highlight it asks for; columns as wide as their
// content; the header row frozen; an autofilter over the first block of each sheet. Numbers as
// numbers, "%Y-%m-%d" texts and date-times as dates; texts whole, a NUL byte included (stored
// as "_x0000_", as Excel does). Throws Error "Cannot write '<path>': <reason>" when the
// workbook cannot be written (a sheet beyond 1,048,576 rows or 16,384 columns, a bad sheet
// name, a file error); the target is then as it was.
void write_formatted_excel(const std::filesystem::path& path, const SheetsData& sheets);

}  // namespace helmkit::excelTools
