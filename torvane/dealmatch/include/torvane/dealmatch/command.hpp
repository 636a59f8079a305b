#pragma once

#include <string>

#include "helmkit/base/json.hpp"
#include "torvane/command_entry.hpp"

namespace torvane::dealmatch {

// The dealmatch command after the front's frame: one matching run on the "config" section,
// then "Success: " or "Failed: " and its message. Returns 0, and under TORVANE_STRICT=1 1 when
// the run failed. Lets unexpected failures (a section that is not an object, a key of the
// wrong type) propagate.
extern "C" int cmd_dealmatch(const nlohmann::ordered_json& section, const std::string& config_path);

// Describes the dealmatch command to the front program.
CommandEntry command();

}  // namespace torvane::dealmatch
