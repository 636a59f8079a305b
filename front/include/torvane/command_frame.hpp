#pragma once

#include <optional>
#include <string>

#include "torvane/command_entry.hpp"

namespace torvane::front {

// Runs the command of `entry` through the frame all tools share: its facility check, the
// template (--generate-config), the missing-configuration lines, loading the configuration as
// its ConfigLoading says, then its worker. Returns the exit status; lets the errors of reading
// a whole-file configuration and the worker's own propagate.
int run_command_frame(const CommandEntry& entry, const std::optional<std::string>& config,
                      bool generate_config);

}  // namespace torvane::front
