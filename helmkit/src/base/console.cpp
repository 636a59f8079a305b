#include "helmkit/base/console.hpp"

#include <cstdio>

namespace helmkit {

void echo(std::string_view line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

}  // namespace helmkit
