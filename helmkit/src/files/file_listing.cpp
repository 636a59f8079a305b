// Listing folders and checking paths.
#include <algorithm>
#include <cerrno>

#include "helmkit/base/error.hpp"
#include "helmkit/files/file_mg.hpp"
#include "helmkit/text/natural_order.hpp"

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

bool is_hidden(const fs::path& path) {
    const auto name = path.filename().string();
    return !name.empty() && name.front() == '.';
}

}  // namespace

int checkFileOrDir(const fs::path& path) {
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error)) ? 0 : 1;
}

std::string where_looked(const fs::path& path) {
    std::error_code error;
    const fs::path cwd = fs::current_path(error);
    const std::string folder = "(current folder: '" + cwd.string() + "')";
    if (path.empty()) return "The path is empty " + folder;
    return "Looked for '" + (cwd / path).lexically_normal().string() + "' " + folder;
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
