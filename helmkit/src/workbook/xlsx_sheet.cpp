#include "xlsx_sheet.hpp"

#include <charconv>
#include <cmath>

#include "helmkit/base/error.hpp"
#include "helmkit/text/cell_address.hpp"
#include "workbook_dates.hpp"

namespace helmkit::detail {

namespace {

CellType cell_type_of(const char* t) {
    if (t == nullptr) return CellType::number;
    const std::string_view type(t);
    if (type == "s") return CellType::shared_string;
    if (type == "str") return CellType::formula_string;
    if (type == "inlineStr") return CellType::inline_string;
    if (type == "b") return CellType::boolean;
    if (type == "e") return CellType::error;
    if (type == "d") return CellType::date;
    return CellType::number;
}

void set_text(CellValue& value, std::string_view text) {
    if (auto* existing = std::get_if<std::string>(&value)) {
        existing->assign(text);
    } else {
        value.emplace<std::string>(text);
    }
}

// Streams <sheetData>: keeps the position, type, style and text of the current cell in a
// reused RawCell and hands each finished, non-empty cell to the sink.
class SheetHandler : public XmlHandler {
public:
    SheetHandler(const XlsxWorkbook& workbook, XmlStream& xml, CellSink& sink)
        : m_workbook(workbook), m_xml(xml), m_sink(sink) {}

    void start(std::string_view name, const char** attributes) override {
        if (name == "c") {
            start_cell(attributes);
        } else if (!m_in_cell) {
            if (name == "row") {
                start_row(attributes);
            } else if (name == "mergeCell") {
                if (const char* range = find_attribute(attributes, "ref")) m_sink.merged_range(range);
            }
        } else if (name == "f") {
            m_formula = true;
        } else if (name == "v") {
            m_capture = !m_in_inline;
        } else if (name == "is") {
            m_in_inline = true;
        } else if (name == "rPh") {
            m_in_phonetic = true;
        } else if (name == "t" && m_in_inline && !m_in_phonetic) {
            m_capture = true;
        }
    }

    void end(std::string_view name) override {
        if (!m_in_cell) return;
        if (name == "v" || name == "t") {
            m_capture = false;
        } else if (name == "rPh") {
            m_in_phonetic = false;
        } else if (name == "c") {
            m_in_cell = false;
            if (m_cell.has_text || m_cell.type == CellType::inline_string) {
                if (!m_sink.take(m_cell)) m_xml.stop();
            } else if (m_formula) {
                m_sink.formula_without_value(m_cell);
            }
        }
    }

    void text(std::string_view data) override {
        if (m_capture) {
            m_cell.text.append(data);
            m_cell.has_text = true;
        }
    }

private:
    // A row number comes from the row's "r" or from counting rows; one beyond the sheet's
    // last row is refused, so nothing downstream is ever sized by a hostile number.
    void start_row(const char** attributes) {
        const char* number = find_attribute(attributes, "r");
        std::uint64_t row = std::uint64_t{m_cell.row} + 1;
        if (number != nullptr && *number != '\0' &&
            std::string_view(number).find_first_not_of("0123456789") != std::string_view::npos) {
            throw Error(m_workbook.archive.describe(
                "bad row number '" + std::string(number).substr(0, 24) + "'"));
        }
        if (number != nullptr && *number != '\0') {
            row = 0;
            for (const char* digit = number; *digit != '\0' && row <= k_max_sheet_rows; ++digit) {
                row = row * 10 + static_cast<std::uint64_t>(*digit - '0');
            }
            if (row == 0) {
                throw Error(m_workbook.archive.describe("row number 0 does not exist (rows count "
                                                        "from 1)"));
            }
        }
        if (row > k_max_sheet_rows) {
            throw Error(m_workbook.archive.describe(
                "row " + (number != nullptr ? std::string(number).substr(0, 24)
                                            : std::to_string(row)) +
                " is beyond the last row a sheet can have (" + std::to_string(k_max_sheet_rows) +
                ")"));
        }
        m_cell.row = static_cast<std::uint32_t>(row);
        m_cell.column = 0;
    }

    void start_cell(const char** attributes) {
        m_in_cell = true;
        m_formula = false;
        m_in_inline = false;
        m_in_phonetic = false;
        m_capture = false;
        m_cell.has_text = false;
        m_cell.text.clear();
        m_cell.style = 0;
        m_cell.type = CellType::number;
        const char* reference = nullptr;
        for (const char** attribute = attributes; attribute[0] != nullptr; attribute += 2) {
            const std::string_view key(attribute[0]);
            if (key == "r") {
                reference = attribute[1];
            } else if (key == "t") {
                m_cell.type = cell_type_of(attribute[1]);
            } else if (key == "s") {
                parse_unsigned_attribute(attribute[1], m_cell.style);
            }
        }
        if (reference != nullptr) {
            CellAddress address{};
            if (!try_parse_cell_address(reference, address)) {
                const std::string text = std::string(reference).substr(0, 24);
                if (looks_like_cell_address(text)) {
                    throw Error(m_workbook.archive.describe(
                        "cell " + text + " is beyond the last row (" +
                        std::to_string(k_max_sheet_rows) + ") or column (XFD) a sheet can have"));
                }
                throw Error(m_workbook.archive.describe("bad cell reference '" + text + "'"));
            }
            m_cell.row = address.row;
            m_cell.column = address.column;
        } else if (++m_cell.column > k_max_sheet_columns) {
            throw Error(m_workbook.archive.describe(
                "row " + std::to_string(m_cell.row) + " has a cell beyond the last column a sheet "
                "can have (XFD)"));
        }
    }

    const XlsxWorkbook& m_workbook;
    XmlStream& m_xml;
    CellSink& m_sink;
    RawCell m_cell;
    bool m_in_cell = false;
    bool m_formula = false;
    bool m_in_inline = false;
    bool m_in_phonetic = false;
    bool m_capture = false;
};

}  // namespace

bool parse_string_index(const std::string& text, std::uint32_t& index) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), index);
    return error == std::errc() && end == text.data() + text.size();
}

void CellMaker::fail(const RawCell& cell, std::string_view what) const {
    throw Error(m_workbook.archive.describe("cell " + column_letters(cell.column) +
                                            std::to_string(cell.row) + " " + std::string(what) +
                                            " '" + cell.text + "'"));
}

void CellMaker::fail_string(const RawCell& cell) const {
    fail(cell, "names a shared string that does not exist:");
}

void CellMaker::make_number(const RawCell& cell, CellValue& value, bool dates) const {
    const char* first = cell.text.data();
    const char* last = first + cell.text.size();
    const bool date_style = dates && is_date_style(cell.style);
    const bool integral = cell.text.find_first_of(".eE") == std::string::npos;
    if (integral) {
        std::int64_t whole = 0;
        const auto [end, error] = std::from_chars(first, last, whole);
        if (error == std::errc() && end == last) {
            if (date_style) {
                if (auto date =
                        serial_to_date_time(static_cast<double>(whole), m_workbook.date1904)) {
                    value = *date;
                    return;
                }
            }
            value = whole;
            return;
        }
    }
    double real = 0.0;
    const auto [end, error] = std::from_chars(first, last, real);
    if (error != std::errc() || end != last || !std::isfinite(real)) {
        fail(cell, "holds a bad number");
    }
    if (date_style) {
        if (auto date = serial_to_date_time(real, m_workbook.date1904)) {
            value = *date;
            return;
        }
    }
    value = real;
}

void CellMaker::make(RawCell& cell, CellValue& value) const {
    switch (cell.type) {
        case CellType::number: make_number(cell, value, true); break;
        case CellType::shared_string: {
            std::uint32_t index = 0;
            if (!parse_string_index(cell.text, index) || index >= m_workbook.strings.count()) {
                fail_string(cell);
            }
            set_text(value, m_workbook.strings.at(index));
            break;
        }
        case CellType::inline_string:
        case CellType::formula_string:
        case CellType::error:
            decode_escapes(cell.text);
            set_text(value, cell.text);
            break;
        case CellType::boolean: value = cell.text == "1" || cell.text == "true"; break;
        case CellType::date: {
            if (auto date = parse_iso_date_time(cell.text)) {
                value = *date;
            } else {
                set_text(value, cell.text);
            }
            break;
        }
    }
}

bool CellMaker::is_date_style(std::uint32_t style) const {
    return style < m_workbook.date_styles.size() && m_workbook.date_styles[style];
}

void stream_sheet(XlsxWorkbook& workbook, CellSink& sink) {
    SheetHandler handler(workbook, workbook.xml, sink);
    workbook.xml.parse(workbook.archive, workbook.sheet_index, workbook.limit, handler);
}

}  // namespace helmkit::detail
