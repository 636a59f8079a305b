#include <algorithm>
#include <cctype>

#include "helmkit/workbook/csv_reader.hpp"
#include "helmkit/base/error.hpp"
#include "helmkit/workbook/excel_tools.hpp"
#include "helmkit/text/number_text.hpp"
#include "helmkit/workbook/xls_reader.hpp"
#include "helmkit/workbook/xlsx_reader.hpp"

namespace helmkit::excelTools {

namespace {

// Collects the cells of the mapped columns while a file streams by and makes the table. Each
// column keeps only the cells that hold a value, with their row, so memory follows the cells
// read and never a row number.
class MappedTable {
public:
    explicit MappedTable(const CellMapping& mapping) {
        for (const auto& [name, address] : mapping) {
            const auto start = parse_cell_address(address);
            m_starts.push_back(start);
            if (start.column >= m_by_column.size()) m_by_column.resize(start.column + 1);
            m_by_column[start.column].push_back(m_starts.size() - 1);
        }
        m_cells.resize(mapping.size());
        m_mapping = &mapping;
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
            auto& cells = m_cells[targets[i]];
            // Two names may map the same column; only the last one can take the value over.
            cells.emplace_back(row - first_row, i + 1 == targets.size() ? std::move(value) : value);
        }
    }

    Table finish() {
        // Rows come in order in almost every file; a cell stored twice keeps its last value.
        for (auto& cells : m_cells) {
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
        std::vector<std::uint32_t> rows;
        for (const auto& cells : m_cells) {
            std::vector<std::uint32_t> merged;
            merged.reserve(rows.size() + cells.size());
            auto next = rows.begin();
            for (const auto& [row, value] : cells) {
                while (next != rows.end() && *next < row) merged.push_back(*next++);
                if (next != rows.end() && *next == row) ++next;
                merged.push_back(row);
            }
            merged.insert(merged.end(), next, rows.end());
            rows = std::move(merged);
        }
        Table table;
        for (std::size_t i = 0; i < m_cells.size(); ++i) {
            std::vector<CellValue> column(rows.size());
            std::size_t at = 0;
            for (auto& [row, value] : m_cells[i]) {
                while (rows[at] < row) ++at;
                column[at] = std::move(value);
            }
            table.add_column((*m_mapping)[i].first, std::move(column));
        }
        return table;
    }

private:
    const CellMapping* m_mapping = nullptr;
    std::vector<CellAddress> m_starts;
    std::vector<std::vector<std::size_t>> m_by_column;
    std::vector<std::vector<std::pair<std::uint32_t, CellValue>>> m_cells;
};

std::string lower_extension(const std::filesystem::path& path) {
    auto extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

}  // namespace

Table read_csv_by_cells(const std::filesystem::path& path, const CellMapping& mapping,
                        app_logging::Logger& log) {
    MappedTable table(mapping);
    const auto format = for_each_csv_field(
        path, [&](std::uint32_t record, std::uint32_t field, std::string_view text) {
            if (!table.wants(field)) return;
            auto number = parse_plain_number(text);
            table.put(record, field, number ? std::move(*number) : CellValue(std::string(text)));
        });
    if (format.windows_1252) {
        // Built by appending: GCC 12 at -O3 warns falsely (-Wrestrict) about "'" + std::string.
        std::string message = "'";
        message += path.string();
        message += "' is not UTF-8 text; read it as Windows-1252";
        log.warning(message);
    }
    return table.finish();
}

Table read_excel_by_cells(const std::filesystem::path& path, const CellMapping& mapping) {
    MappedTable table(mapping);
    auto visit = [&](std::uint32_t row, std::uint32_t column, const CellValue& value) {
        table.put(row, column, value);
        return true;
    };
    const auto extension = lower_extension(path);
    if (extension == ".xlsx") {
        XlsxReader(path).for_each_cell(visit);
    } else if (extension == ".xls") {
        XlsReader(path).for_each_cell(visit);
    } else {
        throw Error("'" + path.string() + "' is not an .xlsx or .xls workbook");
    }
    return table.finish();
}

}  // namespace helmkit::excelTools
