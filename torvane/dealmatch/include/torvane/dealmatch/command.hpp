#pragma once

#include <optional>
#include <string>

#include "torvane/command_entry.hpp"

namespace torvane::dealmatch {

// Runs the dealmatch command: template, missing-configuration check, loading, one run.
// Returns the exit status: 1 only when no configuration was given, and under TORVANE_STRICT=1
// also when the configuration was refused or the run failed. Lets unexpected failures (a
// section that is not an object, a key of the wrong type) propagate.
int cmd_dealmatch(const std::optional<std::string>& config, bool generate_config);

// Describes the dealmatch command to the front program.
CommandEntry command();

}  // namespace torvane::dealmatch
