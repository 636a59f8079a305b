#include "workbook_files.hpp"

#include <zip.h>
#include <zlib.h>

#include <fstream>
#include <stdexcept>

namespace torvane_test {

namespace {

void put16(std::string& out, unsigned value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

void put32(std::string& out, std::uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

// Raw deflate of `data` ending with a full flush (or the final block): the output depends on
// `data` alone, so the compressed form of a repeated piece can itself be repeated.
std::string deflate_piece(const std::string& data, bool last) {
    z_stream stream{};
    if (deflateInit2(&stream, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::runtime_error("deflateInit2 failed");
    }
    std::string out(deflateBound(&stream, data.size()) + 64, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int status = deflate(&stream, last ? Z_FINISH : Z_FULL_FLUSH);
    out.resize(out.size() - stream.avail_out);
    deflateEnd(&stream);
    if (status != (last ? Z_STREAM_END : Z_OK)) throw std::runtime_error("deflate failed");
    return out;
}

}  // namespace


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

void write_repeating_zip(const std::filesystem::path& path,
                         const std::vector<RepeatingEntry>& entries) {
    std::string archive;
    std::string directory;
    for (const auto& entry : entries) {
        std::string data = deflate_piece(entry.head, false);
        const std::string piece = deflate_piece(entry.piece, false);
        for (std::uint32_t i = 0; i < entry.repeat; ++i) data += piece;
        data += deflate_piece(entry.tail, true);
        const auto bytes = [](const std::string& text) {
            return reinterpret_cast<const Bytef*>(text.data());
        };
        uLong crc = crc32(0, bytes(entry.head), static_cast<uInt>(entry.head.size()));
        const uLong piece_crc = crc32(0, bytes(entry.piece), static_cast<uInt>(entry.piece.size()));
        for (std::uint32_t i = 0; i < entry.repeat; ++i) {
            crc = crc32_combine(crc, piece_crc, static_cast<z_off_t>(entry.piece.size()));
        }
        crc = crc32(crc, bytes(entry.tail), static_cast<uInt>(entry.tail.size()));
        const std::uint64_t size = entry.head.size() +
                                   std::uint64_t{entry.repeat} * entry.piece.size() +
                                   entry.tail.size();
        if (size >= 0xFFFFFFFFu || data.size() >= 0xFFFFFFFFu) {
            throw std::runtime_error("repeating zip entries stay below 4 GiB");
        }
        const auto offset = static_cast<std::uint32_t>(archive.size());
        // Fields shared by the local header and the directory record, from "version needed".
        std::string common;
        put16(common, 20);
        put16(common, 0);  // flags
        put16(common, 8);  // deflate
        put16(common, 0);  // time
        put16(common, 0x21);  // date: 1 January 1980
        put32(common, static_cast<std::uint32_t>(crc));
        put32(common, static_cast<std::uint32_t>(data.size()));
        put32(common, static_cast<std::uint32_t>(size));
        put16(common, static_cast<unsigned>(entry.name.size()));
        put16(common, 0);  // extra field
        put32(archive, 0x04034b50);
        archive += common;
        archive += entry.name;
        archive += data;
        put32(directory, 0x02014b50);
        put16(directory, 20);  // made by
        directory += common;
        put16(directory, 0);  // comment
        put16(directory, 0);  // disk
        put16(directory, 0);  // internal attributes
        put32(directory, 0);  // external attributes
        put32(directory, offset);
        directory += entry.name;
    }
    const auto directory_offset = static_cast<std::uint32_t>(archive.size());
    archive += directory;
    put32(archive, 0x06054b50);
    put16(archive, 0);
    put16(archive, 0);
    put16(archive, static_cast<unsigned>(entries.size()));
    put16(archive, static_cast<unsigned>(entries.size()));
    put32(archive, static_cast<std::uint32_t>(directory.size()));
    put32(archive, directory_offset);
    put16(archive, 0);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(archive.data(), static_cast<std::streamsize>(archive.size()));
    if (!out.flush()) throw std::runtime_error("cannot write " + path.string());
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

void write_repeating_workbook(const std::filesystem::path& path, const RawWorkbook& raw,
                              const std::string& head, const std::string& piece,
                              std::uint32_t repeat, const std::string& tail) {
    std::vector<RepeatingEntry> entries;
    for (const auto& [name, content] : raw.parts()) {
        const auto at = content.find("@@");
        if (at == std::string::npos) {
            entries.push_back({name, content, "", 0, ""});
        } else {
            entries.push_back({name, content.substr(0, at) + head, piece, repeat,
                               tail + content.substr(at + 2)});
        }
    }
    write_repeating_zip(path, entries);
}

}  // namespace torvane_test
