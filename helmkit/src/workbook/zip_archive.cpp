#include "zip_archive.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <utility>
#include <vector>

#include "helmkit/base/error.hpp"

namespace helmkit {

namespace {

// Compound File Binary (OLE) signature: password-protected .xlsx files are stored in one.
constexpr std::array<unsigned char, 8> k_ole_signature{0xD0, 0xCF, 0x11, 0xE0,
                                                       0xA1, 0xB1, 0x1A, 0xE1};

// A workbook up to this size is read whole with one read and unzipped from memory; a larger
// one is read through its descriptor, in pieces. Small workbooks are the common case and
// then cost a few system calls instead of a seek and a read per entry.
constexpr std::size_t k_whole_read_limit = 16u << 20;

bool is_ole(const std::vector<char>& head) {
    return head.size() >= k_ole_signature.size() &&
           std::equal(k_ole_signature.begin(), k_ole_signature.end(), head.begin(),
                      [](unsigned char a, char b) { return a == static_cast<unsigned char>(b); });
}

// Reads up to `size` bytes from the start of `fd`, or throws the file error.
std::vector<char> read_head(int fd, std::size_t size, const std::filesystem::path& path) {
    std::vector<char> bytes(size);
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::pread(fd, bytes.data() + got, size - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw_file_error("read workbook", path, errno);
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    return bytes;
}

std::string open_error_reason(int code) {
    switch (code) {
        case ZIP_ER_NOZIP: return "not an .xlsx workbook (no zip archive)";
        case ZIP_ER_INCONS: return "the zip archive is damaged or truncated";
        // Two entries of one name: which of them is the part is anyone's guess.
        case ZIP_ER_EXISTS: return "the zip archive is damaged (two entries share a name)";
        case ZIP_ER_MEMORY: return "out of memory";
        default: break;
    }
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    std::string reason = zip_error_strerror(&error);
    zip_error_fini(&error);
    return reason;
}

}  // namespace

ZipArchive::ZipArchive(const std::filesystem::path& path) : m_path(path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw_file_error("read workbook", path, errno);
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        throw_file_error("read workbook", path, error);
    }
    if (S_ISDIR(info.st_mode)) {
        ::close(fd);
        throw_file_error("read workbook", path, EISDIR);
    }
    const auto size = static_cast<std::size_t>(info.st_size);
    std::vector<char> head;
    try {
        head = read_head(fd, size <= k_whole_read_limit ? size : k_ole_signature.size(), path);
    } catch (...) {
        ::close(fd);
        throw;
    }
    if (is_ole(head)) {
        ::close(fd);
        throw Error(describe(
            "it is encrypted or not an .xlsx workbook (an OLE container, as password-protected "
            "workbooks and .xls files are)"));
    }
    int code = 0;
    if (size == 0) {
        // libzip takes an empty buffer for an empty archive; an empty file is no workbook.
        ::close(fd);
        throw Error(describe(open_error_reason(ZIP_ER_NOZIP)));
    }
    if (size <= k_whole_read_limit) {
        ::close(fd);
        m_bytes = std::move(head);
        zip_error_t error;
        zip_error_init(&error);
        zip_source_t* source = zip_source_buffer_create(m_bytes.data(), m_bytes.size(), 0, &error);
        if (source != nullptr) {
            m_archive = zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error);
            if (m_archive == nullptr) zip_source_free(source);
        }
        code = zip_error_code_zip(&error);
        zip_error_fini(&error);
    } else {
        // zip_fdopen owns the descriptor once it succeeds.
        m_archive = zip_fdopen(fd, ZIP_CHECKCONS, &code);
        if (m_archive == nullptr) ::close(fd);
    }
    if (m_archive == nullptr) throw Error(describe(open_error_reason(code)));
}

ZipArchive::~ZipArchive() {
    if (m_archive != nullptr) zip_discard(m_archive);
}

ZipArchive::ZipArchive(ZipArchive&& other) noexcept
    : m_path(std::move(other.m_path)),
      m_bytes(std::move(other.m_bytes)),
      m_archive(std::exchange(other.m_archive, nullptr)) {}

std::optional<std::uint64_t> ZipArchive::find(std::string_view name) const {
    const std::string key(name);
    const zip_int64_t index = zip_name_locate(m_archive, key.c_str(), ZIP_FL_NOCASE);
    if (index < 0) return std::nullopt;
    return static_cast<std::uint64_t>(index);
}

std::uint64_t ZipArchive::size_of(std::uint64_t index) const {
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(m_archive, index, 0, &stat) != 0 || (stat.valid & ZIP_STAT_SIZE) == 0) {
        throw Error(describe(zip_strerror(m_archive)));
    }
    return stat.size;
}

std::string ZipArchive::describe(std::string_view reason) const {
    return "cannot read workbook '" + m_path.string() + "': " + std::string(reason);
}

ZipArchive::Entry::Entry(const ZipArchive& archive, std::uint64_t index, std::uint64_t limit)
    : m_archive(archive), m_limit(limit) {
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive.m_archive, index, 0, &stat) != 0) {
        throw Error(archive.describe(zip_strerror(archive.m_archive)));
    }
    m_name = (stat.valid & ZIP_STAT_NAME) != 0 ? stat.name : "?";
    if ((stat.valid & ZIP_STAT_SIZE) != 0 && stat.size > m_limit) {
        throw Error(archive.describe("entry '" + m_name + "' inflates beyond " +
                                     std::to_string(m_limit) + " bytes"));
    }
    m_file = zip_fopen_index(archive.m_archive, index, 0);
    if (m_file == nullptr) {
        const zip_error_t* error = zip_get_error(archive.m_archive);
        const int code = zip_error_code_zip(error);
        if (code == ZIP_ER_NOPASSWD || code == ZIP_ER_WRONGPASSWD) {
            throw Error(archive.describe("entry '" + m_name + "' is encrypted"));
        }
        throw Error(archive.describe("cannot open entry '" + m_name + "': " +
                                     zip_strerror(archive.m_archive)));
    }
}

ZipArchive::Entry::~Entry() {
    if (m_file != nullptr) zip_fclose(m_file);
}

std::size_t ZipArchive::Entry::read(char* buffer, std::size_t size) {
    const zip_int64_t got = zip_fread(m_file, buffer, size);
    if (got < 0) {
        throw Error(m_archive.describe("entry '" + m_name + "' is damaged: " +
                                       zip_file_strerror(m_file)));
    }
    m_total += static_cast<std::uint64_t>(got);
    if (m_total > m_limit) {
        throw Error(m_archive.describe("entry '" + m_name + "' inflates beyond " +
                                       std::to_string(m_limit) + " bytes"));
    }
    return static_cast<std::size_t>(got);
}

}  // namespace helmkit
