#include "helmkit/files/read_chunks.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "helmkit/base/error.hpp"

namespace helmkit {

ReadableFile::ReadableFile(const std::filesystem::path& path) : m_path(path) {
    // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come.
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (m_fd < 0) throw_file_error("read", path, errno);
    if (::fstat(m_fd, &m_info) != 0) {
        const int error = errno;
        ::close(m_fd);
        throw_file_error("read", path, error);
    }
    if (!S_ISREG(m_info.st_mode)) {
        ::close(m_fd);
        if (S_ISDIR(m_info.st_mode)) throw_file_error("read", path, EISDIR);
        // A FIFO or a device has no end a reader can count on (/dev/zero never ends).
        throw Error("cannot read '" + path.string() + "': not a regular file");
    }
}

namespace {

// Reads as read(2) does, waiting where a file system honours O_NONBLOCK on a regular file
// (some FUSE ones): the flag, needed only to open, is cleared when a read first meets it.
ssize_t read_waiting(int fd, char* into, std::size_t size) {
    while (true) {
        const ssize_t got = ::read(fd, into, size);
        if (got >= 0 || (errno != EINTR && errno != EAGAIN)) return got;
        if (errno == EAGAIN) {
            const int flags = ::fcntl(fd, F_GETFL);
            if (flags < 0 || (flags & O_NONBLOCK) == 0 ||
                ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
                errno = EAGAIN;
                return -1;
            }
        }
    }
}

}  // namespace

ReadableFile::~ReadableFile() { ::close(m_fd); }

std::string ReadableFile::read_all() {
    // Read straight into the text: a byte more than the file holds lets the read that finds
    // its end need no buffer of its own, and a file that grows meanwhile is read to its end.
    std::string content(static_cast<std::size_t>(m_info.st_size) + 1, '\0');
    std::size_t filled = 0;
    while (true) {
        if (filled == content.size()) content.resize(content.size() * 2);
        const ssize_t got = read_waiting(m_fd, content.data() + filled, content.size() - filled);
        if (got == 0) break;
        if (got < 0) throw_file_error("read", m_path, errno);
        filled += static_cast<std::size_t>(got);
    }
    content.resize(filled);
    return content;
}

void ReadableFile::read_chunks(const std::function<void(std::string_view)>& consume) {
    char buffer[65536];
    while (true) {
        const ssize_t got = read_waiting(m_fd, buffer, sizeof buffer);
        if (got == 0) return;
        if (got < 0) throw_file_error("read", m_path, errno);
        consume(std::string_view(buffer, static_cast<std::size_t>(got)));
    }
}

}  // namespace helmkit
