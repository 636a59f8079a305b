#include "helmkit/file_mg.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <numeric>
#include <utility>

#include "helmkit/atomic_file.hpp"
#include "helmkit/error.hpp"
#include "helmkit/natural_order.hpp"
#include "read_chunks.hpp"
#include "helmkit/utf8.hpp"

namespace fs = std::filesystem;

namespace helmkit::fileMg {

namespace {

std::string lower_ascii(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return result;
}

std::string normalise_extension(std::string_view extension) {
    if (!extension.empty() && extension.front() == '.') extension.remove_prefix(1);
    return lower_ascii(extension);
}

// nlohmann prefixes its messages with "[json.exception.parse_error.101] "; users need the rest.
std::string strip_json_exception_id(const char* what) {
    std::string_view text(what);
    if (!text.empty() && text.front() == '[') {
        const auto end = text.find("] ");
        if (end != std::string_view::npos) text.remove_prefix(end + 2);
    }
    return std::string(text);
}

bool is_hidden(const fs::path& path) {
    const auto name = path.filename().string();
    return !name.empty() && name.front() == '.';
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

std::string read_file(const fs::path& path) {
    ReadableFile file(path);
    std::string content;
    if (S_ISREG(file.info().st_mode)) content.reserve(static_cast<std::size_t>(file.info().st_size));
    file.read_chunks([&](std::string_view chunk) { content.append(chunk); });
    return content;
}

std::string read_text_file(const fs::path& path) {
    std::string content = read_file(path);
    const auto bad = find_invalid_utf8(content);
    if (bad != std::string_view::npos) {
        throw Error("'" + path.string() + "' is not UTF-8 text (invalid byte at offset " +
                    std::to_string(bad) + ")");
    }
    return normalise_line_breaks(std::move(content));
}

nlohmann::ordered_json read_json_file(const fs::path& path) {
    const std::string text = read_file(path);
    try {
        return nlohmann::ordered_json::parse(text);
    } catch (const nlohmann::ordered_json::parse_error& error) {
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

int checkFileOrDir(const fs::path& path) {
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error)) ? 0 : 1;
}

std::vector<std::string> list_folder_names(const fs::path& folder) {
    std::error_code error;
    fs::directory_iterator it(folder, error);
    if (error) throw_file_error("list the folder", folder, error.value());
    std::vector<std::string> names;
    for (; it != fs::directory_iterator(); it.increment(error)) {
        if (error) throw_file_error("list the folder", folder, error.value());
        names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return natural_less(a, b); });
    return names;
}

FileList find_files_with_extensions(const fs::path& in_path,
                                    const std::vector<std::string>& extensions,
                                    Recursive recursive) {
    std::error_code error;
    if (!fs::is_directory(in_path, error)) {
        throw_file_error("list the folder", in_path,
                         fs::exists(in_path, error) ? ENOTDIR : ENOENT);
    }
    std::vector<std::string> wanted;
    for (const auto& extension : extensions) wanted.push_back(normalise_extension(extension));

    std::vector<fs::path> relative;
    auto consider = [&](const fs::directory_entry& entry) {
        if (is_hidden(entry.path())) return;
        std::error_code status_error;
        if (!entry.is_regular_file(status_error)) return;
        const auto extension = normalise_extension(entry.path().extension().string());
        if (std::find(wanted.begin(), wanted.end(), extension) == wanted.end()) return;
        relative.push_back(entry.path().lexically_relative(in_path));
    };

    if (recursive == Recursive::yes) {
        fs::recursive_directory_iterator it(in_path, error);
        if (error) throw_file_error("list the folder", in_path, error.value());
        for (; it != fs::recursive_directory_iterator(); it.increment(error)) {
            if (error) throw_file_error("list the folder", in_path, error.value());
            if (it->is_directory(error) && is_hidden(it->path())) {
                it.disable_recursion_pending();
                continue;
            }
            consider(*it);
        }
    } else {
        fs::directory_iterator it(in_path, error);
        if (error) throw_file_error("list the folder", in_path, error.value());
        for (; it != fs::directory_iterator(); it.increment(error)) {
            if (error) throw_file_error("list the folder", in_path, error.value());
            consider(*it);
        }
    }

    std::sort(relative.begin(), relative.end(), [](const fs::path& a, const fs::path& b) {
        return natural_less(a.string(), b.string());
    });
    FileList list;
    for (const auto& rel : relative) {
        list.paths.push_back((in_path / rel).string());
        list.names.push_back(rel.filename().string());
    }
    return list;
}

bool check_file_exists(const fs::path& path, const std::vector<std::string>& allowed_extensions) {
    std::error_code error;
    if (!fs::is_regular_file(path, error)) return false;
    if (allowed_extensions.empty()) return true;
    const auto extension = normalise_extension(path.extension().string());
    return std::any_of(allowed_extensions.begin(), allowed_extensions.end(),
                       [&](const std::string& allowed) {
                           return normalise_extension(allowed) == extension;
                       });
}

fs::path get_output_file_path(const fs::path& output_dir, std::string_view file_name) {
    const fs::path folder = output_dir.empty() ? fs::path(".") : output_dir;
    std::error_code error;
    fs::create_directories(folder, error);
    if (error || !fs::is_directory(folder)) {
        throw_file_error("create the folder", folder,
                         error ? error.value() : static_cast<int>(std::errc::not_a_directory));
    }
    return folder / fs::path(file_name);
}

}  // namespace helmkit::fileMg
