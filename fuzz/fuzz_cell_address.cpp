// A1-style cell addresses, as configuration files give them.
#include <cstdint>

#include "fuzz_input.hpp"
#include "helmkit/base/error.hpp"
#include "helmkit/text/cell_address.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        const auto cell = helmkit::parse_cell_address(torvane_fuzz::as_text(data, size));
        if (cell.row < 1 || cell.row > 1048576 || cell.column < 1 || cell.column > 16384) {
            __builtin_trap();
        }
    } catch (const helmkit::Error&) {
    }
    return 0;
}
