#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace helmkit {

// An open file descriptor for reading; closed on destruction.
class ReadableFile {
public:
    // Opens `path` for reading. Throws Error naming it when it is missing, a folder, not
    // readable, or not a regular file after following links (a FIFO, a device): never waits.
    explicit ReadableFile(const std::filesystem::path& path);
    ~ReadableFile();
    ReadableFile(const ReadableFile&) = delete;
    ReadableFile& operator=(const ReadableFile&) = delete;

    const struct stat& info() const { return m_info; }

    // Calls `consume` with each chunk of the file up to its end. Throws Error naming the file.
    void read_chunks(const std::function<void(std::string_view)>& consume);
    // Returns the file from here to its end. Throws Error naming the file.
    std::string read_all();

private:
    std::filesystem::path m_path;
    int m_fd = -1;
    struct stat m_info {};
};

}  // namespace helmkit
