#pragma once

#include <hpdf.h>

#include <filesystem>
#include <string>
#include <unordered_map>

#include "hpdf_document.hpp"

namespace torvane::figdeck {

// Turns image files into PDF image objects, each file once. JPEG bytes go in unchanged
// (DCT); PNG rows without alpha go in as they are compressed (Flate with the PNG predictor);
// PNG with alpha or interlacing and BMP are decoded and compressed, alpha as a soft mask.
class PdfImages {
public:
    explicit PdfImages(HpdfDocument& doc) : m_doc(doc) {}

    // Returns the image object of the file at `path`, embedding it on first use. The format
    // comes from the file's content, not its name. Throws helmkit::Error "cannot embed the
    // image '<path>': <reason>".
    HPDF_Image embed(const std::filesystem::path& path);

private:
    HPDF_Image embed_file(std::string data);
    HPDF_Image embed_jpeg(std::string data);
    HPDF_Image embed_png(const std::string& data);
    HPDF_Image embed_decoded(const std::string& data, int wanted_channels);

    HpdfDocument& m_doc;
    std::unordered_map<std::string, HPDF_Image> m_embedded;
};

}  // namespace torvane::figdeck
