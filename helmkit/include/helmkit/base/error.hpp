#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace helmkit {

// An error a user can act on; its message names the file or key and says what is wrong.
// The front program prints it as "Error: <message>" and exits with status 1.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Returns "cannot <action> '<path>': <reason of errno_value>", the shape of every file error.
std::string describe_file_error(std::string_view action, const std::filesystem::path& path,
                                int errno_value);

// Throws Error with describe_file_error(action, path, errno_value).
[[noreturn]] void throw_file_error(std::string_view action, const std::filesystem::path& path,
                                   int errno_value);

}  // namespace helmkit
