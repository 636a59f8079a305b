#include "hpdf_document.hpp"

#include <hpdf_doc.h>

#include <cstring>
#include <fmt/format.h>
#include <utility>

#include "helmkit/base/error.hpp"

namespace torvane::figdeck {

HpdfDocument::HpdfDocument() : m_failure(std::make_unique<Failure>()) {
    m_doc = HPDF_New(&HpdfDocument::on_error, m_failure.get());
    if (m_doc == nullptr) throw helmkit::Error("cannot create a PDF document: out of memory");
    // Soft masks need PDF 1.4; libharu would otherwise announce 1.3.
    m_doc->pdf_version = HPDF_VER_14;
    HPDF_SetCompressionMode(m_doc, HPDF_COMP_TEXT | HPDF_COMP_METADATA);
    check("cannot set up the PDF document");
}

HpdfDocument::~HpdfDocument() {
    if (m_doc != nullptr) HPDF_Free(m_doc);
}

HpdfDocument::HpdfDocument(HpdfDocument&& other) noexcept
    : m_failure(std::move(other.m_failure)), m_doc(std::exchange(other.m_doc, nullptr)) {}

void HpdfDocument::on_error(HPDF_STATUS error, HPDF_STATUS detail, void* user_data) {
    auto* failure = static_cast<Failure*>(user_data);
    if (failure->error == HPDF_OK) *failure = {error, detail};
}

void HpdfDocument::check(std::string_view what) {
    if (m_failure->error == HPDF_OK) return;
    const auto failure = std::exchange(*m_failure, Failure{});
    HPDF_ResetError(m_doc);
    throw helmkit::Error(std::string(what) + ": " +
                         describe_hpdf_error(failure.error, failure.detail));
}

std::string describe_hpdf_error(HPDF_STATUS error, HPDF_STATUS detail) {
    switch (error) {
    case HPDF_FAILD_TO_ALLOC_MEM: return "out of memory";
    case HPDF_FILE_IO_ERROR: return std::strerror(static_cast<int>(detail));
    case HPDF_FILE_OPEN_ERROR: return std::strerror(static_cast<int>(detail));
    case HPDF_INVALID_TTC_FILE:
    case HPDF_TTF_INVALID_CMAP:
    case HPDF_TTF_INVALID_FOMAT:
    case HPDF_TTF_MISSING_TABLE: return "not a usable TrueType font";
    case HPDF_INVALID_IMAGE: return "not a usable image";
    default: return fmt::format("PDF library error 0x{:04X} (detail {})", error, detail);
    }
}

}  // namespace torvane::figdeck
