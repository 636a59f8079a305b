#pragma once

#include <functional>
#include <string>
#include <vector>

namespace torvane::figdeck {

// Breaks `text` into lines no wider than `room` by `width_of`: at line feeds, else after the
// last blank that fits, else inside a word that alone is too wide. A line cut for width keeps
// at least one character, so a character wider than `room` stands on a line of its own.
std::vector<std::u32string> wrap_lines(const std::u32string& text, double room,
                                       const std::function<double(const std::u32string&)>& width_of);

}  // namespace torvane::figdeck
