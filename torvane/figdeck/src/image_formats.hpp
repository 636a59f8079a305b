#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace torvane::figdeck {

// What a PDF needs to know of a JPEG file to embed its bytes unchanged.
struct JpegHeader {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int components = 0;   // 1 grey, 3 YCbCr/RGB, 4 CMYK
    bool adobe = false;   // an Adobe APP14 marker: CMYK data is stored inverted
};

// Reads the frame header of the JPEG `data`. Throws helmkit::Error (without a file name)
// when it is no JPEG or uses a coding that PDF readers do not show (lossless, arithmetic,
// hierarchical, 12-bit).
JpegHeader read_jpeg_header(std::string_view data);

// The chunks of a PNG file that decide how it is embedded.
struct PngFile {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int bit_depth = 0;
    int color_type = 0;  // 0 grey, 2 RGB, 3 palette, 4 grey + alpha, 6 RGB + alpha
    bool interlaced = false;
    bool transparency = false;  // a tRNS chunk
    std::string palette;        // PLTE: RGB triples
    std::string image_data;     // the IDAT chunks joined: one zlib stream

    int channels() const;
    // True when the compressed rows can go into the PDF as they are (with the PNG predictor):
    // no alpha, no tRNS, not interlaced, at most 8 bits.
    bool embeds_directly() const;
};

// Parses the PNG `data`, checking every chunk's checksum. Throws helmkit::Error (without a
// file name) when it is no valid PNG.
PngFile read_png(std::string_view data);

// Throws helmkit::Error unless the image data of `png` inflates to exactly its rows, each
// starting with a known filter byte.
void check_png_rows(const PngFile& png);

// Returns `data` compressed as one zlib stream.
std::string deflate_bytes(std::string_view data);

}  // namespace torvane::figdeck
