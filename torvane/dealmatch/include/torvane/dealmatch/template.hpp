#pragma once

#include "helmkit/base/json.hpp"

namespace torvane::dealmatch {

// Returns the configuration template that --generate-config writes, built afresh per call.
nlohmann::ordered_json default_cfg_template();

}  // namespace torvane::dealmatch
