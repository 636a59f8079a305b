#include "workbook_files.hpp"

#include <zip.h>

#include <stdexcept>

namespace torvane_test {

TestWorkbook::TestWorkbook(const std::filesystem::path& path, bool constant_memory) {
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
    lxw_workbook_options options{};
    options.constant_memory = constant_memory ? LXW_TRUE : LXW_FALSE;
    m_workbook = workbook_new_opt(path.c_str(), &options);
    if (m_workbook == nullptr) throw std::runtime_error("cannot create " + path.string());
}

TestWorkbook::~TestWorkbook() {
    if (m_workbook != nullptr) workbook_close(m_workbook);
}

lxw_worksheet* TestWorkbook::add_sheet(const char* name) {
    return workbook_add_worksheet(m_workbook, name);
}

lxw_format* TestWorkbook::number_format(const char* code) {
    lxw_format* format = workbook_add_format(m_workbook);
    format_set_num_format(format, code);
    return format;
}

lxw_format* TestWorkbook::number_format_index(int index) {
    lxw_format* format = workbook_add_format(m_workbook);
    format_set_num_format_index(format, static_cast<uint8_t>(index));
    return format;
}

void TestWorkbook::close() {
    const lxw_error error = workbook_close(m_workbook);
    m_workbook = nullptr;
    if (error != LXW_NO_ERROR) {
        throw std::runtime_error(std::string("libxlsxwriter: ") + lxw_strerror(error));
    }
}

void write_zip(const std::filesystem::path& path,
               const std::vector<std::pair<std::string, std::string>>& entries) {
    int code = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (archive == nullptr) throw std::runtime_error("cannot create " + path.string());
    for (const auto& [name, content] : entries) {
        zip_source_t* source = zip_source_buffer(archive, content.data(), content.size(), 0);
        if (source == nullptr || zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8) < 0) {
            zip_source_free(source);
            zip_discard(archive);
            throw std::runtime_error("cannot add " + name + " to " + path.string());
        }
    }
    if (zip_close(archive) != 0) {
        zip_discard(archive);
        throw std::runtime_error("cannot write " + path.string());
    }
}

std::map<std::string, std::string> read_zip(const std::filesystem::path& path) {
    int code = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &code);
    if (archive == nullptr) throw std::runtime_error("cannot open " + path.string());
    std::map<std::string, std::string> entries;
    const auto count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t stat;
        zip_file_t* file = nullptr;
        if (zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &stat) == 0) {
            file = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
        }
        std::string content(file != nullptr ? stat.size : 0, '\0');
        const bool read = file != nullptr &&
                          zip_fread(file, content.data(), content.size()) ==
                              static_cast<zip_int64_t>(content.size());
        if (file != nullptr) zip_fclose(file);
        if (!read) {
            zip_discard(archive);
            throw std::runtime_error("cannot read entry " + std::to_string(i) + " of " + path.string());
        }
        entries[stat.name] = std::move(content);
    }
    zip_discard(archive);
    return entries;
}

std::vector<std::pair<std::string, std::string>> RawWorkbook::parts() const {
    const std::string ns = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
    const std::string rel_ns = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    const std::string pkg_ns = "http://schemas.openxmlformats.org/package/2006/relationships";
    std::vector<std::pair<std::string, std::string>> parts;
    parts.emplace_back("[Content_Types].xml",
                       "<?xml version=\"1.0\"?><Types xmlns=\"http://schemas.openxmlformats.org/"
                       "package/2006/content-types\"/>");
    parts.emplace_back("_rels/.rels", "<?xml version=\"1.0\"?><Relationships xmlns=\"" + pkg_ns +
                                          "\"><Relationship Id=\"rId1\" Type=\"" + rel_ns +
                                          "/officeDocument\" Target=\"xl/workbook.xml\"/>"
                                          "</Relationships>");
    std::string workbook = "<?xml version=\"1.0\"?><workbook xmlns=\"" + ns + "\" xmlns:r=\"" +
                           rel_ns + "\"><workbookPr " + workbook_pr +
                           "/><bookViews><workbookView activeTab=\"" +
                           std::to_string(active_tab) + "\"/></bookViews><sheets>";
    std::string rels = "<?xml version=\"1.0\"?><Relationships xmlns=\"" + pkg_ns + "\">";
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        const std::string n = std::to_string(i + 1);
        workbook += "<sheet name=\"" + sheets[i].first + "\" sheetId=\"" + n + "\" r:id=\"rId" +
                    n + "\"/>";
        rels += "<Relationship Id=\"rId" + n + "\" Type=\"" + rel_ns +
                "/worksheet\" Target=\"/xl/worksheets/sheet" + n + ".xml\"/>";
        parts.emplace_back("xl/worksheets/sheet" + n + ".xml",
                           "<?xml version=\"1.0\"?><worksheet xmlns=\"" + ns + "\"><sheetData>" +
                               sheets[i].second + "</sheetData></worksheet>");
    }
    if (!shared_strings.empty()) {
        rels += "<Relationship Id=\"rIdS\" Type=\"" + rel_ns +
                "/sharedStrings\" Target=\"sharedStrings.xml\"/>";
        parts.emplace_back("xl/sharedStrings.xml", "<?xml version=\"1.0\"?><sst xmlns=\"" + ns +
                                                       "\">" + shared_strings + "</sst>");
    }
    if (!styles.empty()) {
        rels += "<Relationship Id=\"rIdT\" Type=\"" + rel_ns + "/styles\" Target=\"styles.xml\"/>";
        parts.emplace_back("xl/styles.xml", "<?xml version=\"1.0\"?><styleSheet xmlns=\"" + ns +
                                                "\">" + styles + "</styleSheet>");
    }
    parts.emplace_back("xl/workbook.xml", workbook + "</sheets></workbook>");
    parts.emplace_back("xl/_rels/workbook.xml.rels", rels + "</Relationships>");
    return parts;
}

}  // namespace torvane_test
