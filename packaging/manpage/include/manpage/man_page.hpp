#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "torvane/command_entry.hpp"

namespace torvane::manpage {

// Returns the roff source of the manual page torvane(1) for `version`: synopsis, the
// front's options, every command of `commands` with its help text, options and the
// configuration table of its section in `readme`, then the environment variables, the exit
// statuses (the README's tables), the files and an example per command. Throws helmkit::Error naming what is
// missing when `readme` lacks a command's section or table, or one of those two tables.
std::string man_page(const std::vector<CommandEntry>& commands, std::string_view readme,
                     std::string_view version);

}  // namespace torvane::manpage
