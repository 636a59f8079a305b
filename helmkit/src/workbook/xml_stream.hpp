#pragma once

#include <cstdint>
#include <exception>
#include <string>
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

// Parses an attribute value (null for none) that holds a whole unsigned number into `value`;
// returns false, leaving `value` as it was, for anything else.
bool parse_unsigned_attribute(const char* text, std::uint32_t& value);

// Parses one zip entry with expat, streaming: the entry is inflated and parsed in chunks,
// never held whole. The handler may call stop() to end the parse early. An exception thrown
// by the handler stops the parser and is rethrown from parse() once expat has returned.
// Bounded whatever the entry holds: a tag, comment or run of text longer than
// k_max_xml_token_size (expat re-reads an unfinished token at every chunk, so its cost would
// grow with the square of the token's size) or elements nested deeper than
// k_max_xml_depth are refused.
class XmlStream {
public:
    XmlStream();
    ~XmlStream();
    XmlStream(const XmlStream&) = delete;
    XmlStream& operator=(const XmlStream&) = delete;

    // Feeds the entry at `index` of `archive` to `handler`. Throws Error naming the workbook
    // and the entry on malformed XML, a damaged entry, one larger than `limit` or one beyond
    // the token and depth bounds.
    void parse(const ZipArchive& archive, std::uint64_t index, std::uint64_t limit,
               XmlHandler& handler);
    // Ends the current parse after the event being handled.
    void stop();

private:
    static void on_start(void* self, const char* name, const char** attributes);
    static void on_end(void* self, const char* name);
    static void on_text(void* self, const char* data, int length);

    void check_text_run(std::size_t added);
    [[noreturn]] void refuse(const std::string& reason) const;

    XML_ParserStruct* m_parser = nullptr;
    const ZipArchive* m_archive = nullptr;
    const ZipArchive::Entry* m_entry = nullptr;
    XmlHandler* m_handler = nullptr;
    std::exception_ptr m_failure;
    bool m_stopped = false;
    std::size_t m_depth = 0;
    std::size_t m_text_run = 0;
};

}  // namespace helmkit
