#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "test_support.hpp"

namespace torvane_test {

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void write_file(const fs::path& path, std::string_view content) {
    if (path.has_parent_path()) fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

void write_script(const fs::path& path, std::string_view content) {
    write_file(path, content);
    fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
}

std::vector<std::string> folder_names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

std::string log_message(const std::string& line) {
    // "2026-12-08 14:05:09 " is 20 characters, the padded level 8 more.
    if (line.size() < 28 || line[4] != '-' || line[13] != ':') return line;
    const auto colon = line.find(": ", 28);
    return colon == std::string::npos ? line : line.substr(colon + 2);
}

std::vector<std::string> log_messages(const std::string& err, std::string_view level) {
    std::vector<std::string> messages;
    for (const auto& line : lines_of(err)) {
        if (line.size() >= 28 && line.compare(20, level.size(), level) == 0 &&
            line[20 + level.size()] == ' ') {
            messages.push_back(log_message(line));
        }
    }
    return messages;
}

fs::path torvane_binary() { return TORVANE_BINARY; }

fs::path source_dir() { return TORVANE_SOURCE_DIR; }

std::optional<fs::path> minimal_binary() {
    const fs::path path = TORVANE_MINIMAL_BINARY;
    if (path.empty()) return std::nullopt;
    return path;
}

}  // namespace torvane_test
