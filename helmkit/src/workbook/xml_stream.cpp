#include "xml_stream.hpp"

#include <expat.h>

#include <cstring>
#include <new>
#include <string>

#include "helmkit/base/error.hpp"

namespace helmkit {

namespace {

constexpr int k_chunk_size = 64 * 1024;

std::string_view local_name(const char* name) {
    const char* colon = std::strrchr(name, ':');
    return colon == nullptr ? std::string_view(name) : std::string_view(colon + 1);
}

}  // namespace

const char* find_attribute(const char** attributes, std::string_view name) {
    for (; attributes[0] != nullptr; attributes += 2) {
        if (local_name(attributes[0]) == name) return attributes[1];
    }
    return nullptr;
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

void XmlStream::on_start(void* self, const char* name, const char** attributes) {
    auto& stream = *static_cast<XmlStream*>(self);
    try {
        stream.m_handler->start(local_name(name), attributes);
    } catch (...) {
        stream.m_failure = std::current_exception();
        XML_StopParser(stream.m_parser, XML_FALSE);
    }
}

void XmlStream::on_end(void* self, const char* name) {
    auto& stream = *static_cast<XmlStream*>(self);
    try {
        stream.m_handler->end(local_name(name));
    } catch (...) {
        stream.m_failure = std::current_exception();
        XML_StopParser(stream.m_parser, XML_FALSE);
    }
}

void XmlStream::on_text(void* self, const char* data, int length) {
    auto& stream = *static_cast<XmlStream*>(self);
    try {
        stream.m_handler->text(std::string_view(data, static_cast<std::size_t>(length)));
    } catch (...) {
        stream.m_failure = std::current_exception();
        XML_StopParser(stream.m_parser, XML_FALSE);
    }
}

void XmlStream::parse(const ZipArchive& archive, std::uint64_t index, std::uint64_t limit,
                      XmlHandler& handler) {
    XML_ParserReset(m_parser, "UTF-8");
    XML_SetUserData(m_parser, this);
    XML_SetElementHandler(m_parser, &XmlStream::on_start, &XmlStream::on_end);
    XML_SetCharacterDataHandler(m_parser, &XmlStream::on_text);
    m_handler = &handler;
    m_failure = nullptr;
    m_stopped = false;

    ZipArchive::Entry entry(archive, index, limit);
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
    }
}

}  // namespace helmkit
