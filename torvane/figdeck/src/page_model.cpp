#include "torvane/figdeck/page_model.hpp"

#include <hpdf.h>
#include <hpdf_doc.h>
#include <hpdf_objects.h>
#include <hpdf_streams.h>

#include <algorithm>
#include <exception>
#include <utility>
#include <cctype>
#include <fstream>
#include <vector>

#include "helmkit/base/app_logging.hpp"
#include "helmkit/files/atomic_file.hpp"
#include "helmkit/base/error.hpp"
#include "helmkit/text/utf8.hpp"
#include "hpdf_document.hpp"
#include "pdf_images.hpp"
#include "text_fonts.hpp"

namespace torvane::figdeck {

namespace {

constexpr double k_points_per_mm = 72.0 / 25.4;
constexpr double k_page_w = 210;
constexpr double k_page_h = 297;
// Space between a cell's border and its text.
constexpr double k_cell_margin = 1;
constexpr double k_line_width = 0.2;
constexpr std::size_t k_output_buffer = 1 << 20;
// libharu counts the bytes of a document, and writes its object offsets, in 32 bits.
constexpr std::uint64_t k_max_pdf_bytes = 0xFFFFFFFFu;
// Underline position and thickness in thousandths of the font size (Helvetica's metrics).
constexpr double k_underline_position = 100;
constexpr double k_underline_thickness = 50;

struct Rgb {
    double r = 0;
    double g = 0;
    double b = 0;
};

Rgb rgb_of(int red, int green, int blue) {
    auto level = [](int value) { return std::clamp(value, 0, 255) / 255.0; };
    return {level(red), level(green), level(blue)};
}

struct Font {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    double size = 12;
};

// A link drawn before its target is known; written when the document is saved.
struct PendingLink {
    int page = 0;  // 1-based
    double x = 0;
    double y = 0;
    double w = 0;
    double h = 0;
    int link = 0;
};

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

struct LinkTarget {
    int page = 0;  // 0: no target yet
    double y = 0;
};

struct Bookmark {
    std::string title;
    int link = 0;
};

bool is_ascii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// A PDF text string in UTF-16BE with its byte order mark, for titles beyond ASCII.
std::string utf16_text_string(std::string_view utf8) {
    std::string out = "\xFE\xFF";
    const auto put = [&](std::uint32_t unit) {
        out.push_back(static_cast<char>(unit >> 8));
        out.push_back(static_cast<char>(unit & 0xFF));
    };
    for (const char32_t c : helmkit::decode_utf8(utf8, U'\uFFFD')) {
        if (c < 0x10000) {
            put(c);
        } else {
            put(0xD800 + ((c - 0x10000) >> 10));
            put(0xDC00 + ((c - 0x10000) & 0x3FF));
        }
    }
    return out;
}

}  // namespace

struct PageModel::Impl {
    HpdfDocument doc;
    TextFonts fonts{doc};
    PdfImages images{doc};
    std::vector<HPDF_Page> pages;
    double left = 10;
    double top = 10;
    double right = 10;
    bool auto_break = true;
    double break_margin = 20;
    double x = 10;
    double y = 10;
    Font font;
    Rgb text_colour;
    Rgb draw_colour;
    std::vector<LinkTarget> links;  // index: link id - 1
    std::vector<PendingLink> pending_links;
    std::vector<Bookmark> bookmarks;
    bool saved = false;

    HPDF_Page page() const { return pages.empty() ? nullptr : pages.back(); }
    static double pt(double mm) { return mm * k_points_per_mm; }
    static double pdf_y(double mm) { return (k_page_h - mm) * k_points_per_mm; }

    PreparedText prepare(std::string_view text) {
        return fonts.prepare(text, font.bold, font.italic);
    }
    double width_mm(const PreparedText& text) const {
        return TextFonts::width(text, font.size) / k_points_per_mm;
    }

    // Draws prepared text with its baseline at `baseline` (mm from the top).
    void draw_text(const PreparedText& text, double at_x, double baseline) {
        HPDF_Page p = page();
        if (p == nullptr || text.bytes.empty() || text.font == nullptr) return;
        HPDF_Page_SetRGBFill(p, text_colour.r, text_colour.g, text_colour.b);
        HPDF_Page_BeginText(p);
        HPDF_Page_SetFontAndSize(p, text.font, static_cast<HPDF_REAL>(font.size));
        HPDF_Page_TextOut(p, static_cast<HPDF_REAL>(pt(at_x)),
                          static_cast<HPDF_REAL>(pdf_y(baseline)), text.bytes.c_str());
        HPDF_Page_EndText(p);
        if (font.underline) {
            const double offset = k_underline_position / 1000 * font.size;
            const double thickness = k_underline_thickness / 1000 * font.size;
            HPDF_Page_Rectangle(p, static_cast<HPDF_REAL>(pt(at_x)),
                                static_cast<HPDF_REAL>(pdf_y(baseline) - offset - thickness),
                                static_cast<HPDF_REAL>(pt(width_mm(text))),
                                static_cast<HPDF_REAL>(thickness));
            HPDF_Page_Fill(p);
        }
        // Text never throws; a failure here would come from libharu's own state.
        try {
            doc.check("cannot draw text");
        } catch (const helmkit::Error& error) {
            helmkit::app_logging::lazy_logger("Figdeck").warning(error.what());
        }
    }

    // [page /XYZ left top null]: keep the reader's zoom, which libharu cannot write.
    HPDF_Destination destination_of(const LinkTarget& target) {
        HPDF_Page target_page = pages[static_cast<std::size_t>(target.page - 1)];
        HPDF_Destination destination = HPDF_Page_CreateDestination(target_page);
        HPDF_Array_Clear(destination);
        HPDF_Array_Add(destination, target_page);
        HPDF_Array_AddName(destination, "XYZ");
        HPDF_Array_AddReal(destination, 0);
        HPDF_Array_AddReal(destination, static_cast<HPDF_REAL>(pdf_y(target.y)));
        HPDF_Array_Add(destination, HPDF_Null_New(doc.get()->mmgr));
        return destination;
    }

    void write_bookmarks() {
        bool any = false;
        for (const auto& bookmark : bookmarks) {
            const auto& target = links[static_cast<std::size_t>(bookmark.link - 1)];
            if (target.page == 0) continue;
            HPDF_Outline outline = HPDF_CreateOutline(doc.get(), nullptr, "", nullptr);
            doc.check("cannot write the bookmarks");
            if (is_ascii(bookmark.title)) {
                HPDF_Dict_Add(outline, "Title",
                              HPDF_String_New(doc.get()->mmgr, bookmark.title.c_str(), nullptr));
            } else {
                const auto title = utf16_text_string(bookmark.title);
                HPDF_Dict_Add(outline, "Title",
                              HPDF_Binary_New(doc.get()->mmgr,
                                              reinterpret_cast<HPDF_BYTE*>(
                                                  const_cast<char*>(title.data())),
                                              static_cast<HPDF_UINT>(title.size())));
            }
            HPDF_Outline_SetDestination(outline, destination_of(target));
            any = true;
        }
        // A viewer then opens the report with its bookmarks shown.
        if (any) HPDF_SetPageMode(doc.get(), HPDF_PAGE_MODE_USE_OUTLINE);
        doc.check("cannot write the bookmarks");
    }

    void write_links() {
        for (const auto& pending : pending_links) {
            const auto& target = links[static_cast<std::size_t>(pending.link - 1)];
            if (target.page == 0) continue;
            HPDF_Destination destination = destination_of(target);
            const HPDF_Rect rect{static_cast<HPDF_REAL>(pt(pending.x)),
                                 static_cast<HPDF_REAL>(pdf_y(pending.y + pending.h)),
                                 static_cast<HPDF_REAL>(pt(pending.x + pending.w)),
                                 static_cast<HPDF_REAL>(pdf_y(pending.y))};
            HPDF_Annotation annotation = HPDF_Page_CreateLinkAnnot(
                pages[static_cast<std::size_t>(pending.page - 1)], rect, destination);
            HPDF_LinkAnnot_SetBorderStyle(annotation, 0, 0, 0);
        }
        doc.check("cannot write the links");
    }
};

PageModel::PageModel() : m_impl(std::make_unique<Impl>()) {}

PageModel::~PageModel() = default;

void PageModel::set_auto_page_break(bool on, double margin) {
    m_impl->auto_break = on;
    m_impl->break_margin = margin;
}

void PageModel::set_margins(double left, double top, double right) {
    m_impl->left = left;
    m_impl->top = top;
    m_impl->right = right;
}

void PageModel::add_page() {
    auto& d = *m_impl;
    HPDF_Page page = HPDF_AddPage(d.doc.get());
    d.doc.check("cannot add a page");
    HPDF_Page_SetSize(page, HPDF_PAGE_SIZE_A4, HPDF_PAGE_PORTRAIT);
    HPDF_Page_SetLineWidth(page, static_cast<HPDF_REAL>(Impl::pt(k_line_width)));
    d.doc.check("cannot set up a page");
    d.pages.push_back(page);
    d.x = d.left;
    d.y = d.top;
    const Font font = d.font;
    const Rgb text_colour = d.text_colour;
    const Rgb draw_colour = d.draw_colour;
    header();
    d.font = font;
    d.text_colour = text_colour;
    d.draw_colour = draw_colour;
}

int PageModel::page_no() const { return static_cast<int>(m_impl->pages.size()); }

void PageModel::set_font(std::string_view family, std::string_view style, double size) {
    std::string lower;
    for (const char c : family) lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    if (lower != "helvetica") {
        throw helmkit::Error("unknown font family '" + std::string(family) + "'");
    }
    Font font;
    font.size = size;
    for (const char c : style) {
        switch (std::toupper(static_cast<unsigned char>(c))) {
        case 'B': font.bold = true; break;
        case 'I': font.italic = true; break;
        case 'U': font.underline = true; break;
        default: throw helmkit::Error("unknown font style '" + std::string(style) + "'");
        }
    }
    m_impl->font = font;
}

void PageModel::set_text_color(int grey) { m_impl->text_colour = rgb_of(grey, grey, grey); }

void PageModel::set_text_color(int red, int green, int blue) {
    m_impl->text_colour = rgb_of(red, green, blue);
}

void PageModel::set_draw_color(int grey) { m_impl->draw_colour = rgb_of(grey, grey, grey); }

void PageModel::set_draw_color(int red, int green, int blue) {
    m_impl->draw_colour = rgb_of(red, green, blue);
}

void PageModel::cell(double w, double h, std::string_view text, CellOptions options) {
    auto& d = *m_impl;
    if (d.auto_break && !d.pages.empty() && d.y + h > k_page_h - d.break_margin) {
        const double x = d.x;
        add_page();
        d.x = x;
    }
    if (w == 0) w = k_page_w - d.right - d.x;
    if (!text.empty()) {
        const auto prepared = d.prepare(text);
        const double text_w = d.width_mm(prepared);
        double text_x = d.x + k_cell_margin;
        if (options.align == Align::right) text_x = d.x + w - k_cell_margin - text_w;
        if (options.align == Align::center) text_x = d.x + (w - text_w) / 2;
        // Cap height sits in the middle of the box: 0.3 of the font size below the centre.
        const double baseline = d.y + h / 2 + 0.3 * d.font.size / k_points_per_mm;
        d.draw_text(prepared, text_x, baseline);
    }
    if (options.link != 0 && !d.pages.empty()) {
        d.pending_links.push_back({page_no(), d.x, d.y, w, h, options.link});
    }
    switch (options.ln) {
    case Ln::right: d.x += w; break;
    case Ln::next_line:
        d.x = d.left;
        d.y += h;
        break;
    case Ln::below: d.y += h; break;
    }
}

void PageModel::multi_cell(double w, double h, std::string_view text, Align align) {
    auto& d = *m_impl;
    if (w == 0) w = k_page_w - d.right - d.x;
    const double room = w - 2 * k_cell_margin;
    const auto width_of = [&](const std::u32string& part) {
        return d.width_mm(d.prepare(helmkit::encode_utf8(part)));
    };
    // Break into lines: at line feeds, else after the last blank that fits, else inside the
    // word when it alone is too wide.
    std::vector<std::u32string> lines;
    const auto chars = helmkit::decode_utf8(text, U'\uFFFD');
    std::u32string line;
    std::size_t i = 0;
    while (i <= chars.size()) {
        if (i == chars.size() || chars[i] == U'\n') {
            lines.push_back(line);
            line.clear();
            ++i;
            continue;
        }
        line.push_back(chars[i]);
        if (width_of(line) > room && line.size() > 1) {
            const auto blank = line.find_last_of(U' ');
            if (blank != std::u32string::npos && blank > 0) {
                lines.push_back(line.substr(0, blank));
                i -= line.size() - blank - 1;  // go on after the blank
            } else {
                line.pop_back();
                lines.push_back(line);
                i -= 1;  // the character that did not fit starts the next line
            }
            line.clear();
        }
        ++i;
    }
    const double x = d.x;
    for (const auto& part : lines) {
        d.x = x;
        cell(w, h, helmkit::encode_utf8(part), {Ln::below, align, 0});
    }
    d.x = d.left;
}

void PageModel::image(const std::filesystem::path& path, double x, double y, double w, double h) {
    auto& d = *m_impl;
    HPDF_Image image = d.images.embed(path);
    if (d.pages.empty()) throw helmkit::Error("cannot draw the image '" + path.string() + "' before the first page");
    HPDF_Page_DrawImage(d.page(), image, static_cast<HPDF_REAL>(Impl::pt(x)),
                        static_cast<HPDF_REAL>(Impl::pdf_y(y + h)),
                        static_cast<HPDF_REAL>(Impl::pt(w)), static_cast<HPDF_REAL>(Impl::pt(h)));
    d.doc.check("cannot draw the image '" + path.string() + "'");
}

void PageModel::line(double x1, double y1, double x2, double y2) {
    auto& d = *m_impl;
    HPDF_Page p = d.page();
    if (p == nullptr) return;
    HPDF_Page_SetRGBStroke(p, d.draw_colour.r, d.draw_colour.g, d.draw_colour.b);
    HPDF_Page_MoveTo(p, static_cast<HPDF_REAL>(Impl::pt(x1)), static_cast<HPDF_REAL>(Impl::pdf_y(y1)));
    HPDF_Page_LineTo(p, static_cast<HPDF_REAL>(Impl::pt(x2)), static_cast<HPDF_REAL>(Impl::pdf_y(y2)));
    HPDF_Page_Stroke(p);
    d.doc.check("cannot draw a line");
}

void PageModel::set_xy(double x, double y) {
    m_impl->x = x;
    m_impl->y = y;
}

void PageModel::set_x(double x) { m_impl->x = x; }

void PageModel::set_y(double y) {
    m_impl->x = m_impl->left;
    m_impl->y = y;
}

double PageModel::get_x() const { return m_impl->x; }

double PageModel::get_y() const { return m_impl->y; }

void PageModel::ln(double h) {
    m_impl->x = m_impl->left;
    m_impl->y += h;
}

int PageModel::add_link() {
    m_impl->links.push_back({});
    return static_cast<int>(m_impl->links.size());
}

void PageModel::set_link(int link, double y, int page) {
    auto& d = *m_impl;
    if (link < 1 || link > static_cast<int>(d.links.size())) {
        throw helmkit::Error("unknown link " + std::to_string(link));
    }
    if (page == -1) page = page_no();
    if (page < 1 || page > page_no()) {
        throw helmkit::Error("a link cannot lead to page " + std::to_string(page) +
                             " of a document of " + std::to_string(page_no()) + " pages");
    }
    d.links[static_cast<std::size_t>(link - 1)] = {page, y};
}

void PageModel::add_bookmark(std::string title, int link) {
    auto& d = *m_impl;
    if (link < 1 || link > static_cast<int>(d.links.size())) {
        throw helmkit::Error("unknown link " + std::to_string(link));
    }
    d.bookmarks.push_back({std::move(title), link});
}

void PageModel::output(const std::filesystem::path& path) {
    auto& d = *m_impl;
    if (d.pages.empty()) add_page();
    if (!d.saved) {
        d.write_links();
        d.write_bookmarks();
        d.fonts.finish();
        d.saved = true;
    }
    // The report goes into the image folder: never let a badly chosen name replace an input.
    std::ifstream existing(path, std::ios::binary);
    char magic[5] = {};
    if (existing && std::filesystem::is_regular_file(path) &&
        !(existing.read(magic, sizeof magic) && std::string_view(magic, 5) == "%PDF-")) {
        throw helmkit::Error("refusing to replace '" + path.string() + "': it is not a PDF file");
    }
    existing.close();
    helmkit::AtomicFile file(path);
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
