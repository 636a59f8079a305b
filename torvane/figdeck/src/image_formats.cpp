#include "image_formats.hpp"

#include <zlib.h>

#include <array>
#include <fmt/format.h>
#include <vector>

#include "helmkit/base/error.hpp"

namespace torvane::figdeck {

namespace {

// Only decoded images (transparent, interlaced or 16-bit PNG, BMP) are compressed here. On a
// 1600 by 1200 plot level 6 takes three times as long as level 1 for a file about a third
// smaller; a report of many plots is built for reading now, so speed wins.
constexpr int k_deflate_level = 1;

std::uint32_t big_endian_32(std::string_view data, std::size_t at) {
    return (static_cast<std::uint32_t>(static_cast<unsigned char>(data[at])) << 24) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(data[at + 1])) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(data[at + 2])) << 8) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(data[at + 3]));
}

std::uint32_t big_endian_16(std::string_view data, std::size_t at) {
    return (static_cast<std::uint32_t>(static_cast<unsigned char>(data[at])) << 8) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(data[at + 1]));
}

unsigned char byte_at(std::string_view data, std::size_t at) {
    return static_cast<unsigned char>(data[at]);
}

bool valid_png_depth(int color_type, int depth) {
    switch (color_type) {
    case 0: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case 3: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case 2:
    case 4:
    case 6: return depth == 8 || depth == 16;
    default: return false;
    }
}

}  // namespace

JpegHeader read_jpeg_header(std::string_view data) {
    if (data.size() < 4 || byte_at(data, 0) != 0xFF || byte_at(data, 1) != 0xD8) {
        throw helmkit::Error("not a JPEG file");
    }
    JpegHeader header;
    bool have_frame = false;
    std::size_t at = 2;
    while (at + 4 <= data.size()) {
        if (byte_at(data, at) != 0xFF) throw helmkit::Error("damaged JPEG marker structure");
        const unsigned marker = byte_at(data, at + 1);
        if (marker == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            at += 2;
            continue;
        }
        if (marker == 0xD9) break;
        const std::size_t length = big_endian_16(data, at + 2);
        if (length < 2 || at + 2 + length > data.size()) {
            throw helmkit::Error("truncated JPEG file");
        }
        const std::string_view segment = data.substr(at + 4, length - 2);
        if (marker == 0xEE && segment.substr(0, 5) == "Adobe") header.adobe = true;
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 &&
                           marker != 0xC8 && marker != 0xCC;
        if (frame) {
            if (marker != 0xC0 && marker != 0xC1 && marker != 0xC2) {
                throw helmkit::Error(fmt::format(
                    "JPEG coding (frame type 0x{:02X}: lossless, arithmetic or hierarchical) "
                    "that PDF readers cannot show",
                    marker));
            }
            if (segment.size() < 6) throw helmkit::Error("truncated JPEG frame header");
            if (byte_at(segment, 0) != 8) {
                throw helmkit::Error(fmt::format("{}-bit JPEG samples; PDF readers show 8-bit only",
                                                 byte_at(segment, 0)));
            }
            header.height = big_endian_16(segment, 1);
            header.width = big_endian_16(segment, 3);
            header.components = byte_at(segment, 5);
            have_frame = true;
        }
        if (marker == 0xDA) break;  // scan data follows; every header came before it
        at += 2 + length;
    }
    if (!have_frame) throw helmkit::Error("JPEG file without a frame header");
    if (header.width == 0 || header.height == 0) throw helmkit::Error("JPEG image of size zero");
    if (header.components != 1 && header.components != 3 && header.components != 4) {
        throw helmkit::Error(fmt::format("JPEG with {} colour components", header.components));
    }
    return header;
}

int PngFile::channels() const {
    switch (color_type) {
    case 2: return 3;
    case 4: return 2;
    case 6: return 4;
    default: return 1;
    }
}

bool PngFile::embeds_directly() const {
    return !interlaced && !transparency && bit_depth <= 8 &&
           (color_type == 0 || color_type == 2 || color_type == 3);
}

PngFile read_png(std::string_view data) {
    static constexpr std::string_view k_signature{"\x89PNG\r\n\x1a\n", 8};
    if (data.substr(0, 8) != k_signature) throw helmkit::Error("not a PNG file");
    PngFile png;
    bool have_header = false;
    bool have_end = false;
    std::size_t at = 8;
    while (at + 12 <= data.size()) {
        const std::uint32_t length = big_endian_32(data, at);
        if (length > data.size() - at - 12) throw helmkit::Error("truncated PNG file");
        const std::string_view type = data.substr(at + 4, 4);
        const std::string_view body = data.substr(at + 8, length);
        const auto* checked = reinterpret_cast<const Bytef*>(data.data() + at + 4);
        if (crc32(0, checked, length + 4) != big_endian_32(data, at + 8 + length)) {
            throw helmkit::Error("damaged PNG file (bad checksum of chunk " + std::string(type) +
                                 ")");
        }
        at += 12 + length;
        if (!have_header) {
            if (type != "IHDR" || length != 13) throw helmkit::Error("PNG file without a header");
            png.width = big_endian_32(body, 0);
            png.height = big_endian_32(body, 4);
            png.bit_depth = byte_at(body, 8);
            png.color_type = byte_at(body, 9);
            if (byte_at(body, 10) != 0 || byte_at(body, 11) != 0 || byte_at(body, 12) > 1) {
                throw helmkit::Error("PNG file with an unknown compression, filter or interlace");
            }
            png.interlaced = byte_at(body, 12) == 1;
            if (!valid_png_depth(png.color_type, png.bit_depth)) {
                throw helmkit::Error(fmt::format("PNG file with colour type {} and {} bits",
                                                 png.color_type, png.bit_depth));
            }
            if (png.width == 0 || png.height == 0) throw helmkit::Error("PNG image of size zero");
            have_header = true;
        } else if (type == "PLTE") {
            if (length % 3 != 0 || length == 0 || length > 768) {
                throw helmkit::Error("PNG file with a damaged palette");
            }
            png.palette = std::string(body);
        } else if (type == "tRNS") {
            png.transparency = true;
        } else if (type == "IDAT") {
            png.image_data.append(body);
        } else if (type == "IEND") {
            have_end = true;
            break;
        }
    }
    if (!have_header) throw helmkit::Error("truncated PNG file");
    if (!have_end) throw helmkit::Error("truncated PNG file (no end chunk)");
    if (png.image_data.empty()) throw helmkit::Error("PNG file without image data");
    if (png.color_type == 3 && png.palette.empty()) {
        throw helmkit::Error("palette PNG file without a palette");
    }
    png.image_data.shrink_to_fit();  // kept until the PDF is saved
    return png;
}

void check_png_rows(const PngFile& png) {
    const std::uint64_t row_bytes =
        (static_cast<std::uint64_t>(png.width) * png.channels() * png.bit_depth + 7) / 8 + 1;
    const std::uint64_t expected = row_bytes * png.height;
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) throw helmkit::Error("out of memory");
    std::vector<unsigned char> buffer(1 << 16);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(png.image_data.data()));
    stream.avail_in = static_cast<uInt>(png.image_data.size());
    std::uint64_t total = 0;
    int status = Z_OK;
    bool bad_filter = false;
    while (status == Z_OK && total <= expected && !bad_filter) {
        stream.next_out = buffer.data();
        stream.avail_out = static_cast<uInt>(buffer.size());
        status = inflate(&stream, Z_NO_FLUSH);
        const std::size_t produced = buffer.size() - stream.avail_out;
        // Every row begins with its filter type, 0 to 4.
        std::uint64_t next_row = (total + row_bytes - 1) / row_bytes * row_bytes;
        for (; next_row < total + produced; next_row += row_bytes) {
            if (buffer[next_row - total] > 4) bad_filter = true;
        }
        total += produced;
        if (status == Z_BUF_ERROR && stream.avail_in == 0) break;
    }
    inflateEnd(&stream);
    if (bad_filter) throw helmkit::Error("damaged PNG image data (unknown row filter)");
    if (status != Z_STREAM_END || total != expected) {
        throw helmkit::Error("damaged or truncated PNG image data");
    }
}

std::string deflate_bytes(std::string_view data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    const int status = compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                                 reinterpret_cast<const Bytef*>(data.data()),
                                 static_cast<uLong>(data.size()), k_deflate_level);
    if (status != Z_OK) throw helmkit::Error("cannot compress image data: out of memory");
    out.resize(size);
    // The result is kept until the PDF is saved: give back the room of the worst case.
    out.shrink_to_fit();
    return out;
}

}  // namespace torvane::figdeck
