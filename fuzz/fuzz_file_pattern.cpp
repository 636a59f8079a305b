// File-name pattern matching: a file name, a pattern and a prefix separated by \x01.
#include <cstdint>

#include "fuzz_input.hpp"
#include "helmkit/text/parse_tools.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto parts = torvane_fuzz::split_parts(torvane_fuzz::as_text(data, size), '\x01', 3);
    helmkit::parseTools::parseFn_pattern(parts[0], parts[1], parts[2]);
    helmkit::parseTools::glob_match(parts[1], parts[0]);
    return 0;
}
