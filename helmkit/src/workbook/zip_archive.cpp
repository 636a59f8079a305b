#include "zip_archive.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <new>
#include <utility>

#include "helmkit/base/error.hpp"

namespace helmkit {

namespace {

// Compound File Binary (OLE) signature: password-protected .xlsx files are stored in one.
constexpr std::array<unsigned char, 8> k_ole_signature{0xD0, 0xCF, 0x11, 0xE0,
                                                       0xA1, 0xB1, 0x1A, 0xE1};

constexpr std::uint32_t k_local_header = 0x04034b50;
constexpr std::uint32_t k_directory_header = 0x02014b50;
constexpr std::uint32_t k_end_of_directory = 0x06054b50;
constexpr std::uint32_t k_zip64_locator = 0x07064b50;
constexpr std::uint32_t k_zip64_end = 0x06064b50;
constexpr std::size_t k_end_record_size = 22;
constexpr std::uint16_t k_flag_encrypted = 0x0001;

std::uint16_t u16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t u32(const unsigned char* p) {
    return static_cast<std::uint32_t>(u16(p)) | (static_cast<std::uint32_t>(u16(p + 2)) << 16);
}

std::uint64_t u64(const unsigned char* p) {
    return static_cast<std::uint64_t>(u32(p)) | (static_cast<std::uint64_t>(u32(p + 4)) << 32);
}

bool same_name(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) {
                   return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
               };
               return lower(x) == lower(y);
           });
}

}  // namespace

ZipArchive::ZipArchive(const std::filesystem::path& path) : m_path(path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw_file_error("read workbook", path, errno);
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        const int error = errno;
        ::close(fd);
        throw_file_error("read workbook", path, error);
    }
    if (S_ISDIR(status.st_mode)) {
        ::close(fd);
        throw_file_error("read workbook", path, EISDIR);
    }
    m_length = static_cast<std::size_t>(status.st_size);
    if (m_length > 0) {
        void* mapped = ::mmap(nullptr, m_length, PROT_READ, MAP_PRIVATE, fd, 0);
        if (mapped == MAP_FAILED) {
            const int error = errno;
            ::close(fd);
            throw_file_error("read workbook", path, error);
        }
        m_data = static_cast<const unsigned char*>(mapped);
    }
    ::close(fd);
    try {
        if (m_length >= k_ole_signature.size() &&
            std::equal(k_ole_signature.begin(), k_ole_signature.end(), m_data)) {
            throw Error(describe(
                "it is encrypted or not an .xlsx workbook (an OLE container, as password-protected "
                "workbooks and .xls files are)"));
        }
        read_directory();
    } catch (...) {
        if (m_data != nullptr) ::munmap(const_cast<unsigned char*>(m_data), m_length);
        throw;
    }
}

ZipArchive::~ZipArchive() {
    if (m_data != nullptr) ::munmap(const_cast<unsigned char*>(m_data), m_length);
}

ZipArchive::ZipArchive(ZipArchive&& other) noexcept
    : m_path(std::move(other.m_path)),
      m_data(std::exchange(other.m_data, nullptr)),
      m_length(std::exchange(other.m_length, 0)),
      m_entries(std::move(other.m_entries)) {}

void ZipArchive::damaged() const {
    throw Error(describe("the zip archive is damaged or truncated"));
}

// Finds the end-of-directory record (the last one, a comment may follow it), then reads every
// directory record, with the zip64 forms of sizes and offsets.
void ZipArchive::read_directory() {
    const bool starts_like_zip = m_length >= 4 && u32(m_data) == k_local_header;
    if (m_length < k_end_record_size) {
        if (starts_like_zip) damaged();
        throw Error(describe("not an .xlsx workbook (no zip archive)"));
    }
    std::size_t end = m_length - k_end_record_size;
    const std::size_t lowest = end > 0xFFFF ? end - 0xFFFF : 0;
    while (u32(m_data + end) != k_end_of_directory) {
        if (end == lowest) {
            if (starts_like_zip) damaged();
            throw Error(describe("not an .xlsx workbook (no zip archive)"));
        }
        --end;
    }
    const unsigned char* record = m_data + end;
    if (u16(record + 4) != 0 || u16(record + 6) != 0) damaged();  // split archives
    std::uint64_t count = u16(record + 10);
    std::uint64_t directory_size = u32(record + 12);
    std::uint64_t directory_offset = u32(record + 16);
    if (count == 0xFFFF || directory_size == 0xFFFFFFFF || directory_offset == 0xFFFFFFFF) {
        if (end < 20 || u32(m_data + end - 20) != k_zip64_locator) damaged();
        const std::uint64_t zip64_end = u64(m_data + end - 20 + 8);
        if (zip64_end > end || end - zip64_end < 56 || u32(m_data + zip64_end) != k_zip64_end) {
            damaged();
        }
        count = u64(m_data + zip64_end + 32);
        directory_size = u64(m_data + zip64_end + 40);
        directory_offset = u64(m_data + zip64_end + 48);
    }
    if (directory_offset > end || directory_size > end - directory_offset) damaged();
    if (count > directory_size / 46) damaged();

    m_entries.reserve(static_cast<std::size_t>(count));
    std::uint64_t at = directory_offset;
    const std::uint64_t directory_end = directory_offset + directory_size;
    for (std::uint64_t i = 0; i < count; ++i) {
        if (directory_end - at < 46) damaged();
        const unsigned char* header = m_data + at;
        if (u32(header) != k_directory_header) damaged();
        const std::uint16_t name_length = u16(header + 28);
        const std::uint16_t extra_length = u16(header + 30);
        const std::uint16_t comment_length = u16(header + 32);
        const std::uint64_t record_size = 46u + name_length + extra_length + comment_length;
        if (directory_end - at < record_size) damaged();
        EntryRecord entry{std::string(reinterpret_cast<const char*>(header + 46), name_length),
                          u16(header + 8),
                          u16(header + 10),
                          u32(header + 16),
                          u32(header + 20),
                          u32(header + 24),
                          u32(header + 42)};
        // The zip64 extra field holds, in this order, those of the three that overflowed.
        const bool wide_size = entry.size == 0xFFFFFFFF;
        const bool wide_compressed = entry.compressed_size == 0xFFFFFFFF;
        const bool wide_offset = entry.header_offset == 0xFFFFFFFF;
        if (wide_size || wide_compressed || wide_offset) {
            const unsigned char* extra = header + 46 + name_length;
            const unsigned char* extra_end = extra + extra_length;
            bool found = false;
            while (extra_end - extra >= 4) {
                const std::uint16_t id = u16(extra);
                const std::uint16_t length = u16(extra + 2);
                if (extra_end - extra - 4 < length) break;
                if (id == 0x0001) {
                    const unsigned char* field = extra + 4;
                    const unsigned char* field_end = field + length;
                    const auto take = [&](std::uint64_t& value) {
                        if (field_end - field < 8) damaged();
                        value = u64(field);
                        field += 8;
                    };
                    if (wide_size) take(entry.size);
                    if (wide_compressed) take(entry.compressed_size);
                    if (wide_offset) take(entry.header_offset);
                    found = true;
                    break;
                }
                extra += 4 + length;
            }
            if (!found) damaged();
        }
        m_entries.push_back(std::move(entry));
        at += record_size;
    }
}

std::optional<std::uint64_t> ZipArchive::find(std::string_view name) const {
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        if (same_name(m_entries[i].name, name)) return i;
    }
    return std::nullopt;
}

std::string ZipArchive::describe(std::string_view reason) const {
    return "cannot read workbook '" + m_path.string() + "': " + std::string(reason);
}

ZipArchive::Entry::Entry(const ZipArchive& archive, std::uint64_t index, std::uint64_t limit)
    : m_archive(archive), m_limit(limit) {
    const EntryRecord& entry = archive.m_entries.at(index);
    m_name = entry.name;
    m_size = entry.size;
    m_crc = entry.crc;
    if (entry.size > m_limit) {
        throw Error(archive.describe("entry '" + m_name + "' inflates beyond " +
                                     std::to_string(m_limit) + " bytes"));
    }
    if ((entry.flags & k_flag_encrypted) != 0) {
        throw Error(archive.describe("entry '" + m_name + "' is encrypted"));
    }
    if (entry.method != 0 && entry.method != 8) {
        throw Error(archive.describe("cannot open entry '" + m_name +
                                     "': Compression method not supported"));
    }
    const std::uint64_t offset = entry.header_offset;
    if (offset > archive.m_length || archive.m_length - offset < 30 ||
        u32(archive.m_data + offset) != k_local_header) {
        damaged("its local header is missing");
    }
    const std::uint64_t data_offset =
        offset + 30 + u16(archive.m_data + offset + 26) + u16(archive.m_data + offset + 28);
    if (data_offset > archive.m_length ||
        archive.m_length - data_offset < entry.compressed_size) {
        damaged("its data lies beyond the end of the archive");
    }
    m_next = archive.m_data + data_offset;
    m_left = entry.compressed_size;
    m_deflated = entry.method == 8;
    m_running_crc = crc32(0, nullptr, 0);
    if (m_deflated) {
        if (inflateInit2(&m_stream, -MAX_WBITS) != Z_OK) throw std::bad_alloc();
        m_stream_open = true;
    }
}

ZipArchive::Entry::~Entry() {
    if (m_stream_open) inflateEnd(&m_stream);
}

void ZipArchive::Entry::damaged(std::string_view reason) const {
    throw Error(m_archive.describe("entry '" + m_name + "' is damaged: " + std::string(reason)));
}

std::size_t ZipArchive::Entry::read(char* buffer, std::size_t size) {
    if (m_done || size == 0) return 0;
    std::size_t got = 0;
    if (!m_deflated) {
        got = static_cast<std::size_t>(std::min<std::uint64_t>(size, m_left));
        std::memcpy(buffer, m_next, got);
        m_next += got;
        m_left -= got;
        if (m_left == 0) m_done = true;
    } else {
        while (got == 0) {
            const auto input = static_cast<uInt>(std::min<std::uint64_t>(m_left, 1u << 30));
            m_stream.next_in = const_cast<Bytef*>(m_next);
            m_stream.avail_in = input;
            m_stream.next_out = reinterpret_cast<Bytef*>(buffer);
            m_stream.avail_out = static_cast<uInt>(std::min<std::size_t>(size, 1u << 30));
            const uInt room = m_stream.avail_out;
            const int status = inflate(&m_stream, Z_NO_FLUSH);
            const std::size_t used = input - m_stream.avail_in;
            m_next += used;
            m_left -= used;
            got = room - m_stream.avail_out;
            if (status == Z_STREAM_END) {
                m_done = true;
                break;
            }
            if (status == Z_DATA_ERROR) damaged("invalid compressed data");
            if (status == Z_MEM_ERROR) throw std::bad_alloc();
            if (status != Z_OK && status != Z_BUF_ERROR) damaged("invalid compressed data");
            if (got == 0 && (m_left == 0 || used == 0)) damaged("its data ends early");
        }
    }
    m_total += got;
    if (m_total > m_limit) {
        throw Error(m_archive.describe("entry '" + m_name + "' inflates beyond " +
                                       std::to_string(m_limit) + " bytes"));
    }
    if (m_total > m_size) damaged("it inflates beyond the size the archive records");
    m_running_crc = crc32(m_running_crc, reinterpret_cast<const Bytef*>(buffer),
                          static_cast<uInt>(got));
    if (m_done) {
        if (m_total != m_size) damaged("it is shorter than the archive records");
        if (m_running_crc != m_crc) damaged("CRC error");
    }
    return got;
}

}  // namespace helmkit
