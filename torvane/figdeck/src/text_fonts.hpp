#pragma once

#include <hpdf.h>

#include <array>
#include <memory>
#include <set>
#include <string>
#include <string_view>

#include "hpdf_document.hpp"

namespace torvane::figdeck {

// Text ready for libharu: the font to draw it in and the bytes in that font's encoding.
struct PreparedText {
    HPDF_Font font = nullptr;
    std::string bytes;
};

// Chooses the font for each text. Text that Windows-1252 holds is drawn in the standard
// Helvetica (not embedded); other text in DejaVu Sans from fonts-dejavu-core, embedded once
// per style when first needed. Characters that the chosen font lacks become "?", each
// logged once as a warning. Control characters become blanks. Never throws.
class TextFonts {
public:
    explicit TextFonts(HpdfDocument& doc);
    ~TextFonts();
    TextFonts(const TextFonts&) = delete;
    TextFonts& operator=(const TextFonts&) = delete;

    // Returns `utf8` prepared for drawing in the given style.
    PreparedText prepare(std::string_view utf8, bool bold, bool italic);
    // Returns the width in points of `text` at `size` points.
    static double width(const PreparedText& text, double size);
    // Gives the embedded fonts a correct ToUnicode map (libharu writes one that readers
    // reject), so that their text can be searched and copied. Call once before saving.
    void finish();

private:
    struct UnicodeFont;
    UnicodeFont* unicode_font(int style);
    std::string replace_missing(const std::u32string& text, const UnicodeFont* font);
    void warn_missing(char32_t c);

    HpdfDocument& m_doc;
    std::array<HPDF_Font, 4> m_helvetica{};
    std::array<std::unique_ptr<UnicodeFont>, 4> m_unicode;
    std::array<bool, 4> m_unicode_tried{};
    bool m_utf_encodings = false;
    std::set<char32_t> m_warned;
};

}  // namespace torvane::figdeck
