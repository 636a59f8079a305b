#pragma once

#include <string>
#include <vector>

#include "torvane/command_entry.hpp"

namespace torvane::front {

// Returns the entries of every tool in this build, each naming its library, in the order the
// front lists them.
std::vector<CommandEntry> builtin_commands();

// Runs the front program on the command line: parses it, calls the chosen command (its
// function, or for a tool's entry the command frame) and returns the exit status (0 or 1
// from the command, 2 for a usage error). Catches every exception,
// printing "Error: <message>" to standard error with status 1.
int run(int argc, char** argv, const std::vector<CommandEntry>& commands);

// Lays out a help text for `width` columns: a paragraph after a line holding only U+0008
// is kept line for line (the marker line dropped), other paragraphs are rewrapped.
std::string layout_help_text(const std::string& text, std::size_t width);

// Returns the terminal width of standard output, or 80 when it is not a terminal.
std::size_t terminal_width();

}  // namespace torvane::front
