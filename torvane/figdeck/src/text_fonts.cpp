#include "text_fonts.hpp"

#include <hpdf_doc.h>
#include <hpdf_objects.h>
#include <stb_truetype.h>

#include <fmt/format.h>

#include <vector>

#include "helmkit/base/app_logging.hpp"
#include "helmkit/base/error.hpp"
#include "helmkit/files/file_mg.hpp"
#include "helmkit/text/utf8.hpp"

namespace torvane::figdeck {

namespace {

const char* const k_font_dir = "/usr/share/fonts/truetype/dejavu/";
// Index: bit 0 bold, bit 1 italic.
const std::array<const char*, 4> k_helvetica_names{"Helvetica", "Helvetica-Bold",
                                                   "Helvetica-Oblique", "Helvetica-BoldOblique"};
const std::array<const char*, 4> k_dejavu_files{"DejaVuSans.ttf", "DejaVuSans-Bold.ttf",
                                                "DejaVuSans-Oblique.ttf",
                                                "DejaVuSans-BoldOblique.ttf"};

// Windows-1252 bytes 0x80 to 0x9F; 0 where the code page has no character.
const std::array<char32_t, 32> k_cp1252_high{
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// Returns the Windows-1252 byte of `c`, or 0 when the code page has none.
unsigned char cp1252_byte(char32_t c) {
    if ((c >= 0x20 && c < 0x7F) || (c >= 0xA0 && c <= 0xFF)) return static_cast<unsigned char>(c);
    for (std::size_t i = 0; i < k_cp1252_high.size(); ++i) {
        if (k_cp1252_high[i] == c && c != 0) return static_cast<unsigned char>(0x80 + i);
    }
    return 0;
}

bool is_control(char32_t c) { return c < 0x20 || (c >= 0x7F && c < 0xA0); }

int style_index(bool bold, bool italic) { return (bold ? 1 : 0) | (italic ? 2 : 0); }

// A ToUnicode map for fonts whose codes are the UTF-16 code units of the text, as libharu's
// UTF-8 encoding writes them: every code maps to itself.
std::string identity_to_unicode_cmap() {
    std::vector<std::string> ranges;
    for (unsigned high = 0; high <= 0xFF; ++high) {
        if (high >= 0xD8 && high <= 0xDF) continue;  // surrogates are no characters
        ranges.push_back(fmt::format("<{0:02X}00> <{0:02X}FF> <{0:02X}00>\n", high));
    }
    std::string cmap =
        "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
        "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
        "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
        "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
    // A block holds at most 100 ranges.
    for (std::size_t start = 0; start < ranges.size(); start += 100) {
        const std::size_t end = std::min(ranges.size(), start + 100);
        cmap += fmt::format("{} beginbfrange\n", end - start);
        for (std::size_t i = start; i < end; ++i) cmap += ranges[i];
        cmap += "endbfrange\n";
    }
    cmap += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
    return cmap;
}

}  // namespace

struct TextFonts::UnicodeFont {
    HPDF_Font font = nullptr;
    std::string data;  // the font file, kept for stb_truetype's glyph look-ups
    stbtt_fontinfo info{};

    bool has_glyph(char32_t c) const {
        // libharu's UTF-8 encoding writes one UTF-16 unit per character.
        if (c > 0xFFFF) return false;
        return stbtt_FindGlyphIndex(&info, static_cast<int>(c)) != 0;
    }
};

TextFonts::TextFonts(HpdfDocument& doc) : m_doc(doc) {}

TextFonts::~TextFonts() = default;

TextFonts::UnicodeFont* TextFonts::unicode_font(int style) {
    if (m_unicode_tried[style]) return m_unicode[style].get();
    m_unicode_tried[style] = true;
    const std::string path = std::string(k_font_dir) + k_dejavu_files[style];
    auto font = std::make_unique<UnicodeFont>();
    try {
        font->data = helmkit::fileMg::read_file(path);
        const auto* bytes = reinterpret_cast<const unsigned char*>(font->data.data());
        if (stbtt_InitFont(&font->info, bytes, stbtt_GetFontOffsetForIndex(bytes, 0)) == 0) {
            throw helmkit::Error("'" + path + "' is not a TrueType font");
        }
        if (!m_utf_encodings) {
            HPDF_UseUTFEncodings(m_doc.get());
            m_utf_encodings = true;
        }
        const char* name = HPDF_LoadTTFontFromFile(m_doc.get(), path.c_str(), HPDF_TRUE);
        m_doc.check("cannot load the font '" + path + "'");
        font->font = HPDF_GetFont(m_doc.get(), name, "UTF-8");
        m_doc.check("cannot load the font '" + path + "'");
    } catch (const helmkit::Error& error) {
        helmkit::app_logging::lazy_logger("Figdeck").warning(
            std::string(error.what()) + "; characters outside Windows-1252 are drawn as '?'");
        return nullptr;
    }
    m_unicode[style] = std::move(font);
    return m_unicode[style].get();
}

void TextFonts::warn_missing(char32_t c) {
    if (!m_warned.insert(c).second) return;
    helmkit::app_logging::lazy_logger("Figdeck").warning(
        fmt::format("no font has the character U+{:04X}; it is drawn as '?'",
                    static_cast<std::uint32_t>(c)));
}

std::string TextFonts::replace_missing(const std::u32string& text, const UnicodeFont* font) {
    std::u32string shown;
    shown.reserve(text.size());
    for (const char32_t c : text) {
        if (font != nullptr ? font->has_glyph(c) : cp1252_byte(c) != 0) {
            shown.push_back(c);
        } else {
            warn_missing(c);
            shown.push_back(U'?');
        }
    }
    return helmkit::encode_utf8(shown);
}

PreparedText TextFonts::prepare(std::string_view utf8, bool bold, bool italic) {
    const int style = style_index(bold, italic);
    auto text = helmkit::decode_utf8(utf8, U'\uFFFD');
    bool fits_cp1252 = true;
    for (auto& c : text) {
        if (is_control(c)) c = U' ';
        if (cp1252_byte(c) == 0) fits_cp1252 = false;
    }
    if (!fits_cp1252) {
        if (auto* font = unicode_font(style)) return {font->font, replace_missing(text, font)};
    }
    if (m_helvetica[style] == nullptr) {
        m_helvetica[style] = HPDF_GetFont(m_doc.get(), k_helvetica_names[style], "WinAnsiEncoding");
        try {
            m_doc.check("cannot use the font Helvetica");
        } catch (const helmkit::Error& error) {
            // The standard fonts are built into libharu; this cannot happen short of memory.
            helmkit::app_logging::lazy_logger("Figdeck").warning(error.what());
        }
    }
    PreparedText prepared{m_helvetica[style], {}};
    prepared.bytes.reserve(text.size());
    for (const char32_t c : text) {
        const unsigned char byte = cp1252_byte(c);
        if (byte == 0) warn_missing(c);
        prepared.bytes.push_back(static_cast<char>(byte == 0 ? '?' : byte));
    }
    return prepared;
}

double TextFonts::width(const PreparedText& text, double size) {
    if (text.font == nullptr || text.bytes.empty()) return 0;
    const auto measured = HPDF_Font_TextWidth(
        text.font, reinterpret_cast<const HPDF_BYTE*>(text.bytes.data()),
        static_cast<HPDF_UINT>(text.bytes.size()));
    return measured.width * size / 1000.0;
}

void TextFonts::finish() {
    static const std::string cmap = identity_to_unicode_cmap();
    for (const auto& font : m_unicode) {
        if (!font) continue;
        HPDF_Dict to_unicode = HPDF_DictStream_New(m_doc.get()->mmgr, m_doc.get()->xref);
        if (to_unicode == nullptr) break;
        to_unicode->filter = HPDF_STREAM_FILTER_FLATE_DECODE;
        HPDF_Stream_Write(to_unicode->stream, reinterpret_cast<const HPDF_BYTE*>(cmap.data()),
                          static_cast<HPDF_UINT>(cmap.size()));
        HPDF_Dict_Add(font->font, "ToUnicode", to_unicode);
    }
    try {
        m_doc.check("cannot finish the embedded fonts");
    } catch (const helmkit::Error& error) {
        helmkit::app_logging::lazy_logger("Figdeck").warning(error.what());
    }
}

}  // namespace torvane::figdeck
