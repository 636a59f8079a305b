#pragma once

#include <hpdf.h>

#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <unordered_map>

#include "hpdf_document.hpp"
#include "image_source.hpp"

namespace torvane::figdeck {

// Turns image files into PDF image objects, each file once. A file is checked whole when it is
// first drawn, but its bytes are copied (or decoded again) from the file only while the PDF is
// written, so a report holds no image in memory. JPEG bytes go in unchanged (DCT); PNG rows
// without alpha go in as they are compressed (Flate with the PNG predictor); PNG with alpha or
// interlacing and BMP are decoded and compressed, alpha as a soft mask.
class PdfImages {
public:
    explicit PdfImages(HpdfDocument& doc) : m_doc(doc) {}

    // Returns the image object of the file at `path`, embedding it on first use. The format
    // comes from the file's content, not its name. Throws helmkit::Error "cannot embed the
    // image '<path>': <reason>".
    HPDF_Image embed(const std::filesystem::path& path);

    // Throws the first failure to copy an image's bytes while the PDF was written, if any:
    // "cannot embed the image '<path>': <reason>".
    void rethrow_write_failure();

private:
    struct Checked;
    HPDF_Image embed_file(const Checked& file);
    HPDF_Image embed_jpeg(const Checked& file);
    HPDF_Image embed_png(const Checked& file);
    HPDF_Image embed_decoded(const Checked& file, ImageKind kind, int wanted_channels);
    void attach(HPDF_Dict image, const std::filesystem::path& path,
                std::unique_ptr<StreamSource> source);

    HpdfDocument& m_doc;
    std::unordered_map<std::string, HPDF_Image> m_embedded;
    std::exception_ptr m_write_failure;
};

}  // namespace torvane::figdeck
