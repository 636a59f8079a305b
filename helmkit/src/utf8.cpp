#include "helmkit/utf8.hpp"

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

}  // namespace

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
        char32_t value = lead & (length == 2 ? 0x1F : length == 3 ? 0x0F : 0x07);
        for (std::size_t k = 1; k < length; ++k) {
            value = (value << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        out.push_back(value);
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
