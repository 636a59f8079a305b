#pragma once

#include <optional>
#include <string>

#include "torvane/command_entry.hpp"

namespace torvane::claimsort {

// True when this build reads workbooks (TORVANE_WORKBOOK_READ and libzip + expat found).
extern const bool HAS_OPENPYXL;

// Runs the claimsort command: template, missing-configuration check, configuration reading,
// rename run. Returns the exit status; lets unexpected failures (unreadable or invalid JSON,
// a configuration of the wrong shape, a missing input folder) propagate.
int cmd_claimsort(const std::optional<std::string>& config, bool generate_config);

// Describes the claimsort command to the front program.
CommandEntry command();

}  // namespace torvane::claimsort
