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
    const int flags = ::fcntl(m_fd, F_GETFL);
    if (flags >= 0) ::fcntl(m_fd, F_SETFL, flags & ~O_NONBLOCK);
}

ReadableFile::~ReadableFile() { ::close(m_fd); }

void ReadableFile::read_chunks(const std::function<void(std::string_view)>& consume) {
    char buffer[65536];
    while (true) {
        const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
        if (got == 0) return;
        if (got < 0) {
            if (errno == EINTR) continue;
            throw_file_error("read", m_path, errno);
        }
        consume(std::string_view(buffer, static_cast<std::size_t>(got)));
    }
}

}  // namespace helmkit
