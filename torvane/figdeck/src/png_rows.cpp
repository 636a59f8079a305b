#include "png_rows.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "helmkit/base/error.hpp"

namespace torvane::figdeck {

namespace {

[[noreturn]] void damaged() { throw helmkit::Error("damaged or truncated PNG image data"); }

std::uint64_t raw_row_bytes(std::uint32_t width, const PngFile& png) {
    return (static_cast<std::uint64_t>(width) * png.channels() * png.bit_depth + 7) / 8;
}

// Adam7: where each pass starts and how far apart its pixels are.
struct Pass {
    std::uint32_t x0, y0, dx, dy;
};
constexpr Pass k_passes[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                              {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};

std::uint32_t pass_size(std::uint32_t size, std::uint32_t start, std::uint32_t step) {
    return size > start ? (size - start + step - 1) / step : 0;
}

unsigned char paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a);
    const int pb = std::abs(p - b);
    const int pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) return static_cast<unsigned char>(a);
    return static_cast<unsigned char>(pb <= pc ? b : c);
}

}  // namespace

IdatInflater::IdatInflater(std::string_view data, const std::vector<ByteRange>& ranges)
    : m_data(data), m_ranges(ranges) {
    if (inflateInit(&m_stream) != Z_OK) throw helmkit::Error("out of memory");
}

IdatInflater::IdatInflater(Branch, const IdatInflater& other)
    : m_data(other.m_data), m_ranges(other.m_ranges), m_next_range(other.m_next_range),
      m_ended(other.m_ended) {
    if (inflateCopy(&m_stream, const_cast<z_stream*>(&other.m_stream)) != Z_OK) {
        throw helmkit::Error("out of memory");
    }
}

std::unique_ptr<IdatInflater> IdatInflater::branch() const {
    return std::unique_ptr<IdatInflater>(new IdatInflater(Branch{}, *this));
}

IdatInflater::~IdatInflater() { inflateEnd(&m_stream); }

bool IdatInflater::feed() {
    if (m_next_range >= m_ranges.size()) return false;
    const auto& range = m_ranges[m_next_range++];
    m_stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(m_data.data() + range.offset));
    m_stream.avail_in = static_cast<uInt>(range.size);
    return true;
}

void IdatInflater::read_exactly(unsigned char* out, std::size_t size) {
    m_stream.next_out = out;
    m_stream.avail_out = static_cast<uInt>(size);
    while (m_stream.avail_out > 0) {
        if (m_ended) damaged();
        if (m_stream.avail_in == 0 && !feed()) damaged();
        const int status = inflate(&m_stream, Z_NO_FLUSH);
        if (status == Z_STREAM_END) {
            m_ended = true;
        } else if (status != Z_OK && !(status == Z_BUF_ERROR && m_stream.avail_in == 0)) {
            damaged();
        }
    }
}

void IdatInflater::skip(std::uint64_t size) {
    unsigned char buffer[1 << 14];
    while (size > 0) {
        const auto step = static_cast<std::size_t>(std::min<std::uint64_t>(size, sizeof buffer));
        read_exactly(buffer, step);
        size -= step;
    }
}

void IdatInflater::expect_end() {
    unsigned char extra = 0;
    while (!m_ended) {
        m_stream.next_out = &extra;
        m_stream.avail_out = 1;
        if (m_stream.avail_in == 0 && !feed()) damaged();
        const int status = inflate(&m_stream, Z_NO_FLUSH);
        if (m_stream.avail_out == 0) damaged();  // more rows than the image has
        if (status == Z_STREAM_END) {
            m_ended = true;
        } else if (status != Z_OK && !(status == Z_BUF_ERROR && m_stream.avail_in == 0)) {
            damaged();
        }
    }
}

PngRows::PngRows(const PngFile& png, std::string_view data, int channels)
    : m_png(png),
      m_inflater(data, png.image_data),
      m_channels(channels),
      m_bytes_per_pixel(std::max(1, png.channels() * png.bit_depth / 8)),
      m_out_row(static_cast<std::size_t>(png.width) * static_cast<std::size_t>(channels)) {}

void PngRows::read_row(IdatInflater& inflater, std::uint32_t width,
                       std::vector<unsigned char>& raw, std::vector<unsigned char>& previous) {
    const auto bytes = static_cast<std::size_t>(raw_row_bytes(width, m_png));
    unsigned char filter = 0;
    inflater.read_exactly(&filter, 1);
    inflater.read_exactly(raw.data(), bytes);
    const auto step = static_cast<std::size_t>(m_bytes_per_pixel);
    unsigned char* row = raw.data();
    const unsigned char* up = previous.data();
    switch (filter) {
    case 0: break;
    case 1:
        for (std::size_t i = step; i < bytes; ++i) row[i] = static_cast<unsigned char>(row[i] + row[i - step]);
        break;
    case 2:
        for (std::size_t i = 0; i < bytes; ++i) row[i] = static_cast<unsigned char>(row[i] + up[i]);
        break;
    case 3:
        for (std::size_t i = 0; i < bytes; ++i) {
            const int left = i >= step ? row[i - step] : 0;
            row[i] = static_cast<unsigned char>(row[i] + (left + up[i]) / 2);
        }
        break;
    case 4:
        for (std::size_t i = 0; i < bytes; ++i) {
            const int left = i >= step ? row[i - step] : 0;
            const int corner = i >= step ? up[i - step] : 0;
            row[i] = static_cast<unsigned char>(row[i] + paeth(left, up[i], corner));
        }
        break;
    default: throw helmkit::Error("damaged PNG image data (unknown row filter)");
    }
    std::memcpy(previous.data(), row, bytes);
}

void PngRows::convert(const unsigned char* raw, std::uint32_t width, unsigned char* out) const {
    const int depth = m_png.bit_depth;
    // 8-bit samples already laid out as asked: the common case of plots with alpha.
    if (depth == 8 && !m_png.transparency && m_png.color_type != 3 &&
        m_png.channels() == m_channels) {
        std::memcpy(out, raw, static_cast<std::size_t>(width) * static_cast<std::size_t>(m_channels));
        return;
    }
    const auto sample = [&](std::size_t index) -> std::uint32_t {
        switch (depth) {
        case 16: return (static_cast<std::uint32_t>(raw[2 * index]) << 8) | raw[2 * index + 1];
        case 8: return raw[index];
        default: {
            const std::size_t per_byte = static_cast<std::size_t>(8 / depth);
            const int shift = 8 - depth * static_cast<int>(index % per_byte + 1);
            return (raw[index / per_byte] >> shift) & ((1u << depth) - 1);
        }
        }
    };
    const auto eight_bits = [&](std::uint32_t value) -> unsigned char {
        switch (depth) {
        case 16: return static_cast<unsigned char>(value >> 8);
        case 4: return static_cast<unsigned char>(value * 0x11);
        case 2: return static_cast<unsigned char>(value * 0x55);
        case 1: return static_cast<unsigned char>(value * 0xFF);
        default: return static_cast<unsigned char>(value);
        }
    };
    const auto& trns = m_png.transparency_data;
    const auto trns_value = [&](std::size_t i) -> std::uint32_t {
        return 2 * i + 1 < trns.size()
                   ? (static_cast<std::uint32_t>(static_cast<unsigned char>(trns[2 * i])) << 8) |
                         static_cast<unsigned char>(trns[2 * i + 1])
                   : 0x10000;  // never equal to a sample
    };
    const bool alpha = m_channels == 2 || m_channels == 4;
    const bool keyed = m_png.transparency;
    for (std::uint32_t x = 0; x < width; ++x) {
        unsigned char colour[3] = {0, 0, 0};
        unsigned char a = 255;
        switch (m_png.color_type) {
        case 0: {
            const auto g = sample(x);
            colour[0] = colour[1] = colour[2] = eight_bits(g);
            if (keyed && g == trns_value(0)) a = 0;
            break;
        }
        case 2: {
            const std::uint32_t r = sample(3 * x), g = sample(3 * x + 1), b = sample(3 * x + 2);
            colour[0] = eight_bits(r);
            colour[1] = eight_bits(g);
            colour[2] = eight_bits(b);
            if (keyed && r == trns_value(0) && g == trns_value(1) && b == trns_value(2)) a = 0;
            break;
        }
        case 3: {
            const auto index = sample(x);
            if (3 * index + 2 < m_png.palette.size()) {
                for (int c = 0; c < 3; ++c) {
                    colour[c] = static_cast<unsigned char>(m_png.palette[3 * index + c]);
                }
            }
            if (index < trns.size()) a = static_cast<unsigned char>(trns[index]);
            break;
        }
        case 4:
            colour[0] = colour[1] = colour[2] = eight_bits(sample(2 * x));
            a = eight_bits(sample(2 * x + 1));
            break;
        default:
            for (int c = 0; c < 3; ++c) colour[c] = eight_bits(sample(4 * x + c));
            a = eight_bits(sample(4 * x + 3));
            break;
        }
        if (m_channels <= 2) {
            *out++ = colour[0];
        } else {
            *out++ = colour[0];
            *out++ = colour[1];
            *out++ = colour[2];
        }
        if (alpha) *out++ = a;
    }
}

void PngRows::find_passes() {
    for (const auto& pass : k_passes) {
        const auto pass_w = pass_size(m_png.width, pass.x0, pass.dx);
        const auto pass_h = pass_size(m_png.height, pass.y0, pass.dy);
        if (pass_w == 0 || pass_h == 0) continue;
        const auto bytes = static_cast<std::size_t>(raw_row_bytes(pass_w, m_png));
        PassRows rows;
        rows.x0 = pass.x0;
        rows.y0 = pass.y0;
        rows.dx = pass.dx;
        rows.dy = pass.dy;
        rows.width = pass_w;
        rows.inflater = m_inflater.branch();
        rows.raw.assign(bytes, 0);
        rows.previous.assign(bytes, 0);
        rows.out.resize(static_cast<std::size_t>(pass_w) * static_cast<std::size_t>(m_channels));
        m_passes.push_back(std::move(rows));
        m_inflater.skip(static_cast<std::uint64_t>(pass_h) * (bytes + 1));
    }
    m_inflater.expect_end();
}

void PngRows::interlaced_row(unsigned char* row) {
    const auto channels = static_cast<std::size_t>(m_channels);
    for (auto& pass : m_passes) {
        if (m_row < pass.y0 || (m_row - pass.y0) % pass.dy != 0) continue;
        read_row(*pass.inflater, pass.width, pass.raw, pass.previous);
        convert(pass.raw.data(), pass.width, pass.out.data());
        for (std::uint32_t i = 0; i < pass.width; ++i) {
            const std::size_t x = pass.x0 + static_cast<std::size_t>(i) * pass.dx;
            std::memcpy(row + x * channels, &pass.out[i * channels], channels);
        }
    }
}

bool PngRows::next_row(unsigned char* row) {
    if (m_row >= m_png.height) return false;
    if (m_png.interlaced) {
        if (m_row == 0) find_passes();
        interlaced_row(row);
        if (++m_row == m_png.height) m_passes.clear();
        return true;
    }
    if (m_row == 0) {
        const auto bytes = static_cast<std::size_t>(raw_row_bytes(m_png.width, m_png));
        m_raw.assign(bytes, 0);
        m_previous.assign(bytes, 0);
    }
    read_row(m_inflater, m_png.width, m_raw, m_previous);
    convert(m_raw.data(), m_png.width, row);
    if (++m_row == m_png.height) m_inflater.expect_end();
    return true;
}

}  // namespace torvane::figdeck
