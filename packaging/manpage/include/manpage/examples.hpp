#pragma once

#include <string>
#include <vector>

#include "torvane/command_entry.hpp"

namespace torvane::manpage {

// Returns the roff of the EXAMPLES section: for each of `commands` that has sample files, the
// shell lines ("$ " first) that run it on a copy of them and what it makes.
std::string examples_section(const std::vector<CommandEntry>& commands);

}  // namespace torvane::manpage
