#pragma once

#include <string>
#include <string_view>

#include "helmkit/base/json.hpp"

namespace helmkit {

// Returns the number under `key` of the configuration object `section`, or `fallback` when
// the key is absent. Throws Error naming the key and `where` (such as "the \"config\"
// section") when the value is not a number.
double number_or(const nlohmann::ordered_json& section, std::string_view key, double fallback,
                 std::string_view where);

// Returns the text under `key` of `section`, or `fallback` when the key is absent. Throws
// Error naming the key and `where` when the value is not a text.
std::string text_or(const nlohmann::ordered_json& section, std::string_view key,
                    std::string_view fallback, std::string_view where);

// Returns the truth value under `key` of `section`, or `fallback` when the key is absent.
// Throws Error naming the key and `where` when the value is not true or false.
bool bool_or(const nlohmann::ordered_json& section, std::string_view key, bool fallback,
             std::string_view where);

}  // namespace helmkit
