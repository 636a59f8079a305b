#pragma once

#include <cstdint>
#include <exception>
#include <string_view>

#include "zip_archive.hpp"

struct XML_ParserStruct;

namespace helmkit {

// Receives the events of one XML part. Element and attribute names arrive without their
// namespace prefix ("x:c" as "c"); attributes as expat gives them, name/value pairs ending
// in a null pointer.
class XmlHandler {
public:
    virtual ~XmlHandler() = default;
    virtual void start(std::string_view name, const char** attributes) = 0;
    virtual void end(std::string_view name) = 0;
    virtual void text(std::string_view data) = 0;
};

// Returns the value of attribute `name` (prefix ignored) in an expat attribute list, or null.
const char* find_attribute(const char** attributes, std::string_view name);

// Parses one zip entry with expat, streaming: the entry is inflated and parsed in chunks,
// never held whole. The handler may call stop() to end the parse early. An exception thrown
// by the handler stops the parser and is rethrown from parse() once expat has returned.
class XmlStream {
public:
    XmlStream();
    ~XmlStream();
    XmlStream(const XmlStream&) = delete;
    XmlStream& operator=(const XmlStream&) = delete;

    // Feeds the entry at `index` of `archive` to `handler`. Throws Error naming the workbook
    // and the entry on malformed XML, a damaged entry or one larger than `limit`.
    void parse(const ZipArchive& archive, std::uint64_t index, std::uint64_t limit,
               XmlHandler& handler);
    // Ends the current parse after the event being handled.
    void stop();

private:
    static void on_start(void* self, const char* name, const char** attributes);
    static void on_end(void* self, const char* name);
    static void on_text(void* self, const char* data, int length);

    XML_ParserStruct* m_parser = nullptr;
    XmlHandler* m_handler = nullptr;
    std::exception_ptr m_failure;
    bool m_stopped = false;
};

}  // namespace helmkit
