#include "image_source.hpp"

#include <fcntl.h>
#include <stb_image.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "helmkit/base/error.hpp"
#include "png_rows.hpp"

namespace torvane::figdeck {

namespace {

constexpr std::size_t k_copy_buffer = 1 << 20;
constexpr std::size_t k_deflate_buffer = 1 << 16;
constexpr int k_deflate_level = 1;

// Gives a buffer's memory back: assigning an empty value would keep its capacity.
template <typename Buffer>
void free_memory(Buffer& buffer) {
    Buffer().swap(buffer);
}

}  // namespace

SourceFile::SourceFile(const std::filesystem::path& path) : m_path(path) {
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0) helmkit::throw_file_error("read", path, errno);
    struct stat info {};
    if (::fstat(m_fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        const int error = S_ISDIR(info.st_mode) ? EISDIR : errno;
        ::close(m_fd);
        helmkit::throw_file_error("read", path, error);
    }
    m_stamp = {static_cast<std::uint64_t>(info.st_size),
               static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

SourceFile::~SourceFile() { ::close(m_fd); }

void SourceFile::expect(const FileStamp& stamp) const {
    if (!(m_stamp == stamp)) {
        throw helmkit::Error("the file changed while the report was being made");
    }
}

std::size_t SourceFile::read_at(std::uint64_t offset, unsigned char* out, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::pread(m_fd, out + done, size - done, static_cast<off_t>(offset + done));
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            helmkit::throw_file_error("read", m_path, errno);
        }
        done += static_cast<std::size_t>(got);
    }
    return done;
}

std::string SourceFile::read_all() {
    std::string data(static_cast<std::size_t>(m_stamp.size), '\0');
    const auto got = read_at(0, reinterpret_cast<unsigned char*>(data.data()), data.size());
    data.resize(got);
    return data;
}

namespace {

class FileRanges : public StreamSource {
public:
    FileRanges(std::filesystem::path path, FileStamp stamp, std::vector<ByteRange> ranges)
        : m_path(std::move(path)), m_stamp(stamp), m_ranges(std::move(ranges)) {}

    std::size_t read(unsigned char* out, std::size_t size) override {
        std::size_t given = 0;
        while (given < size) {
            if (m_position == m_filled && !refill()) break;
            const auto count = std::min(size - given, m_filled - m_position);
            std::memcpy(out + given, m_buffer.data() + m_position, count);
            m_position += count;
            given += count;
        }
        return given;
    }

    void rewind() override {
        m_file.reset();
        m_range = 0;
        m_offset = 0;
        m_position = m_filled = 0;
    }

private:
    bool refill() {
        while (m_range < m_ranges.size() && m_offset == m_ranges[m_range].size) {
            ++m_range;
            m_offset = 0;
        }
        if (m_range == m_ranges.size()) {
            m_file.reset();
            free_memory(m_buffer);
            return false;
        }
        if (!m_file) {
            m_file = std::make_unique<SourceFile>(m_path);
            m_file->expect(m_stamp);
            m_buffer.resize(k_copy_buffer);
        }
        const auto& range = m_ranges[m_range];
        const auto count = static_cast<std::size_t>(
            std::min<std::uint64_t>(m_buffer.size(), range.size - m_offset));
        if (m_file->read_at(range.offset + m_offset, m_buffer.data(), count) != count) {
            throw helmkit::Error("the file changed while the report was being made");
        }
        m_offset += count;
        m_position = 0;
        m_filled = count;
        return true;
    }

    std::filesystem::path m_path;
    FileStamp m_stamp;
    std::vector<ByteRange> m_ranges;
    std::unique_ptr<SourceFile> m_file;
    std::vector<unsigned char> m_buffer;
    std::size_t m_range = 0;
    std::uint64_t m_offset = 0;  // within the current range
    std::size_t m_position = 0;
    std::size_t m_filled = 0;
};

class PngPixels : public PixelRows {
public:
    PngPixels(std::string_view data, int wanted)
        : m_png(read_png(data)), m_rows(m_png, data, wanted) {
        width = m_png.width;
        height = m_png.height;
        channels = wanted;
    }
    bool next_row(unsigned char* row) override { return m_rows.next_row(row); }

private:
    PngFile m_png;
    PngRows m_rows;
};

struct StbiFree {
    void operator()(stbi_uc* pixels) const { stbi_image_free(pixels); }
};

class StbPixels : public PixelRows {
public:
    StbPixels(std::string_view data, int wanted) {
        if (data.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
            throw helmkit::Error("BMP file of 2 GiB or more");
        }
        int w = 0;
        int h = 0;
        int file_channels = 0;
        m_pixels.reset(stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(data.data()),
                                             static_cast<int>(data.size()), &w, &h,
                                             &file_channels, wanted));
        if (!m_pixels) throw helmkit::Error(std::string("cannot decode it: ") + stbi_failure_reason());
        width = static_cast<std::uint32_t>(w);
        height = static_cast<std::uint32_t>(h);
        channels = wanted != 0 ? wanted : file_channels;
    }
    bool next_row(unsigned char* row) override {
        if (m_row == height) return false;
        const std::size_t size = static_cast<std::size_t>(width) * static_cast<std::size_t>(channels);
        std::memcpy(row, m_pixels.get() + m_row * size, size);
        if (++m_row == height) m_pixels.reset();
        return true;
    }

private:
    std::unique_ptr<stbi_uc, StbiFree> m_pixels;
    std::uint32_t m_row = 0;
};

class DecodedPlane : public StreamSource {
public:
    DecodedPlane(std::filesystem::path path, FileStamp stamp, ImageKind kind, int channels,
                 Plane plane)
        : m_path(std::move(path)), m_stamp(stamp), m_kind(kind), m_channels(channels),
          m_plane(plane) {}
    ~DecodedPlane() override { release(); }
    DecodedPlane(const DecodedPlane&) = delete;
    DecodedPlane& operator=(const DecodedPlane&) = delete;

    std::size_t read(unsigned char* out, std::size_t size) override {
        if (!m_started) start();
        std::size_t given = 0;
        while (given < size) {
            if (m_position == m_filled && !produce()) break;
            const auto count = std::min(size - given, m_filled - m_position);
            std::memcpy(out + given, m_out.data() + m_position, count);
            m_position += count;
            given += count;
        }
        if (m_finished && m_position == m_filled) free_memory(m_out);
        return given;
    }

    void rewind() override {
        release();
        m_started = false;
        m_finished = false;
        m_input_done = false;
        m_position = m_filled = 0;
    }

private:
    void start() {
        {
            SourceFile file(m_path);
            file.expect(m_stamp);
            m_data = file.read_all();
        }
        m_rows = decode_pixels(m_kind, m_data, m_channels);
        const auto channels = static_cast<std::size_t>(m_rows->channels);
        const bool alpha = channels == 2 || channels == 4;
        m_row.resize(m_rows->width * channels);
        m_plane_step = channels;
        if (m_plane == Plane::alpha) {
            m_plane_first = channels - 1;
            m_plane_count = 1;
        } else {
            m_plane_first = 0;
            m_plane_count = alpha ? channels - 1 : channels;
        }
        m_plane_row.resize(m_rows->width * m_plane_count);
        if (deflateInit(&m_stream, k_deflate_level) != Z_OK) {
            throw helmkit::Error("cannot compress image data: out of memory");
        }
        m_deflating = true;
        m_out.resize(k_deflate_buffer);
        m_started = true;
    }

    void take_row() {
        if (m_plane_count == m_plane_step) {
            std::swap(m_row, m_plane_row);
            return;
        }
        const unsigned char* in = m_row.data() + m_plane_first;
        unsigned char* out = m_plane_row.data();
        for (std::uint32_t x = 0; x < m_rows->width; ++x, in += m_plane_step) {
            for (std::size_t c = 0; c < m_plane_count; ++c) *out++ = in[c];
        }
    }

    bool produce() {
        if (m_finished) return false;
        m_stream.next_out = m_out.data();
        m_stream.avail_out = static_cast<uInt>(m_out.size());
        while (m_stream.avail_out > 0) {
            if (m_stream.avail_in == 0 && !m_input_done) {
                if (m_rows->next_row(m_row.data())) {
                    take_row();
                    m_stream.next_in = m_plane_row.data();
                    m_stream.avail_in = static_cast<uInt>(m_plane_row.size());
                } else {
                    m_input_done = true;
                }
            }
            const int status = deflate(&m_stream, m_input_done ? Z_FINISH : Z_NO_FLUSH);
            if (status == Z_STREAM_END) {
                m_finished = true;
                break;
            }
            if (status != Z_OK && status != Z_BUF_ERROR) {
                throw helmkit::Error("cannot compress image data");
            }
        }
        m_filled = m_out.size() - m_stream.avail_out;
        m_position = 0;
        if (m_finished) {
            // The decoded pixels and the compressor go as soon as the last bytes are made;
            // the output waits until it is read.
            deflateEnd(&m_stream);
            m_deflating = false;
            m_rows.reset();
            free_memory(m_data);
            free_memory(m_row);
            free_memory(m_plane_row);
        }
        return m_filled > 0;
    }

    void release() {
        if (m_deflating) deflateEnd(&m_stream);
        m_stream = {};
        m_deflating = false;
        m_rows.reset();
        free_memory(m_data);
        free_memory(m_row);
        free_memory(m_plane_row);
        free_memory(m_out);
    }

    std::filesystem::path m_path;
    FileStamp m_stamp;
    ImageKind m_kind;
    int m_channels;
    Plane m_plane;
    bool m_started = false;
    bool m_finished = false;
    bool m_input_done = false;
    bool m_deflating = false;
    std::string m_data;
    std::unique_ptr<PixelRows> m_rows;
    std::vector<unsigned char> m_row;
    std::vector<unsigned char> m_plane_row;
    std::size_t m_plane_first = 0;
    std::size_t m_plane_count = 0;
    std::size_t m_plane_step = 0;
    z_stream m_stream{};
    std::vector<unsigned char> m_out;
    std::size_t m_position = 0;
    std::size_t m_filled = 0;
};

}  // namespace

std::unique_ptr<StreamSource> file_ranges(std::filesystem::path path, FileStamp stamp,
                                          std::vector<ByteRange> ranges) {
    return std::make_unique<FileRanges>(std::move(path), stamp, std::move(ranges));
}

std::unique_ptr<PixelRows> decode_pixels(ImageKind kind, std::string_view data, int channels) {
    if (kind == ImageKind::png) return std::make_unique<PngPixels>(data, channels);
    read_bmp_header(data);
    return std::make_unique<StbPixels>(data, channels);
}

std::unique_ptr<StreamSource> decoded_plane(std::filesystem::path path, FileStamp stamp,
                                            ImageKind kind, int channels, Plane plane) {
    return std::make_unique<DecodedPlane>(std::move(path), stamp, kind, channels, plane);
}

}  // namespace torvane::figdeck
