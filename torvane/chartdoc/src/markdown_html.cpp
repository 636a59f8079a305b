#include "torvane/chartdoc/markdown_html.hpp"

#include <md4c-html.h>

#include "helmkit/base/error.hpp"

namespace torvane::chartdoc {

namespace {

void append_output(const MD_CHAR* text, MD_SIZE size, void* userdata) {
    static_cast<std::string*>(userdata)->append(text, size);
}

}  // namespace

std::string markdown_to_html(std::string_view markdown) {
    if (markdown.size() > static_cast<std::size_t>(static_cast<MD_SIZE>(-1))) {
        throw helmkit::Error("document is too large for the Markdown parser");
    }
    std::string html;
    // HTML is usually a little longer than its Markdown source.
    html.reserve(markdown.size() + markdown.size() / 4 + 64);
    const int failed = md_html(markdown.data(), static_cast<MD_SIZE>(markdown.size()),
                               append_output, &html, MD_FLAG_TABLES, MD_HTML_FLAG_SKIP_UTF8_BOM);
    if (failed != 0) throw helmkit::Error("the Markdown parser failed (out of memory)");
    return html;
}

}  // namespace torvane::chartdoc
