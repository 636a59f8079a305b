#include "xml_stream.hpp"

#include <expat.h>

#include <charconv>
#include <new>
#include <random>
#include <string>

#include "helmkit/base/error.hpp"
#include "helmkit/workbook/xlsx_reader.hpp"

namespace helmkit {

namespace {

constexpr int k_chunk_size = 64 * 1024;

std::string_view local_name(const char* name) {
    const char* start = name;
    const char* end = name;
    for (; *end != '\0'; ++end) {
        if (*end == ':') start = end + 1;
    }
    return std::string_view(start, static_cast<std::size_t>(end - start));
}

// One random hash salt for every parser of the process: expat would otherwise ask the kernel
// for a new one at every part it parses.
unsigned long hash_salt() {
    static const unsigned long salt = [] {
        std::random_device device;
        return (static_cast<unsigned long>(device()) << 32) ^ device();
    }();
    return salt;
}

}  // namespace

const char* find_attribute(const char** attributes, std::string_view name) {
    for (; attributes[0] != nullptr; attributes += 2) {
        if (local_name(attributes[0]) == name) return attributes[1];
    }
    return nullptr;
}

bool parse_unsigned_attribute(const char* text, std::uint32_t& value) {
    if (text == nullptr) return false;
    const std::string_view view(text);
    const auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), value);
    return error == std::errc() && end == view.data() + view.size();
}

XmlStream::XmlStream() {
    m_parser = XML_ParserCreate("UTF-8");
    if (m_parser == nullptr) throw std::bad_alloc();
}

XmlStream::~XmlStream() { XML_ParserFree(m_parser); }

void XmlStream::stop() {
    m_stopped = true;
    XML_StopParser(m_parser, XML_FALSE);
}

void XmlStream::refuse(const std::string& reason) const {
    throw Error(m_archive->describe("'" + m_entry->name() + "' " + reason));
}

void XmlStream::check_text_run(std::size_t added) {
    m_text_run += added;
    if (m_text_run > k_max_xml_token_size) {
        refuse("holds a text longer than " + std::to_string(k_max_xml_token_size) + " bytes");
    }
}

void XmlStream::on_start(void* self, const char* name, const char** attributes) {
    auto& stream = *static_cast<XmlStream*>(self);
    try {
        stream.m_text_run = 0;
        if (++stream.m_depth > k_max_xml_depth) {
            stream.refuse("nests elements deeper than " + std::to_string(k_max_xml_depth) +
                          " levels");
        }
        stream.m_handler->start(local_name(name), attributes);
    } catch (...) {
        stream.m_failure = std::current_exception();
        XML_StopParser(stream.m_parser, XML_FALSE);
    }
}

void XmlStream::on_end(void* self, const char* name) {
    auto& stream = *static_cast<XmlStream*>(self);
    try {
        stream.m_text_run = 0;
        --stream.m_depth;
        stream.m_handler->end(local_name(name));
    } catch (...) {
        stream.m_failure = std::current_exception();
        XML_StopParser(stream.m_parser, XML_FALSE);
    }
}

void XmlStream::on_text(void* self, const char* data, int length) {
    auto& stream = *static_cast<XmlStream*>(self);
    try {
        stream.check_text_run(static_cast<std::size_t>(length));
        stream.m_handler->text(std::string_view(data, static_cast<std::size_t>(length)));
    } catch (...) {
        stream.m_failure = std::current_exception();
        XML_StopParser(stream.m_parser, XML_FALSE);
    }
}

void XmlStream::parse(const ZipArchive& archive, std::uint64_t index, std::uint64_t limit,
                      XmlHandler& handler) {
    XML_ParserReset(m_parser, "UTF-8");
    XML_SetHashSalt(m_parser, hash_salt());
    XML_SetUserData(m_parser, this);
    XML_SetElementHandler(m_parser, &XmlStream::on_start, &XmlStream::on_end);
    XML_SetCharacterDataHandler(m_parser, &XmlStream::on_text);
    m_handler = &handler;
    m_failure = nullptr;
    m_stopped = false;
    m_depth = 0;
    m_text_run = 0;

    ZipArchive::Entry entry(archive, index, limit);
    m_archive = &archive;
    m_entry = &entry;
    std::uint64_t fed = 0;
    while (true) {
        void* buffer = XML_GetBuffer(m_parser, k_chunk_size);
        if (buffer == nullptr) throw std::bad_alloc();
        const std::size_t got = entry.read(static_cast<char*>(buffer), k_chunk_size);
        const XML_Status status =
            XML_ParseBuffer(m_parser, static_cast<int>(got), got == 0 ? XML_TRUE : XML_FALSE);
        if (m_failure) std::rethrow_exception(m_failure);
        if (m_stopped) return;
        if (status != XML_STATUS_OK) {
            throw Error(archive.describe(
                "malformed XML in '" + entry.name() + "' at line " +
                std::to_string(XML_GetCurrentLineNumber(m_parser)) + ": " +
                XML_ErrorString(XML_GetErrorCode(m_parser))));
        }
        if (got == 0) return;
        fed += got;
        // After a parse call expat's position is the start of the token it could not finish
        // and keeps for the next chunk.
        const XML_Index position = XML_GetCurrentByteIndex(m_parser);
        if (position >= 0 && fed - static_cast<std::uint64_t>(position) > k_max_xml_token_size) {
            refuse("holds a tag or comment longer than " + std::to_string(k_max_xml_token_size) +
                   " bytes (at line " + std::to_string(XML_GetCurrentLineNumber(m_parser)) + ")");
        }
    }
}

}  // namespace helmkit
