#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace torvane_test {

// The sample value of channel `c` of the pixel at (x, y), within the image's bit depth.
using PixelFunction = std::function<std::uint16_t(std::uint32_t x, std::uint32_t y, int c)>;

struct PngRecipe {
    std::uint32_t width = 4;
    std::uint32_t height = 3;
    int color_type = 2;  // 0 grey, 2 RGB, 3 palette, 4 grey + alpha, 6 RGB + alpha
    int bit_depth = 8;
    bool interlaced = false;
    std::string palette;       // PLTE bytes for colour type 3
    std::string transparency;  // tRNS bytes, none when empty
    PixelFunction pixel;       // default: a gradient
};

// Returns the bytes of a PNG file written as `recipe` says (Adam7 when interlaced).
std::string png_bytes(const PngRecipe& recipe);

struct JpegRecipe {
    std::uint32_t width = 16;
    std::uint32_t height = 8;
    int components = 3;  // 1 grey, 3 RGB, 4 CMYK
    bool progressive = false;
    int quality = 85;
    PixelFunction pixel;  // samples 0 to 255; default: a striped gradient
};

// Returns the bytes of a JPEG file (through libjpeg); CMYK files carry the Adobe marker.
std::string jpeg_bytes(const JpegRecipe& recipe);

// Returns the bytes of an uncompressed BMP file of 24 or 32 bits per pixel (32: with alpha).
std::string bmp_bytes(std::uint32_t width, std::uint32_t height, int bits);

}  // namespace torvane_test
