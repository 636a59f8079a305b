#include "helmkit/text/utf8.hpp"

#include <cstdint>
#include <cstring>

namespace helmkit {

namespace {

bool is_continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Returns the length of the well-formed sequence starting at text[i], 0 when it is ill-formed.
std::size_t sequence_length(std::string_view text, std::size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t left = text.size() - i;
    auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
    if (lead >= 0xC2 && lead <= 0xDF) {
        return left >= 2 && is_continuation(at(1)) ? 2 : 0;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        if (left < 3 || !is_continuation(at(1)) || !is_continuation(at(2))) return 0;
        if (lead == 0xE0 && at(1) < 0xA0) return 0;   // overlong
        if (lead == 0xED && at(1) >= 0xA0) return 0;  // surrogate
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        if (left < 4 || !is_continuation(at(1)) || !is_continuation(at(2)) ||
            !is_continuation(at(3))) {
            return 0;
        }
        if (lead == 0xF0 && at(1) < 0x90) return 0;   // overlong
        if (lead == 0xF4 && at(1) >= 0x90) return 0;  // above U+10FFFF
        return 4;
    }
    return 0;
}

// The characters Unicode gives the White_Space property (bidirectional class WS, B or S, or
// category Zs), as text tools commonly strip them.
bool is_white_space(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || (c >= 0x1C && c <= 0x20) || c == 0x85 || c == 0xA0 ||
           c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 ||
           c == 0x202F || c == 0x205F || c == 0x3000;
}

// Decodes the well-formed sequence of `length` bytes at text[i].
char32_t decode(std::string_view text, std::size_t i, std::size_t length) {
    const auto lead = static_cast<unsigned char>(text[i]);
    char32_t code = length == 2 ? (lead & 0x1F) : length == 3 ? (lead & 0x0F) : (lead & 0x07);
    for (std::size_t k = 1; k < length; ++k) {
        code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    }
    return code;
}

// Returns the length of the white-space character starting at text[i], 0 when there is none.
std::size_t white_space_at(std::string_view text, std::size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) return is_white_space(lead) ? 1 : 0;
    const std::size_t length = sequence_length(text, i);
    return length != 0 && is_white_space(decode(text, i, length)) ? length : 0;
}

}  // namespace

std::string_view trim_white_space(std::string_view text) {
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t length = white_space_at(text, start);
        if (length == 0) break;
        start += length;
    }
    std::size_t end = text.size();
    while (end > start) {
        // Step back to the first byte of the last character.
        std::size_t first = end - 1;
        while (first > start && is_continuation(static_cast<unsigned char>(text[first]))) --first;
        const std::size_t length = white_space_at(text, first);
        if (length == 0 || first + length != end) break;
        end = first;
    }
    return text.substr(start, end - start);
}

std::size_t find_invalid_utf8(std::string_view text) {
    std::size_t i = 0;
    const std::size_t size = text.size();
    while (i < size) {
        // Most text is ASCII: skip it eight bytes at a time.
        if (i + 8 <= size) {
            std::uint64_t block = 0;
            std::memcpy(&block, text.data() + i, 8);
            if ((block & 0x8080808080808080ULL) == 0) {
                i += 8;
                continue;
            }
        }
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            ++i;
            continue;
        }
        const std::size_t length = sequence_length(text, i);
        if (length == 0) return i;
        i += length;
    }
    return std::string_view::npos;
}

std::u32string decode_utf8(std::string_view text, char32_t replacement) {
    std::u32string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
            continue;
        }
        const std::size_t length = sequence_length(text, i);
        if (length == 0) {
            out.push_back(replacement);
            ++i;
            continue;
        }
        out.push_back(decode(text, i, length));
        i += length;
    }
    return out;
}

std::string encode_utf8(std::u32string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char32_t c : text) {
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::string normalise_line_breaks(std::string text) {
    if (text.find('\r') == std::string::npos) return text;
    std::size_t out = 0;
    for (std::size_t in = 0; in < text.size(); ++in) {
        if (text[in] == '\r') {
            text[out++] = '\n';
            if (in + 1 < text.size() && text[in + 1] == '\n') ++in;
        } else {
            text[out++] = text[in];
        }
    }
    text.resize(out);
    return text;
}

}  // namespace helmkit
