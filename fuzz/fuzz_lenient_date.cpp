// Lenient date reading of texts, whole numbers, real numbers and date-times.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_input.hpp"
#include "helmkit/table/lenient_date.hpp"

namespace {

void read(const helmkit::CellValue& value) {
    if (const auto day = helmkit::read_lenient_date(value)) helmkit::format_iso_date(*day);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto text = torvane_fuzz::as_text(data, size);
    read(helmkit::CellValue(std::string(text)));
    if (size >= sizeof(std::int64_t)) {
        std::int64_t whole = 0;
        std::memcpy(&whole, data, sizeof whole);
        read(helmkit::CellValue(whole));
        double real = 0;
        std::memcpy(&real, data, sizeof real);
        read(helmkit::CellValue(real));
        read(helmkit::CellValue(helmkit::DateTime(std::chrono::microseconds(whole))));
    }
    return 0;
}
