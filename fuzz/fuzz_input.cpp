#include "fuzz_input.hpp"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <system_error>

namespace torvane_fuzz {

namespace fs = std::filesystem;

namespace {

// Parallel fuzzing runs one process per job, so each keeps its own folder. The path is never
// destroyed: the exit handler that removes the folder runs after static destructors.
const fs::path& scratch_folder() {
    static const fs::path* folder = [] {
        auto* path =
            new fs::path(fs::temp_directory_path() / ("torvane-fuzz-" + std::to_string(getpid())));
        fs::create_directories(*path);
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(scratch_folder(), ignored);
        });
        return path;
    }();
    return *folder;
}

}  // namespace

fs::path scratch_file(std::string_view name, std::string_view bytes) {
    auto path = scratch_folder() / name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw std::runtime_error("cannot write the scratch file " + path.string());
    return path;
}

std::vector<std::string_view> split_parts(std::string_view bytes, char separator,
                                          std::size_t count) {
    std::vector<std::string_view> parts;
    while (parts.size() + 1 < count) {
        const auto end = bytes.find(separator);
        if (end == std::string_view::npos) break;
        parts.push_back(bytes.substr(0, end));
        bytes.remove_prefix(end + 1);
    }
    parts.push_back(bytes);
    parts.resize(count);
    return parts;
}

}  // namespace torvane_fuzz
