// chartdoc's Markdown to HTML conversion.
#include <cstdint>

#include "fuzz_input.hpp"
#include "helmkit/base/error.hpp"
#include "torvane/chartdoc/markdown_html.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        torvane::chartdoc::markdown_to_html(torvane_fuzz::as_text(data, size));
    } catch (const helmkit::Error&) {
    }
    return 0;
}
