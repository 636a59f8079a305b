#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace torvane::figdeck {

// The most pixels a PNG or BMP image may have (2^28, 16384 by 16384): its pixels are read
// (and some decoded whole), and a small file may declare any size.
constexpr std::uint64_t k_max_pixels = std::uint64_t{1} << 28;

// Throws helmkit::Error (without a file name) when an image of `width` by `height` pixels
// is beyond k_max_pixels.
void check_pixel_limit(std::uint64_t width, std::uint64_t height);

// What a PDF needs to know of a JPEG file to embed its bytes unchanged.
struct JpegHeader {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int components = 0;   // 1 grey, 3 YCbCr/RGB, 4 CMYK
    bool adobe = false;   // an Adobe APP14 marker: CMYK data is stored inverted
};

// Reads the frame header of the JPEG file `data` and checks its whole marker structure: every
// segment complete, every scan followed by more markers, the end marker reached. Throws
// helmkit::Error (without a file name) when it is no JPEG, is damaged or cut short, or uses a
// coding that PDF readers do not show (lossless, arithmetic, hierarchical, 12-bit).
JpegHeader read_jpeg_header(std::string_view data);

// A run of bytes of a file.
struct ByteRange {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
};

// The chunks of a PNG file that decide how it is embedded.
struct PngFile {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int bit_depth = 0;
    int color_type = 0;  // 0 grey, 2 RGB, 3 palette, 4 grey + alpha, 6 RGB + alpha
    bool interlaced = false;
    bool transparency = false;     // a tRNS chunk
    std::string transparency_data;  // its bytes
    std::string palette;            // PLTE: RGB triples
    std::vector<ByteRange> image_data;  // where the IDAT chunks' data lie: one zlib stream

    int channels() const;
    // True when the compressed rows can go into the PDF as they are (with the PNG predictor):
    // no alpha, no tRNS, not interlaced, at most 8 bits.
    bool embeds_directly() const;
};

// Parses the PNG file `data`, checking every chunk's checksum, the format's size limit
// (2^31 - 1 a side) and k_max_pixels. Throws helmkit::Error (without a file name) when it is
// no valid PNG.
PngFile read_png(std::string_view data);

// Throws helmkit::Error unless the image data of `png` (parsed from `data`) inflates to
// exactly its rows, each starting with a known filter byte.
void check_png_rows(const PngFile& png, std::string_view data);

// What decides how a BMP file is decoded.
struct BmpHeader {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int bits = 0;
};

// Reads the headers of the BMP file `data` and checks that its pixel data is all there and
// within k_max_pixels. Throws helmkit::Error (without a file name) otherwise.
BmpHeader read_bmp_header(std::string_view data);

}  // namespace torvane::figdeck
