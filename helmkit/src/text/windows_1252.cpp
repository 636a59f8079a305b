#include "helmkit/text/windows_1252.hpp"

#include <array>
#include <cstdint>

namespace helmkit {

namespace {

// Code points of the bytes 0x80 to 0x9F; every other byte is the code point of its value.
constexpr std::array<std::uint16_t, 32> k_high_controls{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

std::string windows_1252_to_utf8(std::string_view text) {
    std::string result;
    result.reserve(text.size() + text.size() / 8);
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            result += c;
            continue;
        }
        const std::uint32_t code = byte < 0xA0 ? k_high_controls[byte - 0x80] : byte;
        if (code < 0x800) {
            result += static_cast<char>(0xC0 | (code >> 6));
        } else {
            result += static_cast<char>(0xE0 | (code >> 12));
            result += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        }
        result += static_cast<char>(0x80 | (code & 0x3F));
    }
    return result;
}

}  // namespace helmkit
