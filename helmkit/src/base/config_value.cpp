#include "helmkit/base/config_value.hpp"

#include "helmkit/base/error.hpp"

namespace helmkit {

namespace {

const nlohmann::ordered_json* find_key(const nlohmann::ordered_json& section,
                                       std::string_view key) {
    if (!section.is_object()) return nullptr;
    const auto found = section.find(key);
    return found == section.end() ? nullptr : &*found;
}

[[noreturn]] void throw_wrong_type(std::string_view key, std::string_view where,
                                   std::string_view wanted, const nlohmann::ordered_json& value) {
    throw Error("'" + std::string(key) + "' in " + std::string(where) + " must be " +
                std::string(wanted) + ", not " + value.dump());
}

}  // namespace

double number_or(const nlohmann::ordered_json& section, std::string_view key, double fallback,
                 std::string_view where) {
    const auto* value = find_key(section, key);
    if (value == nullptr) return fallback;
    if (!value->is_number()) throw_wrong_type(key, where, "a number", *value);
    return value->get<double>();
}

std::string text_or(const nlohmann::ordered_json& section, std::string_view key,
                    std::string_view fallback, std::string_view where) {
    const auto* value = find_key(section, key);
    if (value == nullptr) return std::string(fallback);
    if (!value->is_string()) throw_wrong_type(key, where, "a text", *value);
    return value->get<std::string>();
}

bool bool_or(const nlohmann::ordered_json& section, std::string_view key, bool fallback,
             std::string_view where) {
    const auto* value = find_key(section, key);
    if (value == nullptr) return fallback;
    if (!value->is_boolean()) throw_wrong_type(key, where, "true or false", *value);
    return value->get<bool>();
}

}  // namespace helmkit
