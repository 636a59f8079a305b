#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace helmkit {

// Returns the offset of the first byte of `text` that does not belong to a well-formed
// UTF-8 sequence (overlong forms, surrogates and values above U+10FFFF are ill-formed),
// or std::string_view::npos when the whole text is valid UTF-8.
std::size_t find_invalid_utf8(std::string_view text);

// Returns the code points of `text`; every byte that does not belong to a well-formed
// sequence becomes one `replacement`. Never throws.
std::u32string decode_utf8(std::string_view text, char32_t replacement = U'\uFFFD');

// Returns the UTF-8 form of the code points `text`.
std::string encode_utf8(std::u32string_view text);

// Returns `text` without the white space at both ends: every Unicode white-space character
// (blanks, tabs, line breaks, no-break and ideographic spaces, ...); `text` must be UTF-8.
std::string_view trim_white_space(std::string_view text);

// Returns `text` with every CR LF pair and every lone CR turned into LF.
std::string normalise_line_breaks(std::string text);

}  // namespace helmkit
