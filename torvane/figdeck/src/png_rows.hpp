#pragma once

#include <zlib.h>

#include <cstdint>
#include <memory>
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
    // Returns a second inflater that goes on from where this one stands, independently of it.
    std::unique_ptr<IdatInflater> branch() const;
    // Inflates and drops the next `size` bytes; throws as read_exactly.
    void skip(std::uint64_t size);
    // Throws helmkit::Error unless the stream ends here, with no data left over.
    void expect_end();

private:
    struct Branch {};
    IdatInflater(Branch, const IdatInflater& other);
    bool feed();

    std::string_view m_data;
    const std::vector<ByteRange>& m_ranges;
    std::size_t m_next_range = 0;
    z_stream m_stream{};
    bool m_ended = false;
};

// The rows of a PNG image as 8-bit samples, top to bottom: 16-bit samples keep their high
// byte, 1- to 4-bit grey is scaled to 0..255, palette entries become RGB, tRNS becomes alpha.
// Rows are decoded one at a time. An interlaced image is inflated once to find where each of
// its seven passes starts; then each pass is read on from there as the rows need it, so the
// memory stays a few rows whatever the image's size.
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
    // One pass of an interlaced image, read row by row from its own inflater.
    struct PassRows {
        std::uint32_t x0 = 0, y0 = 0, dx = 1, dy = 1;
        std::uint32_t width = 0;
        std::unique_ptr<IdatInflater> inflater;
        std::vector<unsigned char> raw;
        std::vector<unsigned char> previous;
        std::vector<unsigned char> out;
    };

    void read_row(IdatInflater& inflater, std::uint32_t width, std::vector<unsigned char>& raw,
                  std::vector<unsigned char>& previous);
    void convert(const unsigned char* raw, std::uint32_t width, unsigned char* out) const;
    void find_passes();
    void interlaced_row(unsigned char* row);

    const PngFile& m_png;
    IdatInflater m_inflater;
    int m_channels;
    int m_bytes_per_pixel;  // of the raw rows, at least 1: the filters' step
    std::size_t m_out_row;
    std::uint32_t m_row = 0;
    std::vector<unsigned char> m_raw;
    std::vector<unsigned char> m_previous;
    std::vector<PassRows> m_passes;  // of an interlaced image, those that hold pixels
};

}  // namespace torvane::figdeck
