// The page model at its interface: image embedding of every supported kind, links and
// positions, read back from the written PDF with poppler and qpdf.
#if FIGDECK_HAS_PDF_LIBS && TORVANE_TEST_IMAGES

#include <gtest/gtest.h>
#include <stb_image.h>
#include <zlib.h>

#include <memory>

#include "helmkit/base/error.hpp"
#include "report_fixture.hpp"
#include "torvane/figdeck/page_model.hpp"

using namespace torvane_test;
using namespace figdeck_test;
using torvane::figdeck::Align;
using torvane::figdeck::Ln;
using torvane::figdeck::PageModel;

namespace {

struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> data;
};

// Decodes an image file to 8-bit samples with `channels` channels.
Pixels decode(const fs::path& path, int channels) {
    int width = 0;
    int height = 0;
    int file_channels = 0;
    std::unique_ptr<stbi_uc, void (*)(void*)> data(
        stbi_load(path.c_str(), &width, &height, &file_channels, channels), stbi_image_free);
    if (!data) {
        ADD_FAILURE() << "cannot decode " << path;
        return {};
    }
    const auto* bytes = data.get();
    return {width, height,
            std::vector<unsigned char>(bytes, bytes + static_cast<std::size_t>(width) * height * channels)};
}

// Draws every file into one page and writes the PDF.
fs::path draw_images(const TempDir& dir, const std::vector<fs::path>& files) {
    PageModel page;
    page.add_page();
    double y = 10;
    for (const auto& file : files) {
        page.image(file, 10, y, 20, 10);
        y += 12;
    }
    const auto pdf = dir / "images.pdf";
    page.output(pdf);
    return pdf;
}

struct PngCase {
    std::string name;
    torvane_test::PngRecipe recipe;
    int colour_channels;  // what the PDF image holds
    bool soft_mask;
};

std::string grey_palette() {
    std::string palette;
    for (int i = 0; i < 256; ++i) palette += std::string(3, static_cast<char>(255 - i));
    return palette;
}

std::vector<PngCase> png_cases() {
    auto recipe = [](int color_type, int depth, bool interlaced = false) {
        torvane_test::PngRecipe s;
        s.width = 13;  // odd sizes make partial bytes and short Adam7 passes
        s.height = 11;
        s.color_type = color_type;
        s.bit_depth = depth;
        s.interlaced = interlaced;
        return s;
    };
    std::vector<PngCase> cases;
    for (const int depth : {1, 2, 4, 8, 16}) {
        cases.push_back({"grey" + std::to_string(depth), recipe(0, depth), 1, false});
    }
    for (const int depth : {1, 2, 4, 8}) {
        auto s = recipe(3, depth);
        s.palette = grey_palette().substr(0, 3u << depth);
        // pdfimages writes a 1-bit image as black and white whatever its palette says.
        if (depth == 1) s.palette = std::string("\0\0\0\xFF\xFF\xFF", 6);
        cases.push_back({"palette" + std::to_string(depth), s, 3, false});
    }
    cases.push_back({"rgb8", recipe(2, 8), 3, false});
    cases.push_back({"rgb16", recipe(2, 16), 3, false});
    cases.push_back({"grey_alpha8", recipe(4, 8), 1, true});
    cases.push_back({"rgba8", recipe(6, 8), 3, true});
    cases.push_back({"rgba16", recipe(6, 16), 3, true});
    cases.push_back({"rgb8_interlaced", recipe(2, 8, true), 3, false});
    cases.push_back({"rgba8_interlaced", recipe(6, 8, true), 3, true});
    cases.push_back({"grey1_interlaced", recipe(0, 1, true), 1, false});
    cases.push_back({"rgba16_interlaced", recipe(6, 16, true), 3, true});
    // Passes without pixels: 3 by 2 leaves passes 2, 3 and 5 empty, 1 by 1 all but the first.
    for (const auto& [width, height] : {std::pair{3u, 2u}, std::pair{1u, 1u}}) {
        auto small = recipe(2, 8, true);
        small.width = width;
        small.height = height;
        cases.push_back({"rgb8_interlaced_" + std::to_string(width) + "x" + std::to_string(height),
                         small, 3, false});
    }
    auto keyed = recipe(3, 8);
    keyed.palette = grey_palette();
    keyed.transparency = std::string("\x00\x80", 2);  // entry 0 clear, entry 1 half
    cases.push_back({"palette_trns", keyed, 3, true});
    return cases;
}

}  // namespace

TEST(PageModelImages, EveryPngKindEmbedsWithItsPixelsAndAlphaAsSoftMask) {
    TempDir dir;
    const auto cases = png_cases();
    std::vector<fs::path> files;
    for (const auto& png : cases) {
        files.push_back(dir / (png.name + ".png"));
        write_file(files.back(), png_bytes(png.recipe));
    }
    const auto pdf = draw_images(dir, files);
    expect_clean_pdf(pdf);
    const auto rows = pdf_images(pdf);
    std::size_t row = 0;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        ASSERT_LT(row, rows.size());
        EXPECT_EQ(rows[row].type, "image");
        EXPECT_EQ(rows[row].width, static_cast<int>(cases[i].recipe.width));
        EXPECT_EQ(rows[row].height, static_cast<int>(cases[i].recipe.height));
        ++row;
        if (cases[i].soft_mask) {
            ASSERT_LT(row, rows.size());
            EXPECT_EQ(rows[row].type, "smask");
            ++row;
        }
    }
    EXPECT_EQ(row, rows.size());

    // Extract every image and soft mask and compare the samples with the source file's.
    const auto extracted = dir / "out";
    fs::create_directory(extracted);
    ASSERT_EQ(run_tool("pdfimages", {"-png", pdf.string(), (extracted / "x").string()}, dir.path()).status, 0);
    int index = 0;
    auto next_file = [&]() {
        char name[32];
        std::snprintf(name, sizeof name, "x-%03d.png", index++);
        return extracted / name;
    };
    for (const auto& png : cases) {
        SCOPED_TRACE(png.name);
        const int with_alpha = png.colour_channels + (png.soft_mask ? 1 : 0);
        const auto source = decode(dir / (png.name + ".png"), with_alpha);
        const auto colour = decode(next_file(), png.colour_channels);
        ASSERT_EQ(colour.data.size(), source.data.size() / with_alpha * png.colour_channels);
        std::size_t mismatches = 0;
        for (std::size_t p = 0; p < colour.data.size() / png.colour_channels; ++p) {
            for (int c = 0; c < png.colour_channels; ++c) {
                if (colour.data[p * png.colour_channels + c] != source.data[p * with_alpha + c]) ++mismatches;
            }
        }
        EXPECT_EQ(mismatches, 0u);
        if (png.soft_mask) {
            const auto mask = decode(next_file(), 1);
            std::size_t alpha_mismatches = 0;
            for (std::size_t p = 0; p < mask.data.size(); ++p) {
                if (mask.data[p] != source.data[p * with_alpha + with_alpha - 1]) ++alpha_mismatches;
            }
            EXPECT_EQ(alpha_mismatches, 0u);
        }
    }
}

TEST(PageModelImages, JpegBytesGoInUnchangedForEveryKind) {
    TempDir dir;
    struct JpegCase {
        std::string name;
        torvane_test::JpegRecipe recipe;
        std::string colour;
    };
    std::vector<JpegCase> cases{{"baseline", {40, 20, 3, false, 85, {}}, "rgb"},
                                {"grey", {40, 20, 1, false, 85, {}}, "gray"},
                                {"progressive", {40, 20, 3, true, 85, {}}, "rgb"},
                                {"cmyk", {40, 20, 4, false, 85, {}}, "cmyk"}};
    std::vector<fs::path> files;
    for (const auto& jpeg : cases) {
        files.push_back(dir / (jpeg.name + ".jpg"));
        write_file(files.back(), jpeg_bytes(jpeg.recipe));
    }
    const auto pdf = draw_images(dir, files);
    expect_clean_pdf(pdf);
    const auto rows = pdf_images(pdf);
    ASSERT_EQ(rows.size(), cases.size());
    const auto json = qpdf_json(pdf);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        EXPECT_EQ(rows[i].encoding, "jpeg");
        EXPECT_EQ(rows[i].color, cases[i].colour);
        EXPECT_EQ(rows[i].width, 40);
        const auto raw = run_tool("qpdf",
                                  {"--show-object=" + std::to_string(rows[i].object),
                                   "--raw-stream-data", pdf.string()},
                                  dir.path());
        EXPECT_TRUE(raw.out == read_file(files[i])) << "the embedded bytes differ from the file";
    }
    // Adobe CMYK JPEGs store inverted samples: the image says so with a Decode array.
    const auto& cmyk = json["qpdf"][1]["obj:" + std::to_string(rows[3].object) + " 0 R"];
    EXPECT_EQ(cmyk["stream"]["dict"]["/Decode"], nlohmann::json::parse("[1,0,1,0,1,0,1,0]"));
}

TEST(PageModelImages, BmpEmbedsWithAlphaWhenItHasOne) {
    TempDir dir;
    write_file(dir / "rgb.bmp", bmp_bytes(5, 3, 24));
    write_file(dir / "rgba.bmp", bmp_bytes(5, 3, 32));
    const auto rows = pdf_images(draw_images(dir, {dir / "rgb.bmp", dir / "rgba.bmp"}));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].color, "rgb");
    EXPECT_EQ(rows[1].type, "image");
    EXPECT_EQ(rows[2].type, "smask");
}

TEST(PageModelImages, AFileDrawnTwiceIsEmbeddedOnce) {
    TempDir dir;
    write_png(dir / "a.png", 8, 8);
    fs::create_directory(dir / "sub");
    const auto rows = pdf_images(draw_images(dir, {dir / "a.png", dir / "sub" / ".." / "a.png"}));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].object, rows[1].object);
}

TEST(PageModelImages, FilesThatCannotBeShownAreErrorsNamingTheFileAndTheReason) {
    TempDir dir;
    auto jpeg = jpeg_bytes({});
    auto with_frame = [&](unsigned char frame, unsigned char precision) {
        auto bytes = jpeg;
        const auto at = bytes.find("\xFF\xC0");
        bytes[at + 1] = static_cast<char>(frame);
        bytes[at + 4] = static_cast<char>(precision);
        return bytes;
    };
    auto png = png_bytes({});
    // An interlaced image whose header declares another height than its data holds.
    torvane_test::PngRecipe interlaced;
    interlaced.width = 13;
    interlaced.height = 11;
    interlaced.color_type = 6;
    interlaced.interlaced = true;
    const auto declaring = [&](std::uint32_t height) {
        auto bytes = png_bytes(interlaced);
        for (int i = 0; i < 4; ++i) bytes[20 + i] = static_cast<char>(height >> (24 - 8 * i));
        const auto crc = crc32(0, reinterpret_cast<const Bytef*>(bytes.data() + 12), 17);
        for (int i = 0; i < 4; ++i) bytes[29 + i] = static_cast<char>(crc >> (24 - 8 * i));
        return bytes;
    };
    const std::vector<std::tuple<std::string, std::string, std::string>> cases{
        {"cut_interlaced.png", declaring(40), "damaged or truncated PNG image data"},
        {"long_interlaced.png", declaring(5), "damaged or truncated PNG image data"},
        {"arithmetic.jpg", with_frame(0xC9, 8),
         "JPEG coding (frame type 0xC9: lossless, arithmetic or hierarchical) that PDF readers "
         "cannot show"},
        {"twelve.jpg", with_frame(0xC1, 12), "12-bit JPEG samples; PDF readers show 8-bit only"},
        {"short.png", png.substr(0, png.size() - 30), "truncated PNG file"},
        {"text.bmp", "hello", "not a PNG, JPEG or BMP image"},
        {"empty.png", "", "not a PNG, JPEG or BMP image"},
    };
    for (const auto& [name, bytes, reason] : cases) {
        write_file(dir / name, bytes);
        PageModel page;
        page.add_page();
        try {
            page.image(dir / name, 0, 0, 10, 10);
            ADD_FAILURE() << "no error for " << name;
        } catch (const helmkit::Error& error) {
            EXPECT_EQ(std::string(error.what()),
                      "cannot embed the image '" + (dir / name).string() + "': " + reason);
        }
    }
    PageModel page;
    page.add_page();
    EXPECT_THROW(page.image(dir / "missing.png", 0, 0, 10, 10), helmkit::Error);
}

TEST(PageModelLinks, TargetsSetLaterAreWrittenAndLinksWithoutTargetAreLeftOut) {
    TempDir dir;
    PageModel page;
    page.add_page();
    page.set_font("helvetica", "", 12);
    const int early = page.add_link();
    const int never = page.add_link();
    page.set_xy(20, 30);
    page.cell(50, 10, "to page 2", {Ln::next_line, Align::left, early});
    page.cell(50, 10, "nowhere", {Ln::next_line, Align::left, never});
    page.add_page();
    page.set_link(early, 123.5);
    EXPECT_THROW(page.set_link(never, 10, 3), helmkit::Error);
    EXPECT_THROW(page.set_link(99, 10, 1), helmkit::Error);
    page.output(dir / "links.pdf");
    const auto links = pdf_links(dir / "links.pdf");
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0].page, 1);
    EXPECT_NEAR(links[0].x_min, 20, 0.01);
    EXPECT_NEAR(links[0].x_max, 70, 0.01);
    EXPECT_NEAR(links[0].y_min, 30, 0.01);
    EXPECT_NEAR(links[0].y_max, 40, 0.01);
    EXPECT_EQ(links[0].target_page, 2);
    EXPECT_NEAR(links[0].target_y, 123.5, 0.01);
}

TEST(PageModelText, CellsAlignAndMoveThePositionAndMultiCellWraps) {
    TempDir dir;
    PageModel page;
    page.set_margins(15, 12, 15);
    page.add_page();
    EXPECT_EQ(page.page_no(), 1);
    EXPECT_DOUBLE_EQ(page.get_x(), 15);
    EXPECT_DOUBLE_EQ(page.get_y(), 12);
    page.set_font("Helvetica", "", 10);
    page.cell(40, 6, "left");
    EXPECT_DOUBLE_EQ(page.get_x(), 55);
    page.cell(0, 6, "right", {Ln::next_line, Align::right, 0});
    EXPECT_DOUBLE_EQ(page.get_x(), 15);
    EXPECT_DOUBLE_EQ(page.get_y(), 18);
    page.cell(0, 6, "middle", {Ln::below, Align::center, 0});
    EXPECT_DOUBLE_EQ(page.get_y(), 24);
    page.set_xy(30, 40);
    page.multi_cell(30, 5, "alpha beta gamma delta epsilonzetaetathetaiotakappa", Align::left);
    page.ln(2);
    page.output(dir / "text.pdf");

    const auto words = pdf_words(dir / "text.pdf");
    EXPECT_NEAR(find_word(words, "left").x_min, 16, 0.2);
    EXPECT_NEAR(find_word(words, "right").x_max, 194, 0.2);
    const auto middle = find_word(words, "middle");
    EXPECT_NEAR((middle.x_min + middle.x_max) / 2, 105, 0.2);
    // Every wrapped line fits 28 mm (30 less the cell margins), one line every 5 mm.
    std::vector<Word> wrapped;
    for (const auto& word : words) {
        if (word.y_min > 40) wrapped.push_back(word);
    }
    ASSERT_GE(wrapped.size(), 5u);
    double last_top = 0;
    for (const auto& word : wrapped) {
        EXPECT_GE(word.x_min, 30.9);
        EXPECT_LE(word.x_max, 59.1);
        if (word.y_min > last_top + 0.5) {
            if (last_top > 0) {
                EXPECT_NEAR(word.y_min - last_top, 5, 0.01);
            }
            last_top = word.y_min;
        }
    }
    std::string joined;
    for (const auto& word : wrapped) joined += word.text;
    EXPECT_EQ(joined, "alphabetagammadeltaepsilonzetaetathetaiotakappa");
    EXPECT_THROW(page.set_font("times", "", 10), helmkit::Error);
    EXPECT_THROW(page.set_font("helvetica", "X", 10), helmkit::Error);
}

#endif
