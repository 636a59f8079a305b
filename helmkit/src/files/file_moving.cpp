#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

#include "crash_points.hpp"
#include "disk_flush.hpp"
#include "helmkit/base/error.hpp"
#include "helmkit/files/atomic_file.hpp"
#include "helmkit/files/file_mg.hpp"
#include "helmkit/files/move_batch.hpp"
#include "helmkit/files/read_chunks.hpp"

namespace fs = std::filesystem;

namespace helmkit::fileMg {

namespace {

constexpr int k_max_free_name_tries = 10'000;

bool exists_as_anything(const fs::path& path) {
    std::error_code ignored;
    return fs::exists(fs::symlink_status(path, ignored));
}

// Returns `wanted`, or when that name exists or is in `taken` the first free
// "<stem>_N<extension>", N >= 2.
fs::path free_name(const fs::path& wanted, const std::set<fs::path>& taken) {
    const auto is_free = [&](const fs::path& path) {
        return taken.count(path) == 0 && !exists_as_anything(path);
    };
    if (is_free(wanted)) return wanted;
    const auto folder = wanted.parent_path();
    const auto stem = wanted.stem().string();
    const auto extension = wanted.extension().string();
    for (int n = 2; n < k_max_free_name_tries; ++n) {
        auto candidate = folder / (stem + "_" + std::to_string(n) + extension);
        if (is_free(candidate)) return candidate;
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

// Copies `src` into `copy`'s temporary, keeping the modification time.
void copy_into(const fs::path& src, AtomicFile& copy) {
    ReadableFile source(src);
    source.read_chunks([&](std::string_view chunk) { copy.write(chunk); });
    const timespec times[2] = {source.info().st_atim, source.info().st_mtim};
    ::utimensat(AT_FDCWD, copy.temp_path().c_str(), times, 0);
}

void check_path(const fs::path& path) {
    if (path.native().find('\0') != std::string::npos) {
        throw Error("'" + path.string() + "' holds a null character, which no file name can");
    }
}

void note_folder(std::vector<fs::path>& folders, fs::path folder) {
    if (std::find(folders.begin(), folders.end(), folder) == folders.end()) {
        folders.push_back(std::move(folder));
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

MoveBatch::MoveBatch() = default;

MoveBatch::~MoveBatch() = default;

MovedFile MoveBatch::reserve(const fs::path& dest, const fs::path& backup) {
    MovedFile moved{free_name(dest, m_taken), {}};
    m_taken.insert(moved.dest);
    moved.backup = free_name(backup, m_taken);
    m_taken.insert(moved.backup);
    return moved;
}

MovedFile MoveBatch::add(const fs::path& src, const fs::path& dest, const fs::path& backup,
                         app_logging::Logger& log) {
    for (const auto* path : {&src, &dest, &backup}) check_path(*path);
    std::error_code status_error;
    if (!fs::is_regular_file(src, status_error)) {
        throw_file_error("move", src, exists_as_anything(src) ? EISDIR : ENOENT);
    }
    create_folder_for(backup);
    create_folder_for(dest);

    const auto moved = reserve(dest, backup);
    try {
        m_backups.add(
            moved.backup, [&](AtomicFile& copy) { copy_into(src, copy); }, Overwrite::no);
    } catch (...) {
        // Both names were free before this call took them.
        m_taken.erase(moved.dest);
        m_taken.erase(moved.backup);
        throw;
    }
    if (moved.backup != backup) {
        log.warning("'" + backup.string() + "' already exists; keeping the backup of '" +
                    src.string() + "' as '" + moved.backup.string() + "'");
    }
    if (moved.dest != dest) {
        log.warning("'" + dest.string() + "' already exists; moving '" + src.string() + "' to '" +
                    moved.dest.string() + "' instead");
    }
    m_moves.push_back({src, moved});
    return moved;
}

std::vector<std::string> MoveBatch::commit() {
    auto moves = std::exchange(m_moves, {});
    m_taken.clear();
    std::vector<std::string> errors(moves.size());
    const auto fail_where = [&](const auto& matches, const std::string& message) {
        for (std::size_t i = 0; i < moves.size(); ++i) {
            if (errors[i].empty() && matches(moves[i])) errors[i] = message;
        }
    };
    for (const auto& failure : m_backups.commit()) {
        fail_where([&](const Planned& move) { return move.moved.backup == failure.target; },
                   failure.message);
    }

    // Every backup is on disk now; only then does a source leave its folder.
    std::vector<fs::path> folders;
    AtomicBatch crossing;
    std::vector<std::size_t> crossing_moves;
    for (std::size_t i = 0; i < moves.size(); ++i) {
        if (!errors[i].empty()) continue;
        const auto& [src, moved] = moves[i];
        const int error = rename_no_replace(src, moved.dest);
        crash_point();
        if (error == EXDEV) {
            try {
                crossing.add(
                    moved.dest, [&source = src](AtomicFile& copy) { copy_into(source, copy); },
                    Overwrite::no);
                crossing_moves.push_back(i);
            } catch (const Error& copy_error) {
                errors[i] = copy_error.what();
            }
        } else if (error != 0) {
            errors[i] = "cannot move '" + src.string() + "' to '" + moved.dest.string() +
                        "': " + std::strerror(error);
        } else {
            note_folder(folders, src.parent_path());
            note_folder(folders, moved.dest.parent_path());
        }
    }
    for (const auto& failure : crossing.commit()) {
        fail_where([&](const Planned& move) { return move.moved.dest == failure.target; },
                   failure.message);
    }
    for (const auto i : crossing_moves) {
        if (!errors[i].empty()) continue;
        const auto& [src, moved] = moves[i];
        if (::unlink(src.c_str()) != 0) {
            const int unlink_error = errno;
            ::unlink(moved.dest.c_str());
            errors[i] = describe_file_error("remove", src, unlink_error) +
                        " after copying it to another file system; it stays where it was";
        } else {
            note_folder(folders, src.parent_path());
        }
    }

    for (const auto& folder : folders) {
        const int error = disk_flush::flush_folder(folder);
        crash_point();
        if (error == 0) continue;
        fail_where(
            [&](const Planned& move) {
                return move.src.parent_path() == folder || move.moved.dest.parent_path() == folder;
            },
            describe_file_error("flush the folder", folder, error));
    }
    return errors;
}

MovedFile move_file_force(const fs::path& src, const fs::path& dest, const fs::path& backup,
                          app_logging::Logger& log) {
    MoveBatch batch;
    const auto moved = batch.add(src, dest, backup, log);
    if (const auto errors = batch.commit(); !errors[0].empty()) throw Error(errors[0]);
    return moved;
}

}  // namespace helmkit::fileMg
