#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace torvane::manpage {

// A pipe table of a Markdown text: its header cells and its rows, cells trimmed and still
// in Markdown.
struct MarkdownTable {
    std::vector<std::string> header;
    std::vector<std::vector<std::string>> rows;

    // Returns the index of the header cell `name`, or the header's size when there is none.
    std::size_t column(std::string_view name) const;
};

// Returns the part of `markdown` under the first heading line that starts with
// `heading_start` ("### gridpage:"), up to the next heading of the same or a higher level.
// Throws helmkit::Error naming the heading when there is none.
std::string_view section_of(std::string_view markdown, std::string_view heading_start);

// Returns the pipe tables of `markdown` in order: a header row, a separator row of dashes,
// then the rows up to the first line that is not a table row. A `|` inside a code span or
// after a backslash is part of its cell. Tables inside fenced code blocks are skipped.
std::vector<MarkdownTable> tables_in(std::string_view markdown);

}  // namespace torvane::manpage
