#pragma once

#include "helmkit/base/json.hpp"

namespace torvane::gridpage {

// The configuration template that --generate-config writes.
extern const nlohmann::ordered_json DEFAULT_CONFIG;

}  // namespace torvane::gridpage
