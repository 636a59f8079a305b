// Images that declare more than they hold, or more than figdeck takes: each run is refused
// naming the file, and no PDF is written.
#if FIGDECK_HAS_PDF_LIBS && TORVANE_TEST_IMAGES

#include <gtest/gtest.h>

#include <zlib.h>

#include "report_fixture.hpp"

using namespace torvane_test;
using namespace figdeck_test;

namespace {

std::uint32_t crc32_of(std::string_view bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char c : bytes) {
        crc ^= static_cast<unsigned char>(c);
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void put_be32(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (24 - 8 * i));
}

void put_le32(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

// A valid PNG whose header says `width` by `height`, its checksum made to fit; its image data
// stays that of a small image.
std::string png_declaring(std::uint32_t width, std::uint32_t height, int color_type) {
    PngRecipe recipe;
    recipe.color_type = color_type;
    auto png = png_bytes(recipe);
    put_be32(png, 16, width);
    put_be32(png, 20, height);
    put_be32(png, 29, crc32_of(std::string_view(png).substr(12, 17)));
    return png;
}

#if !defined(__SANITIZE_ADDRESS__)
std::string chunk(std::string_view type, std::string_view body) {
    std::string out(4, '\0');
    put_be32(out, 0, static_cast<std::uint32_t>(body.size()));
    out += type;
    out += body;
    out += std::string(4, '\0');
    put_be32(out, out.size() - 4, crc32_of(std::string_view(out).substr(4, 4 + body.size())));
    return out;
}

// An RGBA PNG of `side` by `side` clear black pixels, quick to make at any size.
std::string clear_png(std::uint32_t side, bool interlaced) {
    std::uint64_t raw = 0;
    if (interlaced) {
        const std::uint32_t passes[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                            {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
        for (const auto& p : passes) {
            const std::uint64_t w = (side - p[0] + p[2] - 1) / p[2];
            const std::uint64_t h = (side - p[1] + p[3] - 1) / p[3];
            raw += h * (1 + 4 * w);
        }
    } else {
        raw = static_cast<std::uint64_t>(side) * (1 + 4 * side);
    }
    const std::string rows(raw, '\0');
    uLongf size = compressBound(static_cast<uLong>(rows.size()));
    std::string packed(size, '\0');
    compress2(reinterpret_cast<Bytef*>(packed.data()), &size,
              reinterpret_cast<const Bytef*>(rows.data()), static_cast<uLong>(rows.size()), 1);
    packed.resize(size);
    std::string header(13, '\0');
    put_be32(header, 0, side);
    put_be32(header, 4, side);
    header[8] = 8;
    header[9] = 6;
    header[12] = interlaced ? 1 : 0;
    return std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + chunk("IDAT", packed) +
           chunk("IEND", "");
}
#endif

struct Refusal {
    std::string name;
    std::string bytes;
    std::string reason;  // the start of it
};

// Runs a report over each file alone and expects the refusal naming it, and no PDF.
void expect_refused(const std::vector<Refusal>& cases) {
    for (const auto& refusal : cases) {
        SCOPED_TRACE(refusal.name);
        TempDir dir;
        const auto images = dir / "images";
        write_file(images / refusal.name, refusal.bytes);
        const ordered_json config{{"config", {{"image_folder", images.string()}}},
                                  {"main_page", {{"title_of_report", "Limits"}}},
                                  {"groups", {{{"name", "G"}, {"pattern", "a"}}}}};
        const auto result = run_report(dir.path(), config);
        EXPECT_EQ(result.status, 1);
        const auto last = lines_of(result.err).back();
        const auto expected =
            "Error: cannot embed the image '" + (images / refusal.name).string() + "': " + refusal.reason;
        EXPECT_EQ(last.substr(0, expected.size()), expected) << last;
        EXPECT_EQ(folder_names(images), std::vector<std::string>{refusal.name});
    }
}

std::string noisy_jpeg(std::uint32_t width, std::uint32_t height, bool progressive = false) {
    JpegRecipe recipe;
    recipe.width = width;
    recipe.height = height;
    recipe.progressive = progressive;
    recipe.pixel = [](std::uint32_t x, std::uint32_t y, int c) -> std::uint16_t {
        return static_cast<std::uint16_t>((x * 2654435761u ^ y * 40503u ^ static_cast<unsigned>(c) * 977u) % 256);
    };
    return jpeg_bytes(recipe);
}

}  // namespace

TEST(FigdeckImageLimits, PngSidesBeyondTheFormatAndImagesBeyond2To28PixelsAreRefused) {
    expect_refused({
        {"a_wide.png", png_declaring(2147483649u, 1, 0),
         "PNG image of 2147483649 by 1 pixels: a side beyond the format's limit of 2147483647"},
        {"a_tall.png", png_declaring(1, 0x80000000u, 2),
         "PNG image of 1 by 2147483648 pixels: a side beyond the format's limit of 2147483647"},
        {"a_bomb.png", png_declaring(16385, 16384, 6),
         "image of 16385 by 16384 pixels is beyond the limit of 268435456 pixels (2^28)"},
    });
}

TEST(FigdeckImageLimits, BmpWhosePixelDataIsShorterThanDeclaredIsRefused) {
    auto bmp = bmp_bytes(30, 30, 24);  // 2,934 bytes
    put_le32(bmp, 18, 16384);
    put_le32(bmp, 22, 16384);
    auto cut = bmp_bytes(30, 20, 32);
    cut.resize(cut.size() - 1);
    auto top_down = bmp_bytes(10, 10, 24);
    put_le32(top_down, 22, static_cast<std::uint32_t>(-20));
    auto huge = bmp_bytes(4, 4, 24);
    put_le32(huge, 18, 20000);
    put_le32(huge, 22, 20000);
    // A compression the decoder does not know would be read as plain rows filled with zeros.
    auto odd_compression = bmp_bytes(4, 4, 32);
    put_le32(odd_compression, 22, 12189700);
    put_le32(odd_compression, 30, 0xFF000001u);
    expect_refused({
        {"a_odd_compression.bmp", odd_compression,
         "BMP file with compression 4278190081, which is not supported"},
        {"a_declares_more.bmp", bmp,
         "truncated BMP file: its 16384 by 16384 pixels need 805306422 bytes, the file has 2814"},
        {"a_one_byte_short.bmp", cut,
         "truncated BMP file: its 30 by 20 pixels need " + std::to_string(cut.size() + 1) + " bytes"},
        {"a_top_down.bmp", top_down, "truncated BMP file: its 10 by 20 pixels need 694 bytes"},
        {"a_huge.bmp", huge, "image of 20000 by 20000 pixels is beyond the limit"},
    });
}

TEST(FigdeckImageLimits, JpegCutShortOrWithoutItsEndMarkerIsRefused) {
    const auto photo = noisy_jpeg(200, 150);
    ASSERT_GT(photo.size(), 6000u);
    const auto progressive = noisy_jpeg(120, 90, true);
    const auto scan = photo.find("\xFF\xDA");
    ASSERT_NE(scan, std::string::npos);
    const std::size_t scan_header = 2 + (static_cast<unsigned char>(photo[scan + 2]) << 8 |
                                         static_cast<unsigned char>(photo[scan + 3]));
    const auto empty_scan = photo.substr(0, scan + scan_header) + "\xFF\xD9";
    const auto inside = "truncated JPEG file (it ends inside the image data, before its end marker)";
    expect_refused({
        {"a_cut.jpg", photo.substr(0, 3000), inside},
        {"a_no_end.jpg", photo.substr(0, photo.size() - 2), inside},
        {"a_progressive_cut.jpg", progressive.substr(0, progressive.size() / 2), inside},
        {"a_headers_only.jpg", photo.substr(0, scan), "truncated JPEG file (no end marker)"},
        {"a_cut_header.jpg", photo.substr(0, 40), "truncated JPEG file"},
        {"a_empty_scan.jpg", empty_scan, "cut JPEG scan (it holds no image data)"},
    });
    // Whole files, also with bytes after the end marker, still go in unchanged.
    TempDir dir;
    write_file(dir / "images" / "a.jpg", photo + "trailing bytes");
    write_file(dir / "images" / "b.jpg", progressive);
    const ordered_json config{{"config", {{"image_folder", (dir / "images").string()}}},
                              {"main_page", {{"title_of_report", "Fine"}}},
                              {"groups", {{{"name", "G"}, {"pattern", "*"}}}}};
    const auto result = run_report(dir.path(), config);
    ASSERT_EQ(result.status, 0) << result.err;
    expect_clean_pdf(dir / "images" / "report.pdf");
}

TEST(FigdeckImageLimits, DecodingKeepsAtMostOneDecodedCopyOfAnImage) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "an address-space limit cannot hold a program built with AddressSanitizer";
#else
    // 2048 by 2048 RGBA: 16 MiB decoded. With the program's own address space, one decoded
    // copy (the interlaced image) fits 60 MiB; two copies beside the colour and alpha planes
    // do not, even for the plain image.
    TempDir dir;
    const auto images = dir / "images";
    write_file(images / "plot.png", clear_png(2048, false));
    write_file(images / "plot_interlaced.png", clear_png(2048, true));
    const ordered_json config{{"config", {{"image_folder", images.string()}}},
                              {"main_page", {{"title_of_report", "Large"}}},
                              {"groups", {{{"name", "G"}, {"pattern", "plot"}, {"cols_per_row", 2}}}}};
    write_file(dir / "report.json", config.dump());
    const auto limited = run_tool("prlimit", {"--as=" + std::to_string(60 << 20), torvane_binary().string(),
                                              "figdeck", "-c", "report.json"},
                                  dir.path());
    EXPECT_EQ(limited.status, 0) << limited.err;
    const auto rows = pdf_images(images / "report.pdf");
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[1].type, "smask");
    EXPECT_EQ(rows[2].width, 2048);
#endif
}

TEST(FigdeckImageLimits, InterlacedImagesDecodePassByPassWithoutADecodedCopy) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "an address-space limit cannot hold a program built with AddressSanitizer";
#else
    // 4096 by 4096 RGBA: 64 MiB decoded, more than the whole address space allowed.
    TempDir dir;
    const auto images = dir / "images";
    write_file(images / "plot_interlaced.png", clear_png(4096, true));
    const ordered_json config{{"config", {{"image_folder", images.string()}}},
                              {"main_page", {{"title_of_report", "Large"}}},
                              {"groups", {{{"name", "G"}, {"pattern", "plot"}}}}};
    write_file(dir / "report.json", config.dump());
    const auto limited = run_tool("prlimit", {"--as=" + std::to_string(60 << 20), torvane_binary().string(),
                                              "figdeck", "-c", "report.json"},
                                  dir.path());
    EXPECT_EQ(limited.status, 0) << limited.err;
    const auto rows = pdf_images(images / "report.pdf");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].width, 4096);
    EXPECT_EQ(rows[1].type, "smask");
#endif
}

#endif
