#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace helmkit {

// A zip archive opened read-only, for the workbook reader: the file is mapped into memory and
// its central directory read once; entries are inflated with zlib as they are read. Errors are
// helmkit::Error with messages that name the archive and, where it matters, the entry.
class ZipArchive {
public:
    // Opens `path`. Throws Error when it cannot be read or is not a sound zip archive; an OLE
    // container (encrypted workbooks, .xls files) is reported as such.
    explicit ZipArchive(const std::filesystem::path& path);
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;
    ZipArchive(ZipArchive&& other) noexcept;
    ZipArchive& operator=(ZipArchive&&) = delete;

    const std::filesystem::path& path() const { return m_path; }

    // Returns the index of the entry named `name` (letter case ignored), or nothing.
    std::optional<std::uint64_t> find(std::string_view name) const;

    // Returns the size the entry at `index` declares it inflates to.
    std::uint64_t size_of(std::uint64_t index) const { return m_entries.at(index).size; }

    // Reads an entry chunk by chunk; stops with an Error once more than `limit` bytes have
    // been inflated, so a zip bomb costs neither memory nor much time. The data is checked
    // against the size and checksum the archive records.
    class Entry {
    public:
        Entry(const ZipArchive& archive, std::uint64_t index, std::uint64_t limit);
        ~Entry();
        Entry(const Entry&) = delete;
        Entry& operator=(const Entry&) = delete;

        const std::string& name() const { return m_name; }
        // Fills `buffer` with up to `size` bytes; returns how many, 0 at the end of the entry.
        // Throws Error on a damaged entry or one inflating beyond the limit.
        std::size_t read(char* buffer, std::size_t size);

    private:
        [[noreturn]] void damaged(std::string_view reason) const;

        const ZipArchive& m_archive;
        std::string m_name;
        std::uint64_t m_limit;
        std::uint64_t m_size;
        std::uint32_t m_crc;
        bool m_deflated;
        z_stream m_stream{};
        bool m_stream_open = false;
        const unsigned char* m_next = nullptr;  // stored data not yet read
        std::uint64_t m_left = 0;
        std::uint64_t m_total = 0;
        uLong m_running_crc = 0;
        bool m_done = false;
    };

    // Returns "cannot read workbook '<path>': <reason>", the shape of every reader error.
    std::string describe(std::string_view reason) const;

private:
    struct EntryRecord {
        std::string name;
        std::uint16_t flags;
        std::uint16_t method;
        std::uint32_t crc;
        std::uint64_t compressed_size;
        std::uint64_t size;
        std::uint64_t header_offset;
    };

    void read_directory();
    [[noreturn]] void damaged() const;

    std::filesystem::path m_path;
    const unsigned char* m_data = nullptr;
    std::size_t m_length = 0;
    std::vector<EntryRecord> m_entries;
};

}  // namespace helmkit
