// Saving a PageModel: the links and outline, then the PDF bytes through one atomic file.
#include <hpdf.h>
#include <hpdf_doc.h>
#include <hpdf_streams.h>

#include <cstdint>
#include <exception>
#include <fstream>
#include <utility>

#include "helmkit/base/error.hpp"
#include "helmkit/files/atomic_file.hpp"
#include "page_model_state.hpp"

namespace torvane::figdeck {

namespace {

constexpr std::size_t k_output_buffer = 1 << 20;
// libharu counts the bytes of a document, and writes its object offsets, in 32 bits.
constexpr std::uint64_t k_max_pdf_bytes = 0xFFFFFFFFu;

// Collects libharu's small writes and hands them to the output file a mebibyte at a time.
struct BufferedOutput {
    helmkit::AtomicFile& file;
    std::string buffer;
    std::exception_ptr failure;
    std::uint64_t total = 0;

    void flush() {
        file.write(buffer);
        buffer.clear();
    }

    static HPDF_STATUS write(HPDF_Stream stream, const HPDF_BYTE* data, HPDF_UINT size) {
        auto* self = static_cast<BufferedOutput*>(stream->attr);
        if (self->failure) return HPDF_FILE_IO_ERROR;
        self->total += size;
        if (self->total > k_max_pdf_bytes) {
            self->failure = std::make_exception_ptr(helmkit::Error(
                "the report would be larger than 4 GiB, the most its PDF writer can address; "
                "split it into several reports"));
            return HPDF_FILE_IO_ERROR;
        }
        self->buffer.append(reinterpret_cast<const char*>(data), size);
        if (self->buffer.size() >= k_output_buffer) {
            // An exception must not cross libharu's C frames: keep it for after the save.
            try {
                self->flush();
            } catch (...) {
                self->failure = std::current_exception();
                return HPDF_FILE_IO_ERROR;
            }
        }
        return HPDF_OK;
    }
};

}  // namespace

void PageModel::output(const std::filesystem::path& path) {
    auto& d = *m_impl;
    if (d.pages.empty()) add_page();
    if (!d.saved) {
        d.write_links();
        d.write_bookmarks();
        d.fonts.finish();
        d.saved = true;
    }
    // Made first: it refuses a device or a FIFO, which the check below would open and wait on.
    helmkit::AtomicFile file(path);
    // The report goes into the image folder: never let a badly chosen name replace an input.
    std::ifstream existing(path, std::ios::binary);
    char magic[5] = {};
    if (existing && std::filesystem::is_regular_file(path) &&
        !(existing.read(magic, sizeof magic) && std::string_view(magic, 5) == "%PDF-")) {
        throw helmkit::Error("refusing to replace '" + path.string() + "': it is not a PDF file");
    }
    existing.close();
    BufferedOutput output{file, {}, nullptr};
    HPDF_Doc pdf = d.doc.get();
    // libharu's own file writer makes one system call per 4 KiB; a document of large images
    // is written several times faster through a large buffer.
    pdf->stream = HPDF_CallbackWriter_New(pdf->mmgr, &BufferedOutput::write, &output);
    d.doc.check("cannot write '" + path.string() + "'");
    HPDF_SaveToStream(pdf);
    HPDF_Stream_Free(std::exchange(pdf->stream, nullptr));
    d.images.rethrow_write_failure();
    if (output.failure) std::rethrow_exception(output.failure);
    d.doc.check("cannot write '" + path.string() + "'");
    output.flush();
    file.commit();
}

}  // namespace torvane::figdeck
