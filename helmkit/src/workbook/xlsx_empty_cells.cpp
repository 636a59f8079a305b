// Why cells of a sheet give no value: the facts a reading of values leaves out (formulas
// without a stored result, merged ranges), gathered in one pass over the whole sheet.
#include <string>

#include "helmkit/workbook/xlsx_reader.hpp"
#include "xlsx_package.hpp"
#include "xlsx_sheet.hpp"

namespace helmkit {

namespace {

class EmptyCellsSink : public detail::CellSink {
public:
    explicit EmptyCellsSink(const std::vector<CellAddress>& cells)
        : m_cells(cells), m_reasons(cells.size()) {}

    bool take(detail::RawCell&) override { return true; }

    void formula_without_value(const detail::RawCell& cell) override {
        for (std::size_t i = 0; i < m_cells.size(); ++i) {
            if (m_cells[i] == CellAddress{cell.row, cell.column} &&
                m_reasons[i].kind == EmptyCellReason::Kind::empty) {
                m_reasons[i].kind = EmptyCellReason::Kind::formula_without_value;
            }
        }
    }

    void merged_range(std::string_view range) override {
        const auto colon = range.find(':');
        CellAddress first{};
        CellAddress last{};
        if (colon == std::string_view::npos || !try_parse_cell_address(range.substr(0, colon), first) ||
            !try_parse_cell_address(range.substr(colon + 1), last)) {
            return;
        }
        for (std::size_t i = 0; i < m_cells.size(); ++i) {
            const auto& cell = m_cells[i];
            const bool inside = cell.row >= first.row && cell.row <= last.row &&
                                cell.column >= first.column && cell.column <= last.column;
            if (inside && !(cell == first)) m_reasons[i] = {EmptyCellReason::Kind::merged, first};
        }
    }

    std::vector<EmptyCellReason> reasons() const { return m_reasons; }

private:
    const std::vector<CellAddress>& m_cells;
    std::vector<EmptyCellReason> m_reasons;
};

}  // namespace

std::vector<EmptyCellReason> XlsxReader::explain_empty_cells(const std::vector<CellAddress>& cells) {
    EmptyCellsSink sink(cells);
    detail::stream_sheet(*m_workbook, sink);
    return sink.reasons();
}

}  // namespace helmkit
