#include "xlsx_package.hpp"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "helmkit/base/error.hpp"
#include "workbook_dates.hpp"

namespace helmkit::detail {

namespace {

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

using Relationships = std::unordered_map<std::string, Relationship>;

class RelationshipsHandler : public XmlHandler {
public:
    explicit RelationshipsHandler(Relationships& out) : m_out(out) {}
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
    Relationships& m_out;
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
            parse_unsigned_attribute(find_attribute(attributes, "activeTab"), active_tab);
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
            if (parse_unsigned_attribute(find_attribute(attributes, "numFmtId"), id) &&
                code != nullptr) {
                m_custom[id] = is_date_format_code(code);
            }
        } else if (name == "cellXfs") {
            m_in_cell_xfs = true;
        } else if (name == "xf" && m_in_cell_xfs) {
            std::uint32_t id = 0;
            parse_unsigned_attribute(find_attribute(attributes, "numFmtId"), id);
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

Relationships relationships_of(XlsxWorkbook& workbook, const std::string& part) {
    Relationships result;
    const auto slash = part.rfind('/');
    const std::string rels = (slash == std::string::npos ? std::string() : part.substr(0, slash + 1)) +
                             "_rels/" + part.substr(slash == std::string::npos ? 0 : slash + 1) +
                             ".rels";
    if (const auto index = workbook.archive.find(rels)) {
        RelationshipsHandler handler(result);
        workbook.xml.parse(workbook.archive, *index, workbook.limit, handler);
    }
    return result;
}

const Relationship* find_by_type(const Relationships& relationships, std::string_view type_suffix) {
    for (const auto& [id, relationship] : relationships) {
        if (relationship.type.ends_with(type_suffix)) return &relationship;
    }
    return nullptr;
}

}  // namespace

XlsxWorkbook::XlsxWorkbook(const std::filesystem::path& path, std::uint64_t max_entry_size)
    : archive(path), limit(max_entry_size) {}

std::uint64_t XlsxWorkbook::require(const std::string& part) const {
    const auto index = archive.find(part);
    if (!index) throw Error(archive.describe("part '" + part + "' is missing"));
    return *index;
}

void XlsxWorkbook::load(std::string_view wanted) {
    std::string workbook_part = "xl/workbook.xml";
    if (const auto index = archive.find("_rels/.rels")) {
        Relationships root;
        RelationshipsHandler handler(root);
        xml.parse(archive, *index, limit, handler);
        if (const auto* office = find_by_type(root, "/officeDocument")) {
            workbook_part = resolve_target("", office->target);
        }
    }
    WorkbookHandler workbook;
    xml.parse(archive, require(workbook_part), limit, workbook);
    if (workbook.sheets.empty()) throw Error(archive.describe("the workbook has no sheet"));
    date1904 = workbook.date1904;
    std::size_t active = workbook.active_tab < workbook.sheets.size() ? workbook.active_tab : 0;
    if (!wanted.empty()) {
        const auto named =
            std::find_if(workbook.sheets.begin(), workbook.sheets.end(),
                         [&](const SheetEntry& sheet) { return sheet.name == wanted; });
        if (named == workbook.sheets.end()) {
            std::string names;
            for (const auto& sheet : workbook.sheets) {
                names += (names.empty() ? "'" : ", '") + sheet.name + "'";
            }
            throw Error(archive.describe("it has no sheet '" + std::string(wanted) +
                                         "'; its sheets are " + names));
        }
        active = static_cast<std::size_t>(named - workbook.sheets.begin());
    }
    sheet_name = workbook.sheets[active].name;
    sheet_count = workbook.sheets.size();

    const std::string base = folder_of(workbook_part);
    const auto relationships = relationships_of(*this, workbook_part);
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

void XlsxWorkbook::load_styles(std::uint32_t last) {
    if (!styles_part || (styles_read_to && *styles_read_to >= last)) return;
    StylesHandler handler(xml, last);
    xml.parse(archive, require(*styles_part), limit, handler);
    date_styles = std::move(handler.date_styles);
    styles_read_to = last;
}

void XlsxWorkbook::load_strings(const std::vector<std::uint32_t>* wanted, std::uint32_t last) {
    strings = SharedStrings();
    strings_cover_sheet = false;
    if (strings_part) {
        strings.load(xml, archive, require(*strings_part), limit, wanted, last);
    }
}

std::uint64_t XlsxWorkbook::strings_part_size() const {
    return strings_part ? archive.size_of(require(*strings_part)) : 0;
}

}  // namespace helmkit::detail
