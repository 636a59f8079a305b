#pragma once

#include <string_view>

namespace helmkit {

// Writes `line` and a line feed to standard output and flushes: the result lines a user reads.
void echo(std::string_view line);

// Writes `line` and a line feed to standard error and flushes: a note from helmkit itself,
// outside any tool's log.
void echo_err(std::string_view line);

}  // namespace helmkit
