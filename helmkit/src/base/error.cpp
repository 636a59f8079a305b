#include "helmkit/base/error.hpp"

#include <cstring>

namespace helmkit {

std::string describe_file_error(std::string_view action, const std::filesystem::path& path,
                                int errno_value) {
    std::string message = "cannot ";
    message += action;
    message += " '";
    message += path.string();
    message += "': ";
    message += std::strerror(errno_value);
    return message;
}

void throw_file_error(std::string_view action, const std::filesystem::path& path,
                      int errno_value) {
    throw Error(describe_file_error(action, path, errno_value));
}

}  // namespace helmkit
