#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string_view>
#include <vector>

namespace torvane_fuzz {

// The fuzzer's bytes as text.
inline std::string_view as_text(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// Writes `bytes` to this process's scratch file named `name` (in a folder of its own under
// the temporary folder, removed when the process exits) and returns its path. The readers
// under test take paths, as the tools give them.
std::filesystem::path scratch_file(std::string_view name, std::string_view bytes);

// Splits `bytes` at each `separator` into at most `count` parts; the last part keeps any
// further separators, missing parts are empty.
std::vector<std::string_view> split_parts(std::string_view bytes, char separator,
                                          std::size_t count);

}  // namespace torvane_fuzz
