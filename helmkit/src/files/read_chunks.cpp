#include "helmkit/files/read_chunks.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "helmkit/base/error.hpp"

namespace helmkit {

ReadableFile::ReadableFile(const std::filesystem::path& path) : m_path(path) {
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0) throw_file_error("read", path, errno);
    if (::fstat(m_fd, &m_info) != 0 || S_ISDIR(m_info.st_mode)) {
        const int error = S_ISDIR(m_info.st_mode) ? EISDIR : errno;
        ::close(m_fd);
        throw_file_error("read", path, error);
    }
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
