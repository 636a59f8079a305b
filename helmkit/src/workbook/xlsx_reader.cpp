#include "helmkit/workbook/xlsx_reader.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <unordered_map>
#include <utility>

#include "helmkit/base/error.hpp"
#include "workbook_dates.hpp"
#include "xml_stream.hpp"
#include "zip_archive.hpp"

namespace helmkit {

namespace {

constexpr std::uint32_t k_max_row = 1'048'576;
constexpr std::uint32_t k_max_column = 16'384;

// Parses "D6" / "$D$6" without throwing; the sheet reader calls it for every cell.
bool parse_address(std::string_view text, CellAddress& address) {
    std::size_t i = 0;
    if (i < text.size() && text[i] == '$') ++i;
    std::uint32_t column = 0;
    const std::size_t letters_start = i;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        const bool upper = c >= 'A' && c <= 'Z';
        const bool lower = c >= 'a' && c <= 'z';
        if (!upper && !lower) break;
        column = column * 26 + static_cast<std::uint32_t>((upper ? c - 'A' : c - 'a') + 1);
        if (column > k_max_column) return false;
    }
    if (i == letters_start) return false;
    if (i < text.size() && text[i] == '$') ++i;
    std::uint32_t row = 0;
    const std::size_t digits_start = i;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return false;
        row = row * 10 + static_cast<std::uint32_t>(c - '0');
        if (row > k_max_row) return false;
    }
    if (i == digits_start || row == 0) return false;
    address = {row, column};
    return true;
}

bool parse_unsigned(const char* text, std::uint32_t& value) {
    if (text == nullptr) return false;
    const std::string_view view(text);
    const auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), value);
    return error == std::errc() && end == view.data() + view.size();
}

bool is_true_flag(const char* text) {
    return text != nullptr && (std::string_view(text) == "1" || std::string_view(text) == "true");
}

// OOXML writes characters that XML cannot hold as "_xHHHH_" (for example "_x000D_").
void decode_escapes(std::string& text) {
    if (text.find("_x") == std::string::npos) return;
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned code = 0;
        if (text[i] == '_' && i + 6 < text.size() && text[i + 1] == 'x' && text[i + 6] == '_') {
            const auto [end, error] = std::from_chars(&text[i + 2], &text[i + 6], code, 16);
            if (error == std::errc() && end == &text[i + 6]) {
                if (code < 0x80) {
                    decoded.push_back(static_cast<char>(code));
                } else if (code < 0x800) {
                    decoded.push_back(static_cast<char>(0xC0 | (code >> 6)));
                    decoded.push_back(static_cast<char>(0x80 | (code & 0x3F)));
                } else {
                    decoded.push_back(static_cast<char>(0xE0 | (code >> 12)));
                    decoded.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
                    decoded.push_back(static_cast<char>(0x80 | (code & 0x3F)));
                }
                i += 6;
                continue;
            }
        }
        decoded.push_back(text[i]);
    }
    text = std::move(decoded);
}

// Resolves a relationship target against the folder of the part that names it.
std::string resolve_target(std::string_view base_folder, std::string_view target) {
    std::string joined = !target.empty() && target.front() == '/'
                             ? std::string(target.substr(1))
                             : std::string(base_folder) + std::string(target);
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= joined.size()) {
        const auto slash = std::min(joined.find('/', start), joined.size());
        const std::string part = joined.substr(start, slash - start);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = slash + 1;
    }
    std::string result;
    for (const auto& part : parts) {
        if (!result.empty()) result += '/';
        result += part;
    }
    return result;
}

std::string folder_of(std::string_view part) {
    const auto slash = part.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(part.substr(0, slash + 1));
}

struct Relationship {
    std::string type;
    std::string target;
};

class RelationshipsHandler : public XmlHandler {
public:
    explicit RelationshipsHandler(std::unordered_map<std::string, Relationship>& out) : m_out(out) {}
    void start(std::string_view name, const char** attributes) override {
        if (name != "Relationship") return;
        const char* id = find_attribute(attributes, "Id");
        const char* type = find_attribute(attributes, "Type");
        const char* target = find_attribute(attributes, "Target");
        if (id != nullptr && target != nullptr) {
            m_out[id] = {type != nullptr ? type : "", target};
        }
    }
    void end(std::string_view) override {}
    void text(std::string_view) override {}

private:
    std::unordered_map<std::string, Relationship>& m_out;
};

struct SheetEntry {
    std::string name;
    std::string relationship;
};

class WorkbookHandler : public XmlHandler {
public:
    std::vector<SheetEntry> sheets;
    std::uint32_t active_tab = 0;
    bool date1904 = false;

    void start(std::string_view name, const char** attributes) override {
        if (name == "workbookPr") {
            date1904 = is_true_flag(find_attribute(attributes, "date1904"));
        } else if (name == "workbookView" && !m_seen_view) {
            m_seen_view = true;
            parse_unsigned(find_attribute(attributes, "activeTab"), active_tab);
        } else if (name == "sheet") {
            const char* sheet_name = find_attribute(attributes, "name");
            const char* id = find_attribute(attributes, "id");
            sheets.push_back({sheet_name != nullptr ? sheet_name : "", id != nullptr ? id : ""});
        }
    }
    void end(std::string_view) override {}
    void text(std::string_view) override {}

private:
    bool m_seen_view = false;
};

// Keeps, for every cell style (cellXfs entry), whether its number format is a date format.
class StylesHandler : public XmlHandler {
public:
    std::vector<bool> date_styles;

    void start(std::string_view name, const char** attributes) override {
        if (name == "numFmt") {
            std::uint32_t id = 0;
            const char* code = find_attribute(attributes, "formatCode");
            if (parse_unsigned(find_attribute(attributes, "numFmtId"), id) && code != nullptr) {
                m_custom[id] = is_date_format_code(code);
            }
        } else if (name == "cellXfs") {
            m_in_cell_xfs = true;
        } else if (name == "xf" && m_in_cell_xfs) {
            std::uint32_t id = 0;
            parse_unsigned(find_attribute(attributes, "numFmtId"), id);
            const auto custom = m_custom.find(id);
            date_styles.push_back(custom != m_custom.end() ? custom->second
                                                           : is_builtin_date_format(id));
        }
    }
    void end(std::string_view name) override {
        if (name == "cellXfs") m_in_cell_xfs = false;
    }
    void text(std::string_view) override {}

private:
    std::unordered_map<std::uint32_t, bool> m_custom;
    bool m_in_cell_xfs = false;
};

// Collects the shared strings into one pool; rich-text runs are joined, phonetic runs skipped.
class SharedStringsHandler : public XmlHandler {
public:
    std::string pool;
    std::vector<std::pair<std::size_t, std::size_t>> spans;  // offset, length in `pool`

    void start(std::string_view name, const char**) override {
        if (name == "si") {
            m_current.clear();
        } else if (name == "rPh") {
            m_in_phonetic = true;
        } else if (name == "t" && !m_in_phonetic) {
            m_capture = true;
        }
    }
    void end(std::string_view name) override {
        if (name == "t") {
            m_capture = false;
        } else if (name == "rPh") {
            m_in_phonetic = false;
        } else if (name == "si") {
            decode_escapes(m_current);
            spans.emplace_back(pool.size(), m_current.size());
            pool += m_current;
        }
    }
    void text(std::string_view data) override {
        if (m_capture) m_current.append(data);
    }

private:
    std::string m_current;
    bool m_capture = false;
    bool m_in_phonetic = false;
};

}  // namespace

CellAddress parse_cell_address(std::string_view address) {
    CellAddress result{};
    if (!parse_address(address, result)) {
        throw Error("'" + std::string(address) +
                    "' is not a cell address (column letters and a row number, such as D6)");
    }
    return result;
}

namespace detail {

// The opened archive and what the sheet reader needs from the other parts.
struct XlsxWorkbook {
    ZipArchive archive;
    std::uint64_t limit;
    XmlStream xml;
    std::string sheet_name;
    std::uint64_t sheet_index = 0;
    bool date1904 = false;
    std::vector<bool> date_styles;
    std::string strings_pool;
    std::vector<std::pair<std::size_t, std::size_t>> string_spans;

    XlsxWorkbook(const std::filesystem::path& path, std::uint64_t max_entry_size)
        : archive(path), limit(max_entry_size) {}

    std::uint64_t require(const std::string& part) const {
        const auto index = archive.find(part);
        if (!index) throw Error(archive.describe("part '" + part + "' is missing"));
        return *index;
    }

    void parse_part(const std::string& part, XmlHandler& handler) {
        xml.parse(archive, require(part), limit, handler);
    }

    std::unordered_map<std::string, Relationship> relationships_of(const std::string& part) {
        std::unordered_map<std::string, Relationship> result;
        const auto slash = part.rfind('/');
        const std::string rels = (slash == std::string::npos ? std::string() : part.substr(0, slash + 1)) +
                                 "_rels/" + part.substr(slash == std::string::npos ? 0 : slash + 1) +
                                 ".rels";
        if (const auto index = archive.find(rels)) {
            RelationshipsHandler handler(result);
            xml.parse(archive, *index, limit, handler);
        }
        return result;
    }

    static const Relationship* find_by_type(
        const std::unordered_map<std::string, Relationship>& relationships,
        std::string_view type_suffix) {
        for (const auto& [id, relationship] : relationships) {
            if (relationship.type.ends_with(type_suffix)) return &relationship;
        }
        return nullptr;
    }

    void load() {
        std::string workbook_part = "xl/workbook.xml";
        if (const auto index = archive.find("_rels/.rels")) {
            std::unordered_map<std::string, Relationship> root;
            RelationshipsHandler handler(root);
            xml.parse(archive, *index, limit, handler);
            if (const auto* office = find_by_type(root, "/officeDocument")) {
                workbook_part = resolve_target("", office->target);
            }
        }
        WorkbookHandler workbook;
        parse_part(workbook_part, workbook);
        if (workbook.sheets.empty()) throw Error(archive.describe("the workbook has no sheet"));
        date1904 = workbook.date1904;
        const std::size_t active =
            workbook.active_tab < workbook.sheets.size() ? workbook.active_tab : 0;
        sheet_name = workbook.sheets[active].name;

        const std::string base = folder_of(workbook_part);
        const auto relationships = relationships_of(workbook_part);
        const auto sheet_rel = relationships.find(workbook.sheets[active].relationship);
        if (sheet_rel == relationships.end()) {
            throw Error(archive.describe("sheet '" + sheet_name + "' has no part"));
        }
        sheet_index = require(resolve_target(base, sheet_rel->second.target));

        if (const auto* styles = find_by_type(relationships, "/styles")) {
            StylesHandler handler;
            parse_part(resolve_target(base, styles->target), handler);
            date_styles = std::move(handler.date_styles);
        }
        if (const auto* strings = find_by_type(relationships, "/sharedStrings")) {
            SharedStringsHandler handler;
            parse_part(resolve_target(base, strings->target), handler);
            strings_pool = std::move(handler.pool);
            string_spans = std::move(handler.spans);
        }
    }
};

}  // namespace detail

namespace {

enum class CellType { number, shared_string, inline_string, formula_string, boolean, error, date };

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

// Streams <sheetData>: keeps the position, type and style of the current cell and the text of
// its <v> (or inline <t>) in reused buffers, and hands each finished cell to the visitor.
class SheetHandler : public XmlHandler {
public:
    using Visit = std::function<bool(std::uint32_t, std::uint32_t, const CellValue&)>;

    SheetHandler(const detail::XlsxWorkbook& workbook, XmlStream& xml, const Visit& visit)
        : m_workbook(workbook), m_xml(xml), m_visit(visit) {}

    void start(std::string_view name, const char** attributes) override {
        if (name == "c") {
            start_cell(attributes);
        } else if (!m_in_cell) {
            if (name == "row") start_row(attributes);
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
            finish_cell();
        }
    }

    void text(std::string_view data) override {
        if (m_capture) {
            m_text.append(data);
            m_has_text = true;
        }
    }

private:
    void start_row(const char** attributes) {
        std::uint32_t row = 0;
        m_row = parse_unsigned(find_attribute(attributes, "r"), row) ? row : m_row + 1;
        m_column = 0;
    }

    void start_cell(const char** attributes) {
        m_in_cell = true;
        m_in_inline = false;
        m_in_phonetic = false;
        m_capture = false;
        m_has_text = false;
        m_text.clear();
        m_style = 0;
        m_type = CellType::number;
        const char* reference = nullptr;
        for (const char** attribute = attributes; attribute[0] != nullptr; attribute += 2) {
            const std::string_view key(attribute[0]);
            if (key == "r") {
                reference = attribute[1];
            } else if (key == "t") {
                m_type = cell_type_of(attribute[1]);
            } else if (key == "s") {
                parse_unsigned(attribute[1], m_style);
            }
        }
        if (reference != nullptr) {
            CellAddress address{};
            if (!parse_address(reference, address)) {
                throw Error(m_workbook.archive.describe("bad cell reference '" +
                                                        std::string(reference) + "'"));
            }
            m_row = address.row;
            m_column = address.column;
        } else {
            ++m_column;
        }
    }

    bool is_date_style() const {
        return m_style < m_workbook.date_styles.size() && m_workbook.date_styles[m_style];
    }

    [[noreturn]] void fail(std::string_view what) const {
        throw Error(m_workbook.archive.describe("cell " + column_name() + std::to_string(m_row) +
                                                " " + std::string(what) + " '" + m_text + "'"));
    }

    std::string column_name() const {
        std::string letters;
        for (std::uint32_t n = m_column; n > 0; n = (n - 1) / 26) {
            letters.insert(letters.begin(), static_cast<char>('A' + (n - 1) % 26));
        }
        return letters;
    }

    void set_number() {
        const char* first = m_text.data();
        const char* last = first + m_text.size();
        const bool integral = m_text.find_first_of(".eE") == std::string::npos;
        if (integral) {
            std::int64_t whole = 0;
            const auto [end, error] = std::from_chars(first, last, whole);
            if (error == std::errc() && end == last) {
                if (is_date_style()) {
                    if (auto date = serial_to_date_time(static_cast<double>(whole),
                                                        m_workbook.date1904)) {
                        m_value = *date;
                        return;
                    }
                }
                m_value = whole;
                return;
            }
        }
        double real = 0.0;
        const auto [end, error] = std::from_chars(first, last, real);
        if (error != std::errc() || end != last || !std::isfinite(real)) fail("holds a bad number");
        if (is_date_style()) {
            if (auto date = serial_to_date_time(real, m_workbook.date1904)) {
                m_value = *date;
                return;
            }
        }
        m_value = real;
    }

    void finish_cell() {
        if (!m_has_text && m_type != CellType::inline_string) return;
        switch (m_type) {
            case CellType::number: set_number(); break;
            case CellType::shared_string: {
                std::uint32_t index = 0;
                const auto [end, error] =
                    std::from_chars(m_text.data(), m_text.data() + m_text.size(), index);
                if (error != std::errc() || end != m_text.data() + m_text.size() ||
                    index >= m_workbook.string_spans.size()) {
                    fail("names a shared string that does not exist:");
                }
                const auto [offset, length] = m_workbook.string_spans[index];
                set_text(m_value, std::string_view(m_workbook.strings_pool).substr(offset, length));
                break;
            }
            case CellType::inline_string:
            case CellType::formula_string:
            case CellType::error:
                decode_escapes(m_text);
                set_text(m_value, m_text);
                break;
            case CellType::boolean: m_value = m_text == "1" || m_text == "true"; break;
            case CellType::date: {
                if (auto date = parse_iso_date_time(m_text)) {
                    m_value = *date;
                } else {
                    set_text(m_value, m_text);
                }
                break;
            }
        }
        if (!m_visit(m_row, m_column, m_value)) m_xml.stop();
    }

    const detail::XlsxWorkbook& m_workbook;
    XmlStream& m_xml;
    const Visit& m_visit;
    CellValue m_value;
    std::string m_text;
    std::uint32_t m_row = 0;
    std::uint32_t m_column = 0;
    std::uint32_t m_style = 0;
    CellType m_type = CellType::number;
    bool m_in_cell = false;
    bool m_in_inline = false;
    bool m_in_phonetic = false;
    bool m_capture = false;
    bool m_has_text = false;
};

}  // namespace

XlsxReader::XlsxReader(const std::filesystem::path& path, std::uint64_t max_entry_size)
    : m_workbook(std::make_unique<detail::XlsxWorkbook>(path, max_entry_size)) {
    m_workbook->load();
}

XlsxReader::~XlsxReader() = default;
XlsxReader::XlsxReader(XlsxReader&&) noexcept = default;
XlsxReader& XlsxReader::operator=(XlsxReader&&) noexcept = default;

const std::string& XlsxReader::active_sheet_name() const { return m_workbook->sheet_name; }

void XlsxReader::for_each_cell(
    const std::function<bool(std::uint32_t row, std::uint32_t column, const CellValue& value)>&
        visit) {
    SheetHandler handler(*m_workbook, m_workbook->xml, visit);
    m_workbook->xml.parse(m_workbook->archive, m_workbook->sheet_index, m_workbook->limit, handler);
}

std::vector<CellValue> XlsxReader::read_cells(const std::vector<CellAddress>& cells) {
    std::vector<CellValue> values(cells.size());
    if (cells.empty()) return values;
    std::uint32_t last_row = 0;
    for (const auto& cell : cells) last_row = std::max(last_row, cell.row);
    std::size_t remaining = cells.size();
    std::vector<bool> found(cells.size(), false);
    for_each_cell([&](std::uint32_t row, std::uint32_t column, const CellValue& value) {
        if (row > last_row) return false;
        for (std::size_t i = 0; i < cells.size(); ++i) {
            if (!found[i] && cells[i].row == row && cells[i].column == column) {
                values[i] = value;
                found[i] = true;
                --remaining;
            }
        }
        return remaining > 0;
    });
    return values;
}

}  // namespace helmkit
