#include "image_formats.hpp"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <fmt/format.h>
#include <vector>

#include "helmkit/base/error.hpp"
#include "png_rows.hpp"

namespace torvane::figdeck {

namespace {

constexpr std::uint32_t k_png_max_side = 0x7FFFFFFF;

std::uint32_t little_endian_32(std::string_view data, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(data[at])) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(data[at + 1])) << 8) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(data[at + 2])) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(data[at + 3])) << 24);
}

std::uint32_t little_endian_16(std::string_view data, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(data[at])) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(data[at + 1])) << 8);
}

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

void check_pixel_limit(std::uint64_t width, std::uint64_t height) {
    if (width * height > k_max_pixels) {
        throw helmkit::Error(fmt::format(
            "image of {} by {} pixels is beyond the limit of {} pixels (2^28)", width, height,
            k_max_pixels));
    }
}

namespace {

// Returns where the marker after the entropy-coded data starting at `at` begins. Inside that
// data a 0xFF byte is followed by a stuffed 0x00 or a restart marker, in the order 0 to 7.
std::size_t skip_scan_data(std::string_view data, std::size_t at) {
    const std::size_t start = at;
    unsigned next_restart = 0;
    while (true) {
        const void* found = std::memchr(data.data() + at, 0xFF, data.size() - at);
        if (found == nullptr) break;
        at = static_cast<std::size_t>(static_cast<const char*>(found) - data.data());
        std::size_t marker = at + 1;
        while (marker < data.size() && byte_at(data, marker) == 0xFF) ++marker;
        if (marker >= data.size()) break;
        const unsigned code = byte_at(data, marker);
        if (code == 0x00) {
            at = marker + 1;
            continue;
        }
        if (code >= 0xD0 && code <= 0xD7) {
            if (code - 0xD0 != next_restart) {
                throw helmkit::Error("damaged JPEG image data (restart markers out of order)");
            }
            next_restart = (next_restart + 1) % 8;
            at = marker + 1;
            continue;
        }
        if (at == start) throw helmkit::Error("cut JPEG scan (it holds no image data)");
        return marker - 1;
    }
    throw helmkit::Error("truncated JPEG file (it ends inside the image data, before its end marker)");
}

}  // namespace

JpegHeader read_jpeg_header(std::string_view data) {
    if (data.size() < 4 || byte_at(data, 0) != 0xFF || byte_at(data, 1) != 0xD8) {
        throw helmkit::Error("not a JPEG file");
    }
    JpegHeader header;
    bool have_frame = false;
    bool have_scan = false;
    std::size_t at = 2;
    while (true) {
        if (at + 2 > data.size()) throw helmkit::Error("truncated JPEG file (no end marker)");
        if (byte_at(data, at) != 0xFF) throw helmkit::Error("damaged JPEG marker structure");
        const unsigned marker = byte_at(data, at + 1);
        if (marker == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        if (marker == 0xD9) break;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            at += 2;
            continue;
        }
        if (at + 4 > data.size()) throw helmkit::Error("truncated JPEG file");
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
        at += 2 + length;
        if (marker == 0xDA) {
            if (!have_frame) throw helmkit::Error("JPEG scan before its frame header");
            const std::size_t count = segment.empty() ? 0 : byte_at(segment, 0);
            if (count < 1 || count > 4 || segment.size() != 4 + 2 * count) {
                throw helmkit::Error("damaged JPEG scan header");
            }
            at = skip_scan_data(data, at);
            have_scan = true;
        }
    }
    if (!have_frame) throw helmkit::Error("JPEG file without a frame header");
    if (!have_scan) throw helmkit::Error("JPEG file without image data");
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
            if (png.width > k_png_max_side || png.height > k_png_max_side) {
                throw helmkit::Error(fmt::format(
                    "PNG image of {} by {} pixels: a side beyond the format's limit of {}",
                    png.width, png.height, k_png_max_side));
            }
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
            check_pixel_limit(png.width, png.height);
            have_header = true;
        } else if (type == "PLTE") {
            if (length % 3 != 0 || length == 0 || length > 768) {
                throw helmkit::Error("PNG file with a damaged palette");
            }
            png.palette = std::string(body);
        } else if (type == "tRNS") {
            png.transparency = true;
            png.transparency_data = std::string(body);
        } else if (type == "IDAT") {
            if (length > 0) png.image_data.push_back({at - 4 - length, length});
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
    return png;
}

void check_png_rows(const PngFile& png, std::string_view data) {
    const std::uint64_t row_bytes =
        (static_cast<std::uint64_t>(png.width) * png.channels() * png.bit_depth + 7) / 8 + 1;
    const std::uint64_t expected = row_bytes * png.height;
    IdatInflater inflater(data, png.image_data);
    std::vector<unsigned char> buffer(1 << 16);
    std::uint64_t total = 0;
    while (total < expected) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), expected - total));
        inflater.read_exactly(buffer.data(), want);
        // Every row begins with its filter type, 0 to 4.
        std::uint64_t next_row = (total + row_bytes - 1) / row_bytes * row_bytes;
        for (; next_row < total + want; next_row += row_bytes) {
            if (buffer[next_row - total] > 4) {
                throw helmkit::Error("damaged PNG image data (unknown row filter)");
            }
        }
        total += want;
    }
    inflater.expect_end();
}

namespace {

bool uncompressed_bmp(std::uint32_t compression) {
    return compression == 0 || compression == 3 || compression == 6;  // RGB, bit fields
}

}  // namespace

BmpHeader read_bmp_header(std::string_view data) {
    if (data.substr(0, 2) != "BM") throw helmkit::Error("not a BMP file");
    if (data.size() < 26) throw helmkit::Error("truncated BMP file");
    const std::uint32_t offset = little_endian_32(data, 10);
    const std::uint32_t info_size = little_endian_32(data, 14);
    std::int64_t width = 0;
    std::int64_t height = 0;
    int bits = 0;
    std::uint32_t compression = 0;
    if (info_size == 12) {
        width = little_endian_16(data, 18);
        height = little_endian_16(data, 20);
        bits = static_cast<int>(little_endian_16(data, 24));
    } else if (info_size >= 40) {
        if (data.size() < 54) throw helmkit::Error("truncated BMP file");
        width = static_cast<std::int32_t>(little_endian_32(data, 18));
        height = static_cast<std::int32_t>(little_endian_32(data, 22));
        bits = static_cast<int>(little_endian_16(data, 28));
        compression = little_endian_32(data, 30);
    } else {
        throw helmkit::Error(fmt::format("BMP file with an unknown header of {} bytes", info_size));
    }
    if (height < 0) height = -height;  // rows stored top-down
    if (width <= 0 || height == 0) throw helmkit::Error("BMP image of size zero");
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
        throw helmkit::Error(fmt::format("BMP file with {} bits per pixel", bits));
    }
    const auto w = static_cast<std::uint64_t>(width);
    const auto h = static_cast<std::uint64_t>(height);
    check_pixel_limit(w, h);
    // The decoder reads any other compression value as plain rows and fills what is missing
    // with zeros, so a few bytes could stand for a full-size image: refuse it here.
    if (!uncompressed_bmp(compression)) {
        throw helmkit::Error(fmt::format("BMP file with compression {}, which is not supported",
                                         compression));
    }
    const std::uint64_t stride = (w * static_cast<std::uint64_t>(bits) + 31) / 32 * 4;
    const std::uint64_t needed = offset + stride * h;
    if (needed > data.size()) {
        throw helmkit::Error(fmt::format(
            "truncated BMP file: its {} by {} pixels need {} bytes, the file has {}", w, h,
            needed, data.size()));
    }
    return {static_cast<std::uint32_t>(w), static_cast<std::uint32_t>(h), bits};
}

}  // namespace torvane::figdeck
