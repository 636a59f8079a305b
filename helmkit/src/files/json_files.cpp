// Reading JSON files and configurations, writing templates.
#include "helmkit/base/error.hpp"
#include "helmkit/files/atomic_file.hpp"
#include "helmkit/files/file_mg.hpp"

namespace fs = std::filesystem;

namespace helmkit::fileMg {

namespace {

// nlohmann prefixes its messages with "[json.exception.parse_error.101] "; users need the rest.
std::string strip_json_exception_id(const char* what) {
    std::string_view text(what);
    if (!text.empty() && text.front() == '[') {
        const auto end = text.find("] ");
        if (end != std::string_view::npos) text.remove_prefix(end + 2);
    }
    return std::string(text);
}

}  // namespace

std::string json_type_name(const nlohmann::ordered_json& value) {
    if (value.is_array()) return "a list";
    if (value.is_string()) return "a text";
    if (value.is_number()) return "a number";
    if (value.is_boolean()) return "a boolean";
    if (value.is_null()) return "null";
    return "an object";
}

nlohmann::ordered_json read_json_file(const fs::path& path) {
    const std::string text = read_file(path);
    try {
        return nlohmann::ordered_json::parse(text);
    } catch (const nlohmann::ordered_json::exception& error) {
        // Syntax errors, and numbers beyond a double's range (out_of_range.406).
        throw Error("'" + path.string() + "' is not valid JSON: " +
                    strip_json_exception_id(error.what()));
    }
}

fs::path generate_json_template(const nlohmann::ordered_json& dict, std::string_view name) {
    const fs::path target = fs::absolute(fs::path(name));
    write_file_atomically(target, dict.dump(4, ' ', false) + "\n");
    return target;
}

std::vector<nlohmann::ordered_json> load_json_file(const fs::path& path,
                                                   const std::vector<std::string>& required_keys,
                                                   app_logging::Logger& log) {
    nlohmann::ordered_json data;
    try {
        data = read_json_file(path);
    } catch (const Error& error) {
        log.error(std::string("Failed to load config: ") + error.what());
        return {};
    }
    if (!data.is_object()) {
        log.error("Failed to load config: '" + path.string() +
                  "' must hold a JSON object at the top level, not " + json_type_name(data));
        return {};
    }
    std::vector<nlohmann::ordered_json> values;
    for (const auto& key : required_keys) {
        const auto found = data.find(key);
        if (found == data.end()) {
            log.error("Failed to load config: '" + path.string() + "' has no key '" + key + "'");
            return {};
        }
        values.push_back(*found);
    }
    return values;
}

}  // namespace helmkit::fileMg
