// figdeck's image embedding, from the file's bytes to the saved PDF objects. Built once per
// format (FUZZ_IMAGE_SIGNATURE): inputs of another format are left out, so each target spends
// its time on one decoder.
#include <hpdf.h>

#include <cstdint>
#include <string_view>

#include "fuzz_input.hpp"
#include "helmkit/base/error.hpp"
#include "hpdf_document.hpp"
#include "pdf_images.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr std::string_view signature(FUZZ_IMAGE_SIGNATURE, sizeof(FUZZ_IMAGE_SIGNATURE) - 1);
    const auto bytes = torvane_fuzz::as_text(data, size);
    if (bytes.substr(0, signature.size()) != signature) return -1;
    const auto path = torvane_fuzz::scratch_file("image", bytes);
    try {
        torvane::figdeck::HpdfDocument doc;
        torvane::figdeck::PdfImages images(doc);
        const auto image = images.embed(path);
        HPDF_Page page = HPDF_AddPage(doc.get());
        HPDF_Page_DrawImage(page, image, 0, 0, 100, 100);
        // The image bytes are read again from the file while the document is written.
        HPDF_SaveToStream(doc.get());
        images.rethrow_write_failure();
        doc.check("cannot save the document");
    } catch (const helmkit::Error&) {
    }
    return 0;
}
