#include "test_images.hpp"

#include <zlib.h>

#include <array>
#include <cstdio>
// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>
#include <stdexcept>
#include <vector>

namespace torvane_test {

namespace {

void put_32(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>(value >> shift));
}

void put_le(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
}

void put_chunk(std::string& out, const char* type, const std::string& body) {
    put_32(out, static_cast<std::uint32_t>(body.size()));
    std::string typed = std::string(type, 4) + body;
    out += typed;
    put_32(out, static_cast<std::uint32_t>(
                    crc32(0, reinterpret_cast<const Bytef*>(typed.data()), typed.size())));
}

int channels_of(int color_type) {
    switch (color_type) {
    case 2: return 3;
    case 4: return 2;
    case 6: return 4;
    default: return 1;
    }
}

// Appends the filtered rows (filter type 0) of the sub-image of pixels (x0 + i*dx, y0 + j*dy).
void append_rows(std::string& raw, const PngRecipe& recipe, const PixelFunction& pixel,
                 std::uint32_t x0, std::uint32_t y0, std::uint32_t dx, std::uint32_t dy) {
    const int channels = channels_of(recipe.color_type);
    for (std::uint32_t y = y0; y < recipe.height; y += dy) {
        if (x0 >= recipe.width) return;
        raw.push_back('\0');
        std::uint32_t bits = 0;
        int bit_count = 0;
        for (std::uint32_t x = x0; x < recipe.width; x += dx) {
            for (int c = 0; c < channels; ++c) {
                const std::uint16_t value = pixel(x, y, c);
                if (recipe.bit_depth == 16) {
                    raw.push_back(static_cast<char>(value >> 8));
                    raw.push_back(static_cast<char>(value & 0xFF));
                } else {
                    bits = (bits << recipe.bit_depth) | value;
                    bit_count += recipe.bit_depth;
                    if (bit_count == 8) {
                        raw.push_back(static_cast<char>(bits));
                        bits = 0;
                        bit_count = 0;
                    }
                }
            }
        }
        if (bit_count > 0) raw.push_back(static_cast<char>(bits << (8 - bit_count)));
    }
}

}  // namespace

std::string png_bytes(const PngRecipe& recipe) {
    const std::uint32_t max_value = (1u << recipe.bit_depth) - 1;
    const PixelFunction pixel = recipe.pixel ? recipe.pixel : [&](std::uint32_t x, std::uint32_t y, int c) {
        return static_cast<std::uint16_t>((x * 37 + y * 91 + static_cast<std::uint32_t>(c) * 53) % (max_value + 1));
    };
    std::string out("\x89PNG\r\n\x1a\n", 8);
    std::string header;
    put_32(header, recipe.width);
    put_32(header, recipe.height);
    header.push_back(static_cast<char>(recipe.bit_depth));
    header.push_back(static_cast<char>(recipe.color_type));
    header.push_back('\0');
    header.push_back('\0');
    header.push_back(recipe.interlaced ? '\1' : '\0');
    put_chunk(out, "IHDR", header);
    if (!recipe.palette.empty()) put_chunk(out, "PLTE", recipe.palette);
    if (!recipe.transparency.empty()) put_chunk(out, "tRNS", recipe.transparency);

    std::string raw;
    if (recipe.interlaced) {
        static constexpr std::array<std::array<std::uint32_t, 4>, 7> k_passes{{
            {0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4}, {0, 2, 2, 4}, {1, 0, 2, 2},
            {0, 1, 1, 2}}};
        for (const auto& [x0, y0, dx, dy] : k_passes) append_rows(raw, recipe, pixel, x0, y0, dx, dy);
    } else {
        append_rows(raw, recipe, pixel, 0, 0, 1, 1);
    }
    uLongf size = compressBound(raw.size());
    std::string packed(size, '\0');
    compress(reinterpret_cast<Bytef*>(packed.data()), &size,
             reinterpret_cast<const Bytef*>(raw.data()), raw.size());
    packed.resize(size);
    put_chunk(out, "IDAT", packed);
    put_chunk(out, "IEND", "");
    return out;
}

std::string jpeg_bytes(const JpegRecipe& recipe) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = recipe.width;
    info.image_height = recipe.height;
    info.input_components = recipe.components;
    info.in_color_space = recipe.components == 1 ? JCS_GRAYSCALE
                          : recipe.components == 4 ? JCS_CMYK
                                                 : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, recipe.quality, TRUE);
    if (recipe.progressive) jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    std::vector<unsigned char> row(static_cast<std::size_t>(recipe.width) * recipe.components);
    while (info.next_scanline < info.image_height) {
        for (std::uint32_t x = 0; x < recipe.width; ++x) {
            for (int c = 0; c < recipe.components; ++c) {
                row[x * recipe.components + c] = static_cast<unsigned char>(
                    recipe.pixel ? recipe.pixel(x, info.next_scanline, c)
                               : (x * 255 / recipe.width + info.next_scanline * 7 + c * 60) % 256);
            }
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::string out(reinterpret_cast<const char*>(buffer), size);
    std::free(buffer);
    return out;
}

std::string bmp_bytes(std::uint32_t width, std::uint32_t height, int bits) {
    if (bits != 24 && bits != 32) throw std::invalid_argument("bmp_bytes: 24 or 32 bits");
    const std::uint32_t row = (width * (bits / 8) + 3) / 4 * 4;
    const std::uint32_t header_size = bits == 32 ? 108 : 40;
    const std::uint32_t offset = 14 + header_size;
    std::string out = "BM";
    put_le(out, offset + row * height, 4);
    put_le(out, 0, 4);
    put_le(out, offset, 4);
    put_le(out, header_size, 4);
    put_le(out, width, 4);
    put_le(out, height, 4);
    put_le(out, 1, 2);
    put_le(out, static_cast<std::uint32_t>(bits), 2);
    put_le(out, bits == 32 ? 3 : 0, 4);  // BI_BITFIELDS for the alpha mask
    put_le(out, row * height, 4);
    put_le(out, 2835, 4);
    put_le(out, 2835, 4);
    put_le(out, 0, 4);
    put_le(out, 0, 4);
    if (bits == 32) {
        put_le(out, 0x00FF0000, 4);
        put_le(out, 0x0000FF00, 4);
        put_le(out, 0x000000FF, 4);
        put_le(out, 0xFF000000, 4);
        put_le(out, 0x73524742, 4);  // colour space "sRGB"
        out.append(48, '\0');           // end points and gamma, unused with sRGB
    }
    for (std::uint32_t y = 0; y < height; ++y) {
        std::string line;
        for (std::uint32_t x = 0; x < width; ++x) {
            line.push_back(static_cast<char>(x * 40));
            line.push_back(static_cast<char>(y * 40));
            line.push_back(static_cast<char>(200));
            if (bits == 32) line.push_back(static_cast<char>(x % 2 == 0 ? 255 : 64));
        }
        line.resize(row, '\0');
        out += line;
    }
    return out;
}

}  // namespace torvane_test
