#include "helmkit/base/json_value.hpp"

namespace helmkit {

bool is_truthy(const nlohmann::ordered_json& value) {
    if (value.is_null()) return false;
    if (value.is_boolean()) return value.get<bool>();
    if (value.is_number()) return value.get<double>() != 0.0;
    if (value.is_string()) return !value.get_ref<const std::string&>().empty();
    return !value.empty();
}

std::string display_text(const nlohmann::ordered_json& value) {
    if (value.is_null()) return "None";
    if (value.is_boolean()) return value.get<bool>() ? "True" : "False";
    if (value.is_string()) return value.get<std::string>();
    return value.dump();
}

}  // namespace helmkit
