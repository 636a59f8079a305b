#pragma once

#include <string>

#include "helmkit/base/json.hpp"

namespace torvane::claimsort {

// The configuration template that --generate-config writes and the long help shows.
extern const nlohmann::ordered_json DEFAULT_CONFIG;

// The long help of the command, with the parameter description and DEFAULT_CONFIG.
extern const std::string HELP_TEXT;

}  // namespace torvane::claimsort
