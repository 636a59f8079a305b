#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace torvane::chartdoc {

// The page that wraps every document and diagram; placeholders {title} (twice) and
// {body_content}. Begins with a line break and ends with one.
extern const std::string_view PAGE_TEMPLATE;

// The page index.html; placeholders {index_title} (twice), {md_section} and {chart_section}.
extern const std::string_view INDEX_TEMPLATE;

// The text of PAGE_TEMPLATE before its body and after it, filled with a title.
struct PageFrame {
    std::string head;
    std::string tail;
};

// Returns `text` with '&', '<', '>' and '"' as entities, to stand as text in a page or index.
std::string html_text(std::string_view text);

// Returns PAGE_TEMPLATE's text around {body_content}, filled with `title` (verbatim), so that
// a page can be written as head, body, tail while its body is produced.
PageFrame page_frame(std::string_view title);

// Returns PAGE_TEMPLATE filled with `title` and `body_content`, both inserted verbatim.
std::string fill_page(std::string_view title, std::string_view body_content);

// Returns the index entry of a document page, linking `out_name` percent-encoded; the title is
// inserted verbatim.
std::string doc_entry(std::string_view out_name, std::string_view display_title);

// Returns the index entry of a diagram page, linking `base_name` percent-encoded followed by
// ".html"; the title is inserted verbatim.
std::string chart_entry(std::string_view base_name, std::string_view display_title);

// Returns INDEX_TEMPLATE filled with `index_title`, the documentation section made of
// `md_links` and the flow-chart section made of `chart_links` (empty text for an empty list).
std::string fill_index(std::string_view index_title, const std::vector<std::string>& md_links,
                       const std::vector<std::string>& chart_links);

}  // namespace torvane::chartdoc
