#include "helmkit/base/console.hpp"

#include <cstdio>

#include "helmkit/base/progress.hpp"

namespace helmkit {

void echo(std::string_view line) {
    const Progress::Pause pause;
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void echo_err(std::string_view line) {
    const Progress::Pause pause;
    std::fflush(stdout);
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

}  // namespace helmkit
