#pragma once

#include <string>

#include "helmkit/base/json.hpp"
#include "torvane/command_entry.hpp"

namespace torvane::claimsort {

// True when this build reads workbooks (TORVANE_WORKBOOK_READ and libzip + expat found).
extern const bool HAS_OPENPYXL;

// The claimsort command after the front's frame: the rename run on the whole configuration
// `data`. Returns the exit status; lets unexpected failures (a configuration of the wrong
// shape, a missing input folder) propagate.
extern "C" int cmd_claimsort(const nlohmann::ordered_json& data, const std::string& config_path);

// Describes the claimsort command to the front program.
CommandEntry command();

}  // namespace torvane::claimsort
