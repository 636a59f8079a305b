#include "helmkit/text/parse_tools.hpp"

#include <cstddef>

#include "helmkit/text/utf8.hpp"

namespace helmkit::parseTools {

namespace {

// A stem "Result_g8_Peak" with the prefix "Result" leaves "g8_Peak": the separators that
// people put after a prefix are not part of the caption.
bool is_prefix_separator(char c) { return c == '_' || c == '-' || c == '.' || c == ' ' || c == '\t'; }

std::string_view stem_of(std::string_view file_name) {
    const auto dot = file_name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return file_name;
    return file_name.substr(0, dot);
}

bool is_glob(std::string_view pattern) {
    return pattern.find_first_of("*?[") != std::string_view::npos;
}

// Matches the set that starts at pattern[at] == '['. Returns false in `closed` when the
// set has no closing "]", in which case the "[" stands for itself.
bool match_set(const std::u32string& pattern, std::size_t at, char32_t c, std::size_t& next,
               bool& closed) {
    std::size_t i = at + 1;
    bool negate = false;
    if (i < pattern.size() && pattern[i] == U'!') {
        negate = true;
        ++i;
    }
    bool found = false;
    bool first = true;
    while (i < pattern.size() && (pattern[i] != U']' || first)) {
        first = false;
        const char32_t low = pattern[i];
        if (i + 2 < pattern.size() && pattern[i + 1] == U'-' && pattern[i + 2] != U']') {
            if (low <= c && c <= pattern[i + 2]) found = true;
            i += 3;
        } else {
            if (low == c) found = true;
            ++i;
        }
    }
    closed = i < pattern.size();
    next = i + 1;
    return found != negate;
}

// Matches one pattern element (not "*") against `c`; sets `next` to the following element.
bool match_one(const std::u32string& pattern, std::size_t at, char32_t c, std::size_t& next) {
    if (pattern[at] == U'?') {
        next = at + 1;
        return true;
    }
    if (pattern[at] == U'[') {
        bool closed = false;
        const bool matched = match_set(pattern, at, c, next, closed);
        if (closed) return matched;
    }
    next = at + 1;
    return pattern[at] == c;
}

}  // namespace

bool glob_match(std::string_view pattern_text, std::string_view subject) {
    const auto pattern = decode_utf8(pattern_text);
    const auto text = decode_utf8(subject);
    std::size_t p = 0;
    std::size_t t = 0;
    // Where the last "*" was and the text position it is currently taken to end at: on a
    // mismatch the star swallows one more character (linear backtracking, no recursion).
    std::size_t star = std::u32string::npos;
    std::size_t star_text = 0;
    while (t < text.size()) {
        std::size_t next = 0;
        if (p < pattern.size() && pattern[p] == U'*') {
            star = p++;
            star_text = t;
        } else if (p < pattern.size() && match_one(pattern, p, text[t], next)) {
            p = next;
            ++t;
        } else if (star != std::u32string::npos) {
            p = star + 1;
            t = ++star_text;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == U'*') ++p;
    return p == pattern.size();
}

std::pair<bool, std::string> parseFn_pattern(std::string_view file_name, std::string_view pattern,
                                             std::string_view fn_prefix) {
    std::string_view rest = stem_of(file_name);
    if (!fn_prefix.empty()) {
        if (rest.substr(0, fn_prefix.size()) != fn_prefix) return {false, std::string(rest)};
        rest.remove_prefix(fn_prefix.size());
        while (!rest.empty() && is_prefix_separator(rest.front())) rest.remove_prefix(1);
    }
    const bool matches = is_glob(pattern) ? glob_match(pattern, rest)
                                          : rest.find(pattern) != std::string_view::npos;
    return {matches, std::string(rest)};
}

}  // namespace helmkit::parseTools
