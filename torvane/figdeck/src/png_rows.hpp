#pragma once

#include <zlib.h>

#include <cstdint>
#include <string_view>
#include <vector>

#include "image_formats.hpp"

namespace torvane::figdeck {

// Inflates the zlib stream held in the `ranges` of `data` (a PNG's IDAT chunks).
class IdatInflater {
public:
    IdatInflater(std::string_view data, const std::vector<ByteRange>& ranges);
    ~IdatInflater();
    IdatInflater(const IdatInflater&) = delete;
    IdatInflater& operator=(const IdatInflater&) = delete;

    // Fills `out` with the next `size` inflated bytes. Throws helmkit::Error when the data is
    // damaged or ends before.
    void read_exactly(unsigned char* out, std::size_t size);
    // Throws helmkit::Error unless the stream ends here, with no data left over.
    void expect_end();

private:
    bool feed();

    std::string_view m_data;
    const std::vector<ByteRange>& m_ranges;
    std::size_t m_next_range = 0;
    z_stream m_stream{};
    bool m_ended = false;
};

// The rows of a PNG image as 8-bit samples, top to bottom: 16-bit samples keep their high
// byte, 1- to 4-bit grey is scaled to 0..255, palette entries become RGB, tRNS becomes alpha.
// Rows are decoded one at a time; an interlaced image is decoded whole first (one copy).
class PngRows {
public:
    // Decodes `png`, parsed from the file `data` (which must outlive this), to `channels`
    // samples a pixel: 1 grey, 2 grey and alpha, 3 RGB, 4 RGB and alpha.
    PngRows(const PngFile& png, std::string_view data, int channels);

    std::size_t row_size() const { return m_out_row; }

    // Writes the next row into `row` (row_size() bytes). Returns false after the last row.
    // Throws helmkit::Error when the image data is damaged or cut short.
    bool next_row(unsigned char* row);

private:
    void read_row(std::uint32_t width, std::vector<unsigned char>& raw,
                  std::vector<unsigned char>& previous);
    void convert(const unsigned char* raw, std::uint32_t width, unsigned char* out) const;
    void decode_interlaced();

    const PngFile& m_png;
    IdatInflater m_inflater;
    int m_channels;
    int m_bytes_per_pixel;  // of the raw rows, at least 1: the filters' step
    std::size_t m_out_row;
    std::uint32_t m_row = 0;
    std::vector<unsigned char> m_raw;
    std::vector<unsigned char> m_previous;
    std::vector<unsigned char> m_image;  // an interlaced image, decoded whole
};

}  // namespace torvane::figdeck
