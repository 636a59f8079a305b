#pragma once

#include <zlib.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "image_formats.hpp"

namespace torvane::figdeck {

// What an image file was when it was checked: the PDF must hold the bytes that were checked.
struct FileStamp {
    std::uint64_t size = 0;
    std::int64_t modified_ns = 0;
    bool operator==(const FileStamp&) const = default;
};

// An image file open for reading; closed on destruction.
class SourceFile {
public:
    // Opens `path`. Throws helmkit::Error "cannot read '<path>': <reason>".
    explicit SourceFile(const std::filesystem::path& path);
    ~SourceFile();
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;

    const FileStamp& stamp() const { return m_stamp; }
    // Throws helmkit::Error unless the file is still as `stamp` says.
    void expect(const FileStamp& stamp) const;
    // Returns the whole file. Throws helmkit::Error on a read failure.
    std::string read_all();
    // Reads up to `size` bytes at `offset` into `out`; returns the count, less than `size`
    // only at the end of the file. Throws helmkit::Error on a read failure.
    std::size_t read_at(std::uint64_t offset, unsigned char* out, std::size_t size);

private:
    std::filesystem::path m_path;
    int m_fd = -1;
    FileStamp m_stamp;
};

// Bytes of an image stream, made when the PDF is written.
class StreamSource {
public:
    virtual ~StreamSource() = default;
    // Copies up to `size` next bytes into `out`; returns the count, 0 at the end. Throws
    // helmkit::Error (without the file name) when the bytes cannot be made.
    virtual std::size_t read(unsigned char* out, std::size_t size) = 0;
    // Starts again at the first byte.
    virtual void rewind() = 0;
};

// Copies the `ranges` of the file at `path`, which must still be as `stamp` says. The file is
// open only while its bytes are copied.
std::unique_ptr<StreamSource> file_ranges(std::filesystem::path path, FileStamp stamp,
                                          std::vector<ByteRange> ranges);

enum class ImageKind { png, bmp };

// Rows of 8-bit samples of an image file's pixels, top to bottom.
class PixelRows {
public:
    virtual ~PixelRows() = default;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int channels = 0;  // 1 grey, 2 grey and alpha, 3 RGB, 4 RGB and alpha
    // Writes the next row (width * channels bytes); returns false after the last.
    virtual bool next_row(unsigned char* row) = 0;
};

// Decodes the file `data` (which must outlive the result) of kind `kind`; `channels` as in
// PixelRows, or 0 for the file's own. Throws helmkit::Error (without the file name) when it
// cannot be decoded.
std::unique_ptr<PixelRows> decode_pixels(ImageKind kind, std::string_view data, int channels);

enum class Plane { colour, alpha };

// Decodes the file at `path` (still as `stamp` says) again when its bytes are read, and gives
// the colour samples or the alpha samples of its pixels, compressed as one zlib stream at
// level 1 (a report of many plots is built for reading now, so speed wins over size).
std::unique_ptr<StreamSource> decoded_plane(std::filesystem::path path, FileStamp stamp,
                                            ImageKind kind, int channels, Plane plane);

}  // namespace torvane::figdeck
