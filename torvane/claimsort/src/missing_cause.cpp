#include "missing_cause.hpp"

#include <exception>

#include "helmkit/text/cell_address.hpp"
#include "helmkit/workbook/xlsx_reader.hpp"
#include "torvane/claimsort/command.hpp"

namespace torvane::claimsort {

namespace {

std::string address_text(const helmkit::CellAddress& address) {
    return helmkit::column_letters(address.column) + std::to_string(address.row);
}

std::string reason_text(const std::string& location, const helmkit::EmptyCellReason& reason) {
    using Kind = helmkit::EmptyCellReason::Kind;
    switch (reason.kind) {
        case Kind::formula_without_value:
            return location + " holds a formula whose result was never stored";
        case Kind::merged:
            return location + " lies inside a merged range whose value is in its top-left cell " +
                   address_text(reason.top_left);
        case Kind::empty: break;
    }
    return location + " is empty";
}

}  // namespace

std::string missing_cells_cause(const std::string& file_path,
                                const std::vector<std::string>& cell_locations,
                                const std::vector<helmkit::CellValue>& values) {
    if (!HAS_OPENPYXL) return {};
    try {
        std::vector<std::string> missing;
        std::vector<helmkit::CellAddress> cells;
        for (std::size_t i = 0; i < cell_locations.size() && i < values.size(); ++i) {
            if (!helmkit::is_missing(values[i])) continue;
            missing.push_back(cell_locations[i]);
            cells.push_back(helmkit::parse_cell_address(cell_locations[i]));
        }
        if (cells.empty()) return {};
        helmkit::XlsxReader workbook(file_path);
        const auto reasons = workbook.explain_empty_cells(cells);
        std::string line = "Cause: ";
        bool formulas = false;
        for (std::size_t i = 0; i < reasons.size(); ++i) {
            line += (i == 0 ? "" : "; ") + reason_text(missing[i], reasons[i]);
            formulas = formulas ||
                       reasons[i].kind == helmkit::EmptyCellReason::Kind::formula_without_value;
        }
        if (formulas) line += "; the workbook was written by a program that does not compute formulas";
        line += "; the sheet read is '" + workbook.sheet_name() + "'";
        if (workbook.sheet_count() > 1) {
            line += ", the active one of " + std::to_string(workbook.sheet_count()) +
                    " sheets (the others are not read)";
        }
        return line;
    } catch (const std::exception&) {
        // The reading error is logged already; there is no cause to add to it.
        return {};
    }
}

}  // namespace torvane::claimsort
