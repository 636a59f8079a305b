// chartdoc's Markdown rendering into a page, with links to other documents of a site, and the
// page-name encoding of the index; the page's limit is lowered so that the fuzzer meets it.
#include <cstdint>
#include <string_view>

#include "fuzz_input.hpp"
#include "helmkit/base/error.hpp"
#include "torvane/chartdoc/markdown_html.hpp"
#include "torvane/chartdoc/page_output.hpp"
#include "torvane/chartdoc/site_links.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const torvane::chartdoc::SiteLinks site(
        {{"other.md", "other.html"}, {"release notes #2.md", "release notes #2.html"}});
    const auto markdown = torvane_fuzz::as_text(data, size);
    try {
        torvane::chartdoc::PageOutput out([](std::string_view) {}, std::size_t{4} << 20);
        torvane::chartdoc::render_markdown(std::string(markdown), out, site);
        out.finish();
    } catch (const helmkit::Error&) {
    }
    torvane::chartdoc::percent_encoded(markdown.substr(0, 256));
    return 0;
}
