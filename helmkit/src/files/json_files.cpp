// Reading JSON files and configurations, writing templates.
#include <cerrno>
#include <string>

#include "helmkit/base/console.hpp"
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

// False also when the file cannot be read: then it is kept aside rather than lost.
bool holds_exactly(const fs::path& path, std::string_view content) {
    try {
        return read_file(path) == content;
    } catch (const Error&) {
        return false;
    }
}

// Renames `target` to the first free "<target>.bak", "<target>.bak.2", ... and returns that name.
fs::path keep_aside(const fs::path& target) {
    for (unsigned n = 1;; ++n) {
        fs::path kept = target;
        kept += n == 1 ? std::string(".bak") : ".bak." + std::to_string(n);
        const int error = rename_no_replace(target, kept);
        if (error == 0) return kept;
        if (error != EEXIST) throw_file_error("keep aside the earlier", target, error);
    }
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
    const std::string content = dict.dump(4, ' ', false) + "\n";
    AtomicFile file(target);
    file.write(content);
    // Users edit the template in place; an edited one is worth more than a fresh copy.
    std::error_code ignored;
    const auto status = fs::symlink_status(target, ignored);
    if (fs::exists(status) && !fs::is_directory(status) && !holds_exactly(target, content)) {
        const fs::path kept = keep_aside(target);
        echo_err(target.filename().string() +
                 " differs from the template; the earlier file is kept as " + kept.string());
    }
    file.commit();
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
