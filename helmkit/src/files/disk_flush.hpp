#pragma once

#include <filesystem>

namespace helmkit::disk_flush {

// Starts writing the file at `path` to disk without waiting for it, so that later flushes of
// many files overlap. Only a hint: never fails.
void start_writeback(const std::filesystem::path& path) noexcept;

// Flushes the file at `path` to disk (its data and what is needed to read it back) and gives
// it the permissions a newly created file gets under the umask. Returns 0 or the errno value.
int flush_new_file(const std::filesystem::path& path) noexcept;

// Flushes the entries of `folder` to disk, so that renames into or out of it survive a power
// loss. Returns 0 or the errno value.
int flush_folder(const std::filesystem::path& folder) noexcept;

}  // namespace helmkit::disk_flush
