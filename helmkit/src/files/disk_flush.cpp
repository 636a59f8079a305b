#include "disk_flush.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace helmkit::disk_flush {

namespace {

mode_t default_file_mode() {
    // umask can only be read by setting it; restore it at once.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

int give_new_file_mode(const std::filesystem::path& path) noexcept {
    return ::chmod(path.c_str(), default_file_mode()) == 0 ? 0 : errno;
}

int flush_new_file(const std::filesystem::path& path) noexcept {
    // Opened by name: a library may have replaced the temporary by writing it by name.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno;
    const int error = ::fsync(fd) == 0 ? 0 : errno;
    ::fchmod(fd, default_file_mode());
    ::close(fd);
    return error;
}

int flush_file_system(int fd) noexcept { return ::syncfs(fd) == 0 ? 0 : errno; }

int flush_folder(const std::filesystem::path& folder) noexcept {
    const auto& name = folder.empty() ? std::filesystem::path(".") : folder;
    const int fd = ::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    const int error = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    return error;
}

}  // namespace helmkit::disk_flush
