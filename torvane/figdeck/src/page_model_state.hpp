#pragma once

// The state of a PageModel, shared by its drawing, its links and outline, and its output.

#include <hpdf.h>

#include <string>
#include <string_view>
#include <vector>

#include "hpdf_document.hpp"
#include "pdf_images.hpp"
#include "text_fonts.hpp"
#include "torvane/figdeck/page_model.hpp"

namespace torvane::figdeck {

inline constexpr double k_points_per_mm = 72.0 / 25.4;
inline constexpr double k_page_model_w = 210;
inline constexpr double k_page_model_h = 297;

struct Rgb {
    double r = 0;
    double g = 0;
    double b = 0;
};

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

struct LinkTarget {
    int page = 0;  // 0: no target yet
    double y = 0;
};

struct Bookmark {
    std::string title;
    int link = 0;
};

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
    static double pdf_y(double mm) { return (k_page_model_h - mm) * k_points_per_mm; }

    PreparedText prepare(std::string_view text) { return fonts.prepare(text, font.bold, font.italic); }
    double width_mm(const PreparedText& text) const {
        return TextFonts::width(text, font.size) / k_points_per_mm;
    }

    // Draws prepared text with its baseline at `baseline` (mm from the top).
    void draw_text(const PreparedText& text, double at_x, double baseline);

    // The targets of the links drawn and the outline entries, written once before saving.
    void write_links();
    void write_bookmarks();
    HPDF_Destination destination_of(const LinkTarget& target);
};

}  // namespace torvane::figdeck
