#pragma once

#include <string>
#include <string_view>

#include "torvane/chartdoc/page_output.hpp"
#include "torvane/chartdoc/site_links.hpp"

namespace torvane::chartdoc {

// Renders the Markdown text `markdown` as an HTML fragment into `out` while it is parsed:
// CommonMark (fenced code included) with pipe tables and no other extension; raw HTML passes
// through unchanged and a leading byte-order mark is dropped. A link to one of the documents
// of `links` leads to that document's page. Throws helmkit::Error when the parser fails, and
// what `out` throws (which ends the rendering at once).
void render_markdown(std::string_view markdown, PageOutput& out, const SiteLinks& links);

// Returns the HTML fragment of `markdown`, rendered as render_markdown() does without a site.
// Throws helmkit::Error when the parser fails.
std::string markdown_to_html(std::string_view markdown);

}  // namespace torvane::chartdoc
