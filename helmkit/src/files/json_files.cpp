// Reading JSON files and configurations, writing templates.
#include <cerrno>
#include <cstdint>
#include <string>

#include "helmkit/base/console.hpp"
#include "helmkit/base/error.hpp"
#include "helmkit/files/atomic_file.hpp"
#include "helmkit/files/file_mg.hpp"
#include "helmkit/files/read_chunks.hpp"

namespace fs = std::filesystem;

namespace helmkit::fileMg {

namespace {

// The JSON files read are configurations of a few kilobytes; the bounds keep a hostile or
// mistaken one from costing the process its memory or its stack.
constexpr std::uint64_t k_max_json_file_size = std::uint64_t{64} << 20;
constexpr int k_max_json_depth = 512;

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
    ReadableFile file(path);
    const auto too_large = [&] {
        return Error("'" + path.string() + "' is larger than " +
                     std::to_string(k_max_json_file_size >> 20) + " MiB, too large for JSON");
    };
    if (static_cast<std::uint64_t>(file.info().st_size) > k_max_json_file_size) throw too_large();
    std::string text;
    file.read_chunks([&](std::string_view chunk) {
        if (text.size() + chunk.size() > k_max_json_file_size) throw too_large();
        text.append(chunk);
    });
    // The parser itself keeps its nesting on the heap; copying or printing the value would
    // recurse once per level, so a deep file is refused while it is parsed.
    const nlohmann::ordered_json::parser_callback_t bound_depth =
        [&](int depth, nlohmann::ordered_json::parse_event_t event, nlohmann::ordered_json&) {
            if (depth >= k_max_json_depth &&
                (event == nlohmann::ordered_json::parse_event_t::object_start ||
                 event == nlohmann::ordered_json::parse_event_t::array_start)) {
                throw Error("'" + path.string() + "' nests lists and objects deeper than " +
                            std::to_string(k_max_json_depth) + " levels");
            }
            return true;
        };
    try {
        return nlohmann::ordered_json::parse(text, bound_depth);
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
    if (fs::exists(status) && !holds_exactly(target, content)) {
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
