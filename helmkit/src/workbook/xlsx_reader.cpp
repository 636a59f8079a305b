#include "helmkit/workbook/xlsx_reader.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <exception>
#include <limits>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

#include "helmkit/base/error.hpp"
#include "shared_strings.hpp"
#include "workbook_dates.hpp"
#include "xml_stream.hpp"
#include "zip_archive.hpp"

namespace helmkit {

namespace {

constexpr std::uint32_t k_max_row = k_max_sheet_rows;
constexpr std::uint32_t k_max_column = k_max_sheet_columns;

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

// Whether `text` has the shape of an address (letters, then digits, "$" allowed before each),
// whatever the size of its numbers.
bool looks_like_address(std::string_view text) {
    std::size_t i = text.starts_with('$') ? 1 : 0;
    const std::size_t letters = i;
    while (i < text.size() && std::isalpha(static_cast<unsigned char>(text[i])) != 0) ++i;
    if (i == letters) return false;
    if (i < text.size() && text[i] == '$') ++i;
    const std::size_t digits = i;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) != 0) ++i;
    return i > digits && i == text.size();
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

// Keeps, for every cell style (cellXfs entry) up to style `last`, whether its number format is
// a date format; the number formats come before the cell styles, so nothing after is read.
class StylesHandler : public XmlHandler {
public:
    StylesHandler(XmlStream& xml, std::uint32_t last) : m_xml(xml), m_last(last) {}

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
            if (date_styles.size() > m_last) m_xml.stop();
        }
    }
    void end(std::string_view name) override {
        if (name == "cellXfs") m_in_cell_xfs = false;
    }
    void text(std::string_view) override {}

private:
    XmlStream& m_xml;
    std::uint32_t m_last;
    std::unordered_map<std::uint32_t, bool> m_custom;
    bool m_in_cell_xfs = false;
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

// The opened archive, where its parts are, and what has been read of the strings and styles.
struct XlsxWorkbook {
    ZipArchive archive;
    std::uint64_t limit;
    XmlStream xml;
    std::string sheet_name;
    std::uint64_t sheet_index = 0;
    bool date1904 = false;
    std::optional<std::string> styles_part;
    std::optional<std::string> strings_part;
    std::vector<bool> date_styles;
    std::optional<std::uint32_t> styles_read_to;
    SharedStrings strings;
    bool strings_cover_sheet = false;

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

    // Finds the active sheet and the styles and strings parts; reads neither of those two.
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
            styles_part = resolve_target(base, styles->target);
        }
        if (const auto* strings = find_by_type(relationships, "/sharedStrings")) {
            strings_part = resolve_target(base, strings->target);
        }
    }

    // Makes sure the date flags of the cell styles up to `last` are known.
    void load_styles(std::uint32_t last) {
        if (!styles_part || (styles_read_to && *styles_read_to >= last)) return;
        StylesHandler handler(xml, last);
        parse_part(*styles_part, handler);
        date_styles = std::move(handler.date_styles);
        styles_read_to = last;
    }

    // Reads the shared strings numbered in `wanted` (all when null), up to string `last`.
    void load_strings(const std::vector<std::uint32_t>* wanted, std::uint32_t last) {
        strings = SharedStrings();
        strings_cover_sheet = false;
        if (strings_part) {
            strings.load(xml, archive, require(*strings_part), limit, wanted, last);
        }
    }

    std::uint64_t strings_part_size() const {
        return strings_part ? archive.size_of(require(*strings_part)) : 0;
    }
};

}  // namespace detail

namespace {

// A strings part up to this size is kept whole for a reading of the whole sheet; a larger one
// keeps only the strings that the sheet uses, found by reading the sheet once more first.
constexpr std::uint64_t k_whole_strings_part = std::uint64_t{64} << 20;

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

std::string column_name(std::uint32_t column) {
    std::string letters;
    for (std::uint32_t n = column; n > 0; n = (n - 1) / 26) {
        letters.insert(letters.begin(), static_cast<char>('A' + (n - 1) % 26));
    }
    return letters;
}

// One cell as the sheet stores it, before its value is made.
struct RawCell {
    std::uint32_t row = 0;
    std::uint32_t column = 0;
    std::uint32_t style = 0;
    CellType type = CellType::number;
    bool has_text = false;
    std::string text;
};

bool parse_index(const std::string& text, std::uint32_t& index) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), index);
    return error == std::errc() && end == text.data() + text.size();
}

// Makes cell values from raw cells with what the workbook has read of its strings and styles.
class CellMaker {
public:
    explicit CellMaker(const detail::XlsxWorkbook& workbook) : m_workbook(workbook) {}

    [[noreturn]] void fail(const RawCell& cell, std::string_view what) const {
        throw Error(m_workbook.archive.describe("cell " + column_name(cell.column) +
                                                std::to_string(cell.row) + " " +
                                                std::string(what) + " '" + cell.text + "'"));
    }

    // Sets `value` to the number (or, with `dates` and a date style, the date-time) that
    // `cell` holds. Throws Error when its text is no number.
    void make_number(const RawCell& cell, CellValue& value, bool dates) const {
        const char* first = cell.text.data();
        const char* last = first + cell.text.size();
        const bool date_style = dates && is_date_style(cell.style);
        const bool integral = cell.text.find_first_of(".eE") == std::string::npos;
        if (integral) {
            std::int64_t whole = 0;
            const auto [end, error] = std::from_chars(first, last, whole);
            if (error == std::errc() && end == last) {
                if (date_style) {
                    if (auto date = serial_to_date_time(static_cast<double>(whole),
                                                        m_workbook.date1904)) {
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

    [[noreturn]] void fail_string(const RawCell& cell) const {
        fail(cell, "names a shared string that does not exist:");
    }

    // Sets `value` to the value of `cell`, whose text it may decode in place. Throws Error for
    // a bad number or a shared string that does not exist.
    void make(RawCell& cell, CellValue& value) const {
        switch (cell.type) {
            case CellType::number: make_number(cell, value, true); break;
            case CellType::shared_string: {
                std::uint32_t index = 0;
                if (!parse_index(cell.text, index) || index >= m_workbook.strings.count()) {
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

private:
    bool is_date_style(std::uint32_t style) const {
        return style < m_workbook.date_styles.size() && m_workbook.date_styles[style];
    }

    const detail::XlsxWorkbook& m_workbook;
};

// Receives the non-empty cells of a sheet in file order; returns false to end the reading.
class CellSink {
public:
    virtual ~CellSink() = default;
    virtual bool take(RawCell& cell) = 0;
};

// Streams <sheetData>: keeps the position, type, style and text of the current cell in a
// reused RawCell and hands each finished, non-empty cell to the sink.
class SheetHandler : public XmlHandler {
public:
    SheetHandler(const detail::XlsxWorkbook& workbook, XmlStream& xml, CellSink& sink)
        : m_workbook(workbook), m_xml(xml), m_sink(sink) {}

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
            if (m_cell.has_text || m_cell.type == CellType::inline_string) {
                if (!m_sink.take(m_cell)) m_xml.stop();
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
            std::string_view(number).find_first_not_of("0123456789") == std::string_view::npos) {
            row = 0;
            for (const char* digit = number; *digit != '\0' && row <= k_max_row; ++digit) {
                row = row * 10 + static_cast<std::uint64_t>(*digit - '0');
            }
            if (row == 0) {
                throw Error(m_workbook.archive.describe("row number 0 does not exist (rows count "
                                                        "from 1)"));
            }
        }
        if (row > k_max_row) {
            throw Error(m_workbook.archive.describe(
                "row " + (number != nullptr ? std::string(number).substr(0, 24)
                                            : std::to_string(row)) +
                " is beyond the last row a sheet can have (" + std::to_string(k_max_row) + ")"));
        }
        m_cell.row = static_cast<std::uint32_t>(row);
        m_cell.column = 0;
    }

    void start_cell(const char** attributes) {
        m_in_cell = true;
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
                parse_unsigned(attribute[1], m_cell.style);
            }
        }
        if (reference != nullptr) {
            CellAddress address{};
            if (!parse_address(reference, address)) {
                const std::string text = std::string(reference).substr(0, 24);
                if (looks_like_address(text)) {
                    throw Error(m_workbook.archive.describe(
                        "cell " + text + " is beyond the last row (" + std::to_string(k_max_row) +
                        ") or column (XFD) a sheet can have"));
                }
                throw Error(m_workbook.archive.describe("bad cell reference '" + text + "'"));
            }
            m_cell.row = address.row;
            m_cell.column = address.column;
        } else if (++m_cell.column > k_max_column) {
            throw Error(m_workbook.archive.describe(
                "row " + std::to_string(m_cell.row) + " has a cell beyond the last column a sheet "
                "can have (XFD)"));
        }
    }

    const detail::XlsxWorkbook& m_workbook;
    XmlStream& m_xml;
    CellSink& m_sink;
    RawCell m_cell;
    bool m_in_cell = false;
    bool m_in_inline = false;
    bool m_in_phonetic = false;
    bool m_capture = false;
};

// Makes every cell's value and hands it to the visitor.
class VisitingSink : public CellSink {
public:
    using Visit = std::function<bool(std::uint32_t, std::uint32_t, const CellValue&)>;
    VisitingSink(const CellMaker& maker, const Visit& visit) : m_maker(maker), m_visit(visit) {}

    bool take(RawCell& cell) override {
        m_maker.make(cell, m_value);
        return m_visit(cell.row, cell.column, m_value);
    }

private:
    const CellMaker& m_maker;
    const Visit& m_visit;
    CellValue m_value;
};

// Collects the numbers of the shared strings that the sheet's cells name.
class StringUseSink : public CellSink {
public:
    std::vector<std::uint32_t> used;

    bool take(RawCell& cell) override {
        std::uint32_t index = 0;
        if (cell.type == CellType::shared_string && parse_index(cell.text, index)) {
            used.push_back(index);
        }
        return true;
    }
};

// Keeps the raw cells at the wanted addresses, and checks the cells streamed on the way as
// making their values would: numbers now, shared-string numbers once the strings are read.
// The highest string number so far is noted at each cell that raises it, so the first cell
// naming a string that does not exist can be found later.
class PickingSink : public CellSink {
public:
    PickingSink(const CellMaker& maker, const std::vector<CellAddress>& cells)
        : raws(cells.size()), found(cells.size(), false), m_maker(maker), m_cells(cells),
          m_remaining(cells.size()) {
        for (const auto& cell : cells) m_last_row = std::max(m_last_row, cell.row);
    }

    std::vector<RawCell> raws;
    std::vector<bool> found;
    std::vector<std::uint32_t> wanted_strings;
    std::vector<std::pair<std::uint32_t, RawCell>> string_highs;

    bool take(RawCell& cell) override {
        std::uint32_t index = 0;
        if (cell.type == CellType::shared_string) {
            if (!parse_index(cell.text, index)) m_maker.fail_string(cell);
            if (string_highs.empty() || index > string_highs.back().first) {
                string_highs.emplace_back(index, cell);
            }
        } else if (cell.type == CellType::number) {
            m_maker.make_number(cell, m_scratch, false);
        }
        if (cell.row > m_last_row) return false;
        for (std::size_t i = 0; i < m_cells.size(); ++i) {
            if (!found[i] && m_cells[i].row == cell.row && m_cells[i].column == cell.column) {
                raws[i] = cell;
                found[i] = true;
                --m_remaining;
                if (cell.type == CellType::shared_string) wanted_strings.push_back(index);
            }
        }
        return m_remaining > 0;
    }

private:
    const CellMaker& m_maker;
    const std::vector<CellAddress>& m_cells;
    std::size_t m_remaining;
    std::uint32_t m_last_row = 0;
    CellValue m_scratch;
};

void stream_sheet(detail::XlsxWorkbook& workbook, CellSink& sink) {
    SheetHandler handler(workbook, workbook.xml, sink);
    workbook.xml.parse(workbook.archive, workbook.sheet_index, workbook.limit, handler);
}

void sort_unique(std::vector<std::uint32_t>& numbers) {
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
}

// Reads the shared strings that a reading of the whole sheet can name.
void load_strings_for_sheet(detail::XlsxWorkbook& workbook) {
    if (workbook.strings_cover_sheet) return;
    if (workbook.strings_part_size() <= k_whole_strings_part) {
        workbook.load_strings(nullptr, std::numeric_limits<std::uint32_t>::max());
    } else {
        StringUseSink uses;
        stream_sheet(workbook, uses);
        sort_unique(uses.used);
        workbook.load_strings(&uses.used, uses.used.empty() ? 0 : uses.used.back());
    }
    workbook.strings_cover_sheet = true;
}

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
    auto& workbook = *m_workbook;
    workbook.load_styles(std::numeric_limits<std::uint32_t>::max());
    load_strings_for_sheet(workbook);
    const CellMaker maker(workbook);
    VisitingSink sink(maker, visit);
    stream_sheet(workbook, sink);
}

// Reads the sheet only as far as the wanted cells, then only the strings and styles those
// cells need; a failure on the way is reported as reading cell by cell would meet it.
std::vector<CellValue> XlsxReader::read_cells(const std::vector<CellAddress>& cells) {
    std::vector<CellValue> values(cells.size());
    if (cells.empty()) return values;
    auto& workbook = *m_workbook;
    const CellMaker maker(workbook);
    PickingSink picked(maker, cells);
    std::exception_ptr failure;
    try {
        stream_sheet(workbook, picked);
    } catch (const Error&) {
        failure = std::current_exception();
    }
    if (!picked.string_highs.empty()) {
        sort_unique(picked.wanted_strings);
        workbook.load_strings(&picked.wanted_strings, picked.string_highs.back().first);
        for (const auto& [index, cell] : picked.string_highs) {
            if (index >= workbook.strings.count()) maker.fail_string(cell);
        }
    }
    if (failure) std::rethrow_exception(failure);

    std::optional<std::uint32_t> last_style;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (picked.found[i] && picked.raws[i].type == CellType::number) {
            last_style = std::max(last_style.value_or(0), picked.raws[i].style);
        }
    }
    if (last_style) workbook.load_styles(*last_style);
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (picked.found[i]) maker.make(picked.raws[i], values[i]);
    }
    return values;
}

}  // namespace helmkit
