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

// Collects the cells of the mapped columns while a file streams by and makes the table.
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
            const std::size_t at = row - first_row;
            if (at >= cells.size()) cells.resize(at + 1);
            // Two names may map the same column; only the last one can take the value over.
            cells[at] = i + 1 == targets.size() ? std::move(value) : value;
        }
    }

    Table finish() {
        std::size_t rows = 0;
        for (const auto& cells : m_cells) rows = std::max(rows, cells.size());
        for (auto& cells : m_cells) cells.resize(rows);
        std::vector<std::size_t> kept;
        for (std::size_t row = 0; row < rows; ++row) {
            const bool any = std::any_of(m_cells.begin(), m_cells.end(),
                                         [&](const auto& cells) { return !is_missing(cells[row]); });
            if (any) kept.push_back(row);
        }
        Table table;
        for (std::size_t i = 0; i < m_cells.size(); ++i) {
            std::vector<CellValue> cells;
            if (kept.size() == rows) {
                cells = std::move(m_cells[i]);
            } else {
                cells.reserve(kept.size());
                for (const auto row : kept) cells.push_back(std::move(m_cells[i][row]));
            }
            table.add_column((*m_mapping)[i].first, std::move(cells));
        }
        return table;
    }

private:
    const CellMapping* m_mapping = nullptr;
    std::vector<CellAddress> m_starts;
    std::vector<std::vector<std::size_t>> m_by_column;
    std::vector<std::vector<CellValue>> m_cells;
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
