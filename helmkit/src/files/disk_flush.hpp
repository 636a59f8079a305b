#pragma once

#include <filesystem>

namespace helmkit::disk_flush {

// Gives the file at `path` the permissions a newly created file gets under the umask (a
// library that wrote a temporary by name may have replaced it). Returns 0 or the errno value.
int give_new_file_mode(const std::filesystem::path& path) noexcept;

// Gives the file at `path` the new-file permissions and flushes it to disk (its data and what
// is needed to read it back). Returns 0 or the errno value.
int flush_new_file(const std::filesystem::path& path) noexcept;

// Flushes every file of the file system that holds the open descriptor `fd` to disk, and
// reports any write-back error the file system met since `fd` was opened. Returns 0 or the
// errno value.
int flush_file_system(int fd) noexcept;

// Flushes the entries of `folder` to disk, so that renames into or out of it survive a power
// loss. Returns 0 or the errno value.
int flush_folder(const std::filesystem::path& folder) noexcept;

}  // namespace helmkit::disk_flush
