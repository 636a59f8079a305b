#pragma once

#include <string>
#include <string_view>
#include <utility>

namespace helmkit::parseTools {

// Decides whether the file `file_name` belongs to a group with `pattern`, and returns the
// caption for it. The stem (name without its last extension) must start with `fn_prefix`
// when that is not empty; the rest is the stem after the prefix with leading "_", "-", "."
// and blanks removed. A pattern without "*", "?" or "[" matches when it occurs in the rest;
// one with them is a glob ("*" any run, "?" one character, "[...]" a set, "[!...]" its
// complement) matched against the whole rest. Returns (matches, rest); never throws.
std::pair<bool, std::string> parseFn_pattern(std::string_view file_name, std::string_view pattern,
                                             std::string_view fn_prefix = "");

// Returns whether the glob `pattern` ("*", "?", "[...]", "[!...]", see parseFn_pattern)
// matches the whole of `text`, character by character in UTF-8.
bool glob_match(std::string_view pattern, std::string_view text);

}  // namespace helmkit::parseTools
