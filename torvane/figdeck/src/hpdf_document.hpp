#pragma once

#include <hpdf.h>

#include <memory>
#include <string>
#include <string_view>

namespace torvane::figdeck {

// Owns one libharu document. libharu reports failures through a callback; the owner keeps
// the first one and check() turns it into a helmkit::Error, so no C frame is unwound.
class HpdfDocument {
public:
    // Creates an empty document (PDF 1.4, for soft masks). Throws helmkit::Error on failure.
    HpdfDocument();
    ~HpdfDocument();
    HpdfDocument(const HpdfDocument&) = delete;
    HpdfDocument& operator=(const HpdfDocument&) = delete;
    HpdfDocument(HpdfDocument&& other) noexcept;
    HpdfDocument& operator=(HpdfDocument&&) = delete;

    HPDF_Doc get() const { return m_doc; }

    // Throws helmkit::Error "<what>: <libharu's reason>" when libharu reported a failure
    // since the last check, and clears it.
    void check(std::string_view what);

    struct Failure {
        HPDF_STATUS error = HPDF_OK;
        HPDF_STATUS detail = 0;
    };

private:
    static void on_error(HPDF_STATUS error, HPDF_STATUS detail, void* user_data);

    std::unique_ptr<Failure> m_failure;
    HPDF_Doc m_doc = nullptr;
};

// Returns the text of a libharu error code.
std::string describe_hpdf_error(HPDF_STATUS error, HPDF_STATUS detail);

}  // namespace torvane::figdeck
