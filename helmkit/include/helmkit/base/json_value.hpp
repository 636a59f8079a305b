#pragma once

#include <string>

#include "helmkit/base/json.hpp"

namespace helmkit {

// Returns whether a configuration value counts as true: false, null, 0, the empty text and an
// empty list or object count as false, every other value as true.
bool is_truthy(const nlohmann::ordered_json& value);

// Returns the text form of a configuration value for log lines: booleans as True or False,
// null as None, whole numbers without a decimal point, texts as they are, lists and objects
// as compact JSON.
std::string display_text(const nlohmann::ordered_json& value);

}  // namespace helmkit
