// Image data copied from the source files while the PDF is written: the output must stay the
// same, byte for byte, as when every image was held in memory until the save.
#if FIGDECK_HAS_PDF_LIBS

#include <gtest/gtest.h>

#include "helmkit/base/error.hpp"
#include "helmkit/files/file_mg.hpp"
#include "test_support.hpp"
#include "torvane/figdeck/page_model.hpp"

using namespace torvane_test;
using torvane::figdeck::PageModel;

namespace {

const fs::path k_fixtures = source_dir() / "tests" / "fixtures" / "figdeck";

// Every fixture image (JPEG of each kind, PNG of each kind, BMP) in a grid on two pages, the
// first one drawn again at the end.
fs::path draw_fixture_images(const fs::path& out_dir) {
    const auto listing =
        helmkit::fileMg::find_files_with_extensions(k_fixtures / "images", {"png", "jpg", "bmp"});
    PageModel page;
    page.add_page();
    for (std::size_t i = 0; i < listing.paths.size(); ++i) {
        if (i == 12) page.add_page();
        const auto slot = i % 12;
        page.image(listing.paths[i], 15 + 60.0 * static_cast<double>(slot % 3),
                   20 + 65.0 * static_cast<double>(slot / 3), 50, 40);
    }
    page.image(listing.paths.front(), 15, 200, 20, 20);
    const auto pdf = out_dir / "fixture.pdf";
    page.output(pdf);
    return pdf;
}

}  // namespace

TEST(PageModelStreamedImages, OutputIsByteIdenticalToTheInMemoryWriter) {
    TempDir dir;
    const auto pdf = draw_fixture_images(dir.path());
    // reference.pdf was written by the writer that held every image in memory until the save.
    const auto reference = read_file(k_fixtures / "reference.pdf");
    EXPECT_TRUE(read_file(pdf) == reference) << pdf << " differs from " << k_fixtures / "reference.pdf";
}

TEST(PageModelStreamedImages, AnImageChangedOrRemovedBeforeTheSaveFailsItNamingTheFile) {
    TempDir dir;
    for (const auto* name : {"Result_jpeg_rgb.jpg", "Result_png_rgb8.png", "Result_png_rgba8.png"}) {
        SCOPED_TRACE(name);
        const auto image = dir / name;
        fs::copy_file(k_fixtures / "images" / name, image, fs::copy_options::overwrite_existing);
        for (const bool remove : {false, true}) {
            PageModel page;
            page.add_page();
            page.image(image, 10, 10, 50, 40);
            if (remove) {
                fs::remove(image);
            } else {
                write_file(image, read_file(image) + "more");
            }
            const auto pdf = dir / "changed.pdf";
            try {
                page.output(pdf);
                ADD_FAILURE() << "no error";
            } catch (const helmkit::Error& error) {
                const std::string reason = remove ? "cannot read '" + image.string() + "': No such file or directory"
                                                  : "the file changed while the report was being made";
                EXPECT_EQ(std::string(error.what()),
                          "cannot embed the image '" + image.string() + "': " + reason);
            }
            EXPECT_FALSE(fs::exists(pdf));
            fs::copy_file(k_fixtures / "images" / name, image, fs::copy_options::overwrite_existing);
        }
    }
    EXPECT_EQ(folder_names(dir.path()),
              (std::vector<std::string>{"Result_jpeg_rgb.jpg", "Result_png_rgb8.png", "Result_png_rgba8.png"}));
}

#endif
