#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "helmkit/files/atomic_file.hpp"
#include "helmkit/base/error.hpp"
#include "helmkit/files/file_mg.hpp"
#include "read_chunks.hpp"

namespace fs = std::filesystem;

namespace helmkit::fileMg {

namespace {

constexpr int k_max_free_name_tries = 10'000;

bool exists_as_anything(const fs::path& path) {
    std::error_code ignored;
    return fs::exists(fs::symlink_status(path, ignored));
}

// Returns `wanted`, or when that name is taken the first free "<stem>_N<extension>", N >= 2.
fs::path free_name(const fs::path& wanted) {
    if (!exists_as_anything(wanted)) return wanted;
    const auto folder = wanted.parent_path();
    const auto stem = wanted.stem().string();
    const auto extension = wanted.extension().string();
    for (int n = 2; n < k_max_free_name_tries; ++n) {
        auto candidate = folder / (stem + "_" + std::to_string(n) + extension);
        if (!exists_as_anything(candidate)) return candidate;
    }
    throw Error("cannot find a free name for '" + wanted.string() + "'");
}

void create_folder_for(const fs::path& file) {
    const auto folder = file.parent_path();
    if (folder.empty()) return;
    std::error_code error;
    fs::create_directories(folder, error);
    if (error) throw_file_error("create the folder", folder, error.value());
}

// Copies `src` to the new file `target` through an AtomicFile (flushed, never replacing),
// keeping the modification time.
void copy_to_new_file(const fs::path& src, const fs::path& target) {
    ReadableFile source(src);
    AtomicFile copy(target);
    source.read_chunks([&](std::string_view chunk) { copy.write(chunk); });
    copy.commit(Overwrite::no);
    const timespec times[2] = {source.info().st_atim, source.info().st_mtim};
    ::utimensat(AT_FDCWD, target.c_str(), times, 0);
}

void check_path(const fs::path& path) {
    if (path.native().find('\0') != std::string::npos) {
        throw Error("'" + path.string() + "' holds a null character, which no file name can");
    }
}

}  // namespace

fs::path get_folder_from_path(const fs::path& path) {
    std::error_code error;
    const auto status = fs::status(path, error);
    if (!fs::exists(status)) throw_file_error("use the input folder", path, ENOENT);
    if (fs::is_directory(status)) return path;
    return path.has_parent_path() ? path.parent_path() : fs::path(".");
}

fs::path generate_output_path(const fs::path& folder, std::string_view name) {
    return folder / fs::path(name);
}

MovedFile move_file_force(const fs::path& src, const fs::path& dest, const fs::path& backup,
                          app_logging::Logger& log) {
    for (const auto* path : {&src, &dest, &backup}) check_path(*path);
    std::error_code status_error;
    if (!fs::is_regular_file(src, status_error)) {
        throw_file_error("move", src, exists_as_anything(src) ? EISDIR : ENOENT);
    }
    create_folder_for(backup);
    create_folder_for(dest);

    MovedFile moved{free_name(dest), free_name(backup)};
    if (moved.backup != backup) {
        log.warning("'" + backup.string() + "' already exists; keeping the backup of '" +
                    src.string() + "' as '" + moved.backup.string() + "'");
    }
    copy_to_new_file(src, moved.backup);

    if (moved.dest != dest) {
        log.warning("'" + dest.string() + "' already exists; moving '" + src.string() + "' to '" +
                    moved.dest.string() + "' instead");
    }
    const int error = rename_no_replace(src, moved.dest);
    if (error == EXDEV) {
        copy_to_new_file(src, moved.dest);
        if (::unlink(src.c_str()) != 0) {
            const int unlink_error = errno;
            ::unlink(moved.dest.c_str());
            throw Error(describe_file_error("remove", src, unlink_error) +
                        " after copying it to another file system; it stays where it was");
        }
    } else if (error != 0) {
        throw Error("cannot move '" + src.string() + "' to '" + moved.dest.string() +
                    "': " + std::strerror(error));
    }
    return moved;
}

}  // namespace helmkit::fileMg
