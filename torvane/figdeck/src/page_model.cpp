#include "torvane/figdeck/page_model.hpp"

#include <hpdf.h>

#include <algorithm>
#include <cctype>
#include <vector>

#include "helmkit/base/app_logging.hpp"
#include "helmkit/base/error.hpp"
#include "helmkit/text/utf8.hpp"
#include "line_wrap.hpp"
#include "page_model_state.hpp"

namespace torvane::figdeck {

namespace {

constexpr double k_line_width = 0.2;
// Underline position and thickness in thousandths of the font size (Helvetica's metrics).
constexpr double k_underline_position = 100;
constexpr double k_underline_thickness = 50;

Rgb rgb_of(int red, int green, int blue) {
    auto level = [](int value) { return std::clamp(value, 0, 255) / 255.0; };
    return {level(red), level(green), level(blue)};
}

}  // namespace

void PageModel::Impl::draw_text(const PreparedText& text, double at_x, double baseline) {
    HPDF_Page p = page();
    if (p == nullptr || text.bytes.empty() || text.font == nullptr) return;
    HPDF_Page_SetRGBFill(p, text_colour.r, text_colour.g, text_colour.b);
    HPDF_Page_BeginText(p);
    HPDF_Page_SetFontAndSize(p, text.font, static_cast<HPDF_REAL>(font.size));
    HPDF_Page_TextOut(p, static_cast<HPDF_REAL>(pt(at_x)), static_cast<HPDF_REAL>(pdf_y(baseline)),
                      text.bytes.c_str());
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
    if (d.auto_break && !d.pages.empty() && d.y + h > k_page_model_h - d.break_margin) {
        const double x = d.x;
        add_page();
        d.x = x;
    }
    if (w == 0) w = k_page_model_w - d.right - d.x;
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

double PageModel::string_width(std::string_view text) {
    return m_impl->width_mm(m_impl->prepare(text));
}

void PageModel::multi_cell(double w, double h, std::string_view text, Align align) {
    auto& d = *m_impl;
    if (w == 0) w = k_page_model_w - d.right - d.x;
    const double room = w - 2 * k_cell_margin;
    const auto width_of = [&](const std::u32string& part) {
        return d.width_mm(d.prepare(helmkit::encode_utf8(part)));
    };
    const auto lines = wrap_lines(helmkit::decode_utf8(text, U'\uFFFD'), room, width_of);
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

}  // namespace torvane::figdeck
