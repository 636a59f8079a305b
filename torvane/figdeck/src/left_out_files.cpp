#include "left_out_files.hpp"

#include <set>
#include <string_view>
#include <system_error>

#include "helmkit/files/file_mg.hpp"

namespace fs = std::filesystem;

namespace torvane::figdeck {

namespace {

std::string files(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " file" : " files");
}

std::string lower_extension(const std::string& name) {
    std::string extension = fs::path(name).extension().string();
    for (auto& c : extension) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return extension.empty() ? "no extension" : extension;
}

}  // namespace

void log_left_out_files(const fs::path& folder, const std::vector<std::string>& images,
                        const std::vector<bool>& taken, const fs::path& output,
                        helmkit::app_logging::Logger& log) {
    const std::set<std::string_view> image_names(images.begin(), images.end());
    const fs::path report = output.lexically_normal();
    std::size_t unread = 0;
    std::set<std::string> extensions;
    for (const auto& name : helmkit::fileMg::list_folder_names(folder)) {
        if (name.starts_with(".") || image_names.count(name) != 0) continue;
        std::error_code error;
        if (!fs::is_regular_file(folder / name, error)) continue;
        if ((folder / name).lexically_normal() == report) continue;
        ++unread;
        extensions.insert(lower_extension(name));
    }
    std::size_t unmatched = 0;
    for (std::size_t i = 0; i < images.size() && i < taken.size(); ++i) {
        if (taken[i]) continue;
        ++unmatched;
        log.debug("Matched by no group: " + images[i]);
    }
    if (unread + unmatched == 0) return;

    std::vector<std::string> reasons;
    if (unread > 0) {
        std::string kinds;
        for (const auto& extension : extensions) kinds += (kinds.empty() ? "" : ", ") + extension;
        reasons.push_back(std::to_string(unread) + " of a kind figdeck does not read (" + kinds +
                          ")");
    }
    if (unmatched > 0) reasons.push_back(std::to_string(unmatched) + " matched by no group");
    std::string line = "Left out " + files(unread + unmatched) + " of the image folder: ";
    for (std::size_t i = 0; i < reasons.size(); ++i) line += (i == 0 ? "" : ", ") + reasons[i];
    log.info(line);
}

}  // namespace torvane::figdeck
