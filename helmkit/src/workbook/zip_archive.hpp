#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct zip;
struct zip_file;

namespace helmkit {

// A zip archive opened read-only (libzip), for the workbook reader. Errors are helmkit::Error
// with messages that name the archive and, where it matters, the entry.
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

    // Returns the size the entry at `index` declares it inflates to. Throws Error when the
    // archive cannot say.
    std::uint64_t size_of(std::uint64_t index) const;

    // Reads an entry chunk by chunk; stops with an Error once more than `limit` bytes have
    // been inflated, so a zip bomb costs neither memory nor much time.
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
        const ZipArchive& m_archive;
        zip_file* m_file = nullptr;
        std::string m_name;
        std::uint64_t m_limit;
        std::uint64_t m_total = 0;
    };

    // Returns "cannot read workbook '<path>': <reason>", the shape of every reader error.
    std::string describe(std::string_view reason) const;

private:
    std::filesystem::path m_path;
    // The whole file, when it is small enough to be unzipped from memory.
    std::vector<char> m_bytes;
    zip* m_archive = nullptr;
};

}  // namespace helmkit
