#pragma once

#include <string>
#include <string_view>

namespace torvane::chartdoc {

// Converts the Markdown text `markdown` to an HTML fragment: CommonMark (fenced code
// included) with pipe tables and no other extension; raw HTML passes through unchanged and
// a leading byte-order mark is dropped. Throws helmkit::Error when the parser fails.
std::string markdown_to_html(std::string_view markdown);

}  // namespace torvane::chartdoc
