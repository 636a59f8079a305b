#include <algorithm>
#include <cctype>

#include "helmkit/workbook/csv_reader.hpp"
#include "helmkit/base/error.hpp"
#include "helmkit/workbook/excel_tools.hpp"
#include "helmkit/text/cell_address.hpp"
#include "helmkit/text/number_text.hpp"
#include "helmkit/workbook/xls_reader.hpp"
#include "helmkit/workbook/xlsx_reader.hpp"

namespace helmkit::excelTools {

namespace {

// The text the mapped cells of a workbook may hold beyond the size of its parts.
constexpr std::uint64_t k_text_beyond_workbook = std::uint64_t{256} << 20;

// At most this many rows are reserved ahead for a CSV file's columns.
constexpr std::size_t k_reserved_rows = std::size_t{1} << 22;

// Collects the cells of the mapped columns while a file streams by and makes the table. A
// column is kept dense, indexed by row, while its rows come with few gaps, so that it becomes
// the table's column without a copy; once a row lies far beyond the cells it holds (a sheet
// numbering its rows in the millions), it keeps only its cells with their rows. Memory thus
// follows the cells read and never a row number.
class MappedTable {
public:
    explicit MappedTable(const CellMapping& mapping) {
        for (const auto& [name, address] : mapping) {
            const auto start = parse_cell_address(address);
            m_starts.push_back(start);
            if (start.column >= m_by_column.size()) m_by_column.resize(start.column + 1);
            m_by_column[start.column].push_back(m_starts.size() - 1);
        }
        m_columns.resize(mapping.size());
        m_mapping = &mapping;
    }

    // Makes room for `rows` rows in every column, so that they do not move while they grow.
    void reserve_rows(std::size_t rows) {
        for (auto& column : m_columns) column.dense().reserve(rows);
    }

    bool wants(std::uint32_t column) const {
        return column < m_by_column.size() && !m_by_column[column].empty();
    }

    void put(std::uint32_t row, std::uint32_t column, CellValue value) {
        if (!wants(column) || is_missing(value)) return;
        if (const auto* text = std::get_if<std::string>(&value); text && text->empty()) return;
        const auto& targets = m_by_column[column];
        for (std::size_t i = 0; i < targets.size(); ++i) {
            const auto first_row = m_starts[targets[i]].row;
            if (row < first_row) continue;
            // Two names may map the same column; only the last one can take the value over.
            m_columns[targets[i]].put(row - first_row,
                                      i + 1 == targets.size() ? std::move(value) : value);
        }
    }

    // Makes the table and gives each of its rows the file row of its first mapped column.
    Table finish(std::vector<std::uint32_t>& source_rows) {
        bool dense = true;
        for (const auto& column : m_columns) dense = dense && !column.is_sparse();
        Table table;
        std::vector<std::uint32_t> rows;
        if (dense) {
            for (auto& cells : compact_dense(rows)) add(table, std::move(cells));
        } else {
            for (auto& column : m_columns) column.make_sparse();
            for (auto& cells : merge_sparse(rows)) add(table, std::move(cells));
        }
        const std::uint32_t first_row = m_starts.empty() ? 0 : m_starts.front().row;
        for (auto& row : rows) row += first_row;
        source_rows = std::move(rows);
        return table;
    }

private:
    // The cells of one mapped column, by row counted from the column's first row.
    class Column {
    public:
        bool is_sparse() const { return m_sparse_mode; }

        void put(std::uint32_t row, CellValue value) {
            if (!m_sparse_mode) {
                if (row < m_dense.size()) {
                    if (is_missing(m_dense[row])) ++m_stored;
                    m_dense[row] = std::move(value);
                    return;
                }
                // Dense stays within twice the cells held (plus a little), else it turns sparse.
                if (row <= 2 * m_stored + 4096) {
                    m_dense.resize(row + 1);
                    m_dense[row] = std::move(value);
                    ++m_stored;
                    return;
                }
                make_sparse();
            }
            m_sparse.emplace_back(row, std::move(value));
        }

        void make_sparse() {
            if (m_sparse_mode) return;
            m_sparse_mode = true;
            for (std::uint32_t row = 0; row < m_dense.size(); ++row) {
                if (!is_missing(m_dense[row])) m_sparse.emplace_back(row, std::move(m_dense[row]));
            }
            m_dense = {};
        }

        std::vector<CellValue>& dense() { return m_dense; }
        std::vector<std::pair<std::uint32_t, CellValue>>& sparse() { return m_sparse; }

    private:
        bool m_sparse_mode = false;
        std::size_t m_stored = 0;
        std::vector<CellValue> m_dense;
        std::vector<std::pair<std::uint32_t, CellValue>> m_sparse;
    };

    void add(Table& table, std::vector<CellValue> cells) {
        table.add_column((*m_mapping)[table.column_count()].first, std::move(cells));
    }

    // Drops the rows where every column is empty, in place; `rows` gets the kept rows.
    std::vector<std::vector<CellValue>> compact_dense(std::vector<std::uint32_t>& rows) {
        std::size_t length = 0;
        for (auto& column : m_columns) length = std::max(length, column.dense().size());
        std::vector<std::vector<CellValue>> cells;
        for (auto& column : m_columns) {
            cells.push_back(std::move(column.dense()));
            cells.back().resize(length);
        }
        std::size_t kept = 0;
        for (std::size_t row = 0; row < length; ++row) {
            const bool empty = std::all_of(cells.begin(), cells.end(),
                                           [row](const auto& column) { return is_missing(column[row]); });
            if (empty) continue;
            rows.push_back(static_cast<std::uint32_t>(row));
            if (kept != row) {
                for (auto& column : cells) column[kept] = std::move(column[row]);
            }
            ++kept;
        }
        for (auto& column : cells) column.resize(kept);
        return cells;
    }

    std::vector<std::vector<CellValue>> merge_sparse(std::vector<std::uint32_t>& rows) {
        // Rows come in order in almost every file; a cell stored twice keeps its last value.
        for (auto& column : m_columns) {
            auto& cells = column.sparse();
            const auto by_row = [](const auto& a, const auto& b) { return a.first < b.first; };
            if (!std::is_sorted(cells.begin(), cells.end(), by_row)) {
                std::stable_sort(cells.begin(), cells.end(), by_row);
            }
            std::size_t kept = 0;
            for (std::size_t i = 0; i < cells.size(); ++i) {
                if (kept > 0 && cells[kept - 1].first == cells[i].first) {
                    cells[kept - 1].second = std::move(cells[i].second);
                } else {
                    if (kept != i) cells[kept] = std::move(cells[i]);
                    ++kept;
                }
            }
            cells.resize(kept);
        }
        for (auto& column : m_columns) {
            std::vector<std::uint32_t> merged;
            merged.reserve(rows.size() + column.sparse().size());
            auto next = rows.begin();
            for (const auto& [row, value] : column.sparse()) {
                while (next != rows.end() && *next < row) merged.push_back(*next++);
                if (next != rows.end() && *next == row) ++next;
                merged.push_back(row);
            }
            merged.insert(merged.end(), next, rows.end());
            rows = std::move(merged);
        }
        std::vector<std::vector<CellValue>> cells;
        for (auto& column : m_columns) {
            std::vector<CellValue> values(rows.size());
            std::size_t at = 0;
            for (auto& [row, value] : column.sparse()) {
                while (rows[at] < row) ++at;
                values[at] = std::move(value);
            }
            cells.push_back(std::move(values));
        }
        return cells;
    }

    const CellMapping* m_mapping = nullptr;
    std::vector<CellAddress> m_starts;
    std::vector<std::vector<std::size_t>> m_by_column;
    std::vector<Column> m_columns;
};

std::string lower_extension(const std::filesystem::path& path) {
    auto extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

}  // namespace

ReadTable read_csv_table(const std::filesystem::path& path, const CellMapping& mapping,
                         app_logging::Logger& log, const ReadOptions& options) {
    MappedTable table(mapping);
    const auto number_of = options.decimal_comma ? parse_decimal_comma_number : parse_plain_number;
    const auto format = for_each_csv_field(
        path, [&](std::uint32_t record, std::uint32_t field, std::string_view text) {
            if (!table.wants(field)) return;
            auto number = number_of(text);
            table.put(record, field, number ? std::move(*number) : CellValue(std::string(text)));
        },
        [&](std::size_t line_breaks) {
            // Room for the rows the file may hold, within a bound: untouched room costs no memory.
            table.reserve_rows(std::min<std::size_t>(line_breaks + 1, k_reserved_rows));
        });
    if (format.windows_1252) {
        // Built by appending: GCC 12 at -O3 warns falsely (-Wrestrict) about "'" + std::string.
        std::string message = "'";
        message += path.string();
        message += "' is not UTF-8 text; read it as Windows-1252";
        log.warning(message);
    }
    ReadTable result;
    result.table = table.finish(result.source_rows);
    return result;
}

ReadTable read_excel_table(const std::filesystem::path& path, const CellMapping& mapping,
                           const ReadOptions& options) {
    MappedTable table(mapping);
    // Each cell holds its own copy of a shared string, so a long one that many cells use
    // could cost far more memory than the workbook's size: the kept text is bounded by what
    // the workbook holds, and more besides.
    std::uint64_t text_limit = k_text_beyond_workbook;
    std::uint64_t text_kept = 0;
    std::string refusal;
    auto visit = [&](std::uint32_t row, std::uint32_t column, const CellValue& value) {
        if (const auto* text = std::get_if<std::string>(&value); text && table.wants(column)) {
            text_kept += text->size();
            if (text_kept > text_limit) throw Error(refusal);
        }
        table.put(row, column, value);
        return true;
    };
    ReadTable result;
    const auto extension = lower_extension(path);
    const auto too_much = [&](const std::string& start) {
        return start + "its mapped cells hold more than " + std::to_string(text_limit >> 20) +
               " MiB of text, far more than the workbook holds (a long shared string used by "
               "many cells)";
    };
    if (extension == ".xlsx") {
        XlsxReader reader(path, options.sheet);
        result.sheet = reader.sheet_name();
        text_limit += reader.parts_size();
        refusal = too_much("cannot read workbook '" + path.string() + "': ");
        reader.for_each_cell(visit);
    } else if (extension == ".xls") {
        XlsReader reader(path, options.sheet);
        result.sheet = reader.sheet_name();
        std::error_code ignored;
        const auto size = std::filesystem::file_size(path, ignored);
        if (!ignored) text_limit += size;
        refusal = too_much("cannot read '" + path.string() + "' as an .xls workbook: ");
        reader.for_each_cell(visit);
    } else {
        throw Error("'" + path.string() + "' is not an .xlsx or .xls workbook");
    }
    result.table = table.finish(result.source_rows);
    return result;
}

Table read_csv_by_cells(const std::filesystem::path& path, const CellMapping& mapping,
                        app_logging::Logger& log) {
    return read_csv_table(path, mapping, log, {}).table;
}

Table read_excel_by_cells(const std::filesystem::path& path, const CellMapping& mapping) {
    return read_excel_table(path, mapping, {}).table;
}

}  // namespace helmkit::excelTools
