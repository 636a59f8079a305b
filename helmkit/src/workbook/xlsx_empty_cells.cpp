// Why cells of a sheet give no value: the facts a reading of values leaves out (formulas,
// merged ranges), gathered in one pass over the whole sheet.
#include <string>

#include "helmkit/workbook/xlsx_reader.hpp"
#include "xlsx_package.hpp"
#include "xml_stream.hpp"

namespace helmkit {

namespace {

class EmptyCellsHandler : public XmlHandler {
public:
    explicit EmptyCellsHandler(const std::vector<CellAddress>& cells)
        : m_cells(cells), m_reasons(cells.size()), m_current(cells.size()) {}

    void start(std::string_view name, const char** attributes) override {
        if (name == "row") {
            std::uint32_t row = m_row + 1;
            parse_unsigned_attribute(find_attribute(attributes, "r"), row);
            m_row = row;
            m_column = 0;
        } else if (name == "c") {
            CellAddress address{m_row, m_column + 1};
            const char* reference = find_attribute(attributes, "r");
            if (reference != nullptr) try_parse_cell_address(reference, address);
            m_column = address.column;
            m_current = index_of(address);
        } else if (name == "f" && m_current < m_cells.size()) {
            if (m_reasons[m_current].kind == EmptyCellReason::Kind::empty) {
                m_reasons[m_current].kind = EmptyCellReason::Kind::formula_without_value;
            }
        } else if (name == "mergeCell") {
            merge(find_attribute(attributes, "ref"));
        }
    }

    void end(std::string_view name) override {
        if (name == "c") m_current = m_cells.size();
    }

    void text(std::string_view) override {}

    std::vector<EmptyCellReason> reasons() const { return m_reasons; }

private:
    std::size_t index_of(const CellAddress& address) const {
        for (std::size_t i = 0; i < m_cells.size(); ++i) {
            if (m_cells[i] == address) return i;
        }
        return m_cells.size();
    }

    void merge(const char* reference) {
        if (reference == nullptr) return;
        const std::string_view range(reference);
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

    const std::vector<CellAddress>& m_cells;
    std::vector<EmptyCellReason> m_reasons;
    std::uint32_t m_row = 0;
    std::uint32_t m_column = 0;
    std::size_t m_current;
};

}  // namespace

std::size_t XlsxReader::sheet_count() const { return m_workbook->sheet_count; }

std::vector<EmptyCellReason> XlsxReader::explain_empty_cells(const std::vector<CellAddress>& cells) {
    auto& workbook = *m_workbook;
    EmptyCellsHandler handler(cells);
    workbook.xml.parse(workbook.archive, workbook.sheet_index, workbook.limit, handler);
    return handler.reasons();
}

}  // namespace helmkit
