#include "helmkit/files/atomic_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>
#include <string>
#include <utility>

#include "crash_points.hpp"
#include "disk_flush.hpp"
#include "helmkit/base/error.hpp"

namespace helmkit {

namespace {

// What an existing target is when it is not a regular file, or null; a link counts as what it
// points to, so a link to a device is refused and one to a file is replaced as before.
const char* special_kind(const std::filesystem::path& target) {
    namespace fs = std::filesystem;
    std::error_code ignored;
    const auto status = fs::status(target, ignored);
    switch (status.type()) {
        case fs::file_type::directory: return "a folder";
        case fs::file_type::character: return "a character device";
        case fs::file_type::block: return "a block device";
        case fs::file_type::fifo: return "a FIFO";
        case fs::file_type::socket: return "a socket";
        case fs::file_type::unknown: return "an entry of an unknown kind";
        default: return nullptr;
    }
}

// Creates a new file named `prefix` and six random letters and digits, for reading and writing
// and closed in child processes. It gets the permissions of any new file under the umask, as
// the output will have them. Returns its descriptor, or -1 with errno set.
int create_unique_file(std::string& path, std::size_t prefix) {
    static constexpr char k_letters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::minstd_rand random(std::random_device{}());
    std::uniform_int_distribution<std::size_t> letter(0, sizeof k_letters - 2);
    for (int attempt = 0; attempt < 100; ++attempt) {
        for (std::size_t i = prefix; i < path.size(); ++i) path[i] = k_letters[letter(random)];
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

}  // namespace

void check_output_target(const std::filesystem::path& target) {
    // Renaming over a device or a FIFO would replace it; the user named it by mistake.
    if (const char* kind = special_kind(target)) {
        throw Error("cannot write '" + target.string() + "': it is " + kind +
                    ", not a regular file, and is left as it is");
    }
}

AtomicFile::AtomicFile(std::filesystem::path target) : m_target(std::move(target)) {
    check_output_target(m_target);
    // Built by appending: GCC 12 at -O3 warns falsely (-Wrestrict) about "." + std::string.
    std::string name = ".";
    name += m_target.filename().string();
    name += ".tmp-XXXXXX";
    std::string pattern = (m_target.parent_path() / name).string();
    m_fd = create_unique_file(pattern, pattern.size() - 6);
    if (m_fd < 0) {
        throw_file_error("create a temporary file for", m_target, errno);
    }
    m_temp = pattern;
}

AtomicFile::AtomicFile(AtomicFile&& other) noexcept
    : m_target(std::move(other.m_target)),
      m_temp(std::move(other.m_temp)),
      m_fd(std::exchange(other.m_fd, -1)),
      m_named(other.m_named),
      m_committed(std::exchange(other.m_committed, true)) {}

AtomicFile::~AtomicFile() {
    close_fd();
    if (!m_committed && !m_temp.empty()) {
        std::error_code ignored;
        std::filesystem::remove(m_temp, ignored);
    }
}

void AtomicFile::close_fd() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

void AtomicFile::write(std::string_view data) {
    while (!data.empty()) {
        const ssize_t written = ::write(m_fd, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            throw_file_error("write", m_target, errno);
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
}

void AtomicFile::commit(Overwrite overwrite, Flush flush) {
    close_fd();
    // A flush gives the new-file permissions itself.
    if (flush == Flush::when_replacing) give_mode_if_named();
    if (placed_unflushed(overwrite, flush)) return;
    if (const int error = disk_flush::flush_new_file(m_temp); error != 0) {
        throw_file_error("flush", m_target, error);
    }
    crash_point();
    rename_over_target(overwrite);
}

void AtomicFile::give_mode_if_named() {
    if (!m_named) return;
    if (const int error = disk_flush::give_new_file_mode(m_temp); error != 0) {
        throw_file_error("write", m_target, error);
    }
}

bool AtomicFile::target_is_free() const {
    struct stat info {};
    // Anything but a name that is plainly free counts as taken.
    return ::lstat(m_target.c_str(), &info) != 0 && errno == ENOENT;
}

bool AtomicFile::placed_unflushed(Overwrite overwrite, Flush flush) {
    if (flush == Flush::always || !target_is_free()) return false;
    return placed_under_free_name(overwrite);
}

bool AtomicFile::placed_under_free_name(Overwrite overwrite) {
    const int error = rename_no_replace(m_temp, m_target);
    if (error == EEXIST && overwrite == Overwrite::yes) return false;
    if (error != 0) throw_file_error("write", m_target, error);
    m_committed = true;
    return true;
}

void AtomicFile::rename_over_target(Overwrite overwrite) {
    if (overwrite == Overwrite::no) {
        if (const int error = rename_no_replace(m_temp, m_target); error != 0) {
            throw_file_error("write", m_target, error);
        }
    } else if (std::rename(m_temp.c_str(), m_target.c_str()) != 0) {
        throw_file_error("write", m_target, errno);
    }
    m_committed = true;
}

int rename_no_replace(const std::filesystem::path& from,
                      const std::filesystem::path& to) noexcept {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    // The file system cannot rename without replacing: a hard link fails on an existing name.
    if (::link(from.c_str(), to.c_str()) != 0) return errno;
    if (::unlink(from.c_str()) != 0) {
        const int error = errno;
        ::unlink(to.c_str());
        return error;
    }
    return 0;
}

void write_file_atomically(const std::filesystem::path& target, std::string_view data) {
    AtomicFile file(target);
    file.write(data);
    file.commit();
}

}  // namespace helmkit
