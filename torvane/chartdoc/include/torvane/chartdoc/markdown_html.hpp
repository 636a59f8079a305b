#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "torvane/chartdoc/page_output.hpp"
#include "torvane/chartdoc/site_links.hpp"

namespace torvane::chartdoc {

// A link of a document: its destination as written (entities decoded) and as its page has it.
struct DocumentLink {
    std::string written;
    std::string on_page;
};

// What a rendered document holds that the site's link check needs.
struct DocumentAnchors {
    std::vector<DocumentLink> links;
    std::vector<std::string> ids;  // heading ids, and id/name attributes of its raw HTML
};

// How a document is rendered beyond plain CommonMark with pipe tables.
struct MarkdownOptions {
    // Heading ids, strike-through, bare URL/e-mail/www links, and table cells that carry their
    // alignment in a style attribute as well.
    bool rich = false;
    // When set, receives the text of the document's n-th mermaid fence (n from 0, counted as
    // mermaid_fences() counts them) and returns the SVG that replaces the block, or nothing to
    // keep the code block.
    std::function<std::optional<std::string>(std::size_t n)> diagram;
    // When set, receives the document's links and anchors.
    DocumentAnchors* anchors = nullptr;
};

// A fenced code block whose info string is "mermaid": its text and the line of its opening fence.
struct MermaidFence {
    std::string text;
    std::size_t line = 0;
};

// Renders the Markdown text `markdown` as an HTML fragment into `out` while it is parsed:
// CommonMark (fenced code included) with pipe tables and, per `options`, the extensions above;
// raw HTML passes through unchanged and a leading byte-order mark is dropped. A link to one of
// the documents of `links` leads to that document's page. Throws helmkit::Error when the parser
// fails, and what `out` or `options.diagram` throws (which ends the rendering at once).
void render_markdown(const std::string& markdown, PageOutput& out, const SiteLinks& links,
                     const MarkdownOptions& options = {});

// Returns the HTML fragment of `markdown`, rendered as render_markdown() does without a site.
// Throws helmkit::Error when the parser fails.
std::string markdown_to_html(std::string_view markdown, const MarkdownOptions& options = {});

// Returns the mermaid fences of `markdown`, in order (rich or not, fences are the same).
// Throws helmkit::Error when the parser fails.
std::vector<MermaidFence> mermaid_fences(std::string_view markdown);

// Returns the id a heading whose text is `text` gets: lower case, blanks as "-", punctuation
// dropped ("Install & Run!" gives "install--run"); "section" when nothing is left.
std::string heading_slug(std::string_view text);

}  // namespace torvane::chartdoc
