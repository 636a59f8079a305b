#include "torvane/gridpage/layout.hpp"

#include <algorithm>

namespace torvane::gridpage {

namespace {

// The share of a cell that a page fills in its limiting direction, leaving a visible gap.
constexpr double k_fill = 0.95;

}  // namespace

bool is_quarter_turn(double rotation) { return rotation == 90 || rotation == 270; }

std::optional<FitRecord> fit_page(const PageGeometry& page, const Rect& target) {
    const Rect& box = page.cropbox;
    const bool turned = is_quarter_turn(page.rotation);
    const double src_w = turned ? box.height : box.width;
    const double src_h = turned ? box.width : box.height;
    if (src_w == 0 || src_h == 0) return std::nullopt;

    const double scale = std::min(target.width / src_w, target.height / src_h) * k_fill;
    const double final_w = src_w * scale;
    const double final_h = src_h * scale;
    FitRecord fit;
    fit.scale = scale;
    fit.tx = target.x + (target.width - final_w) / 2;
    fit.ty = target.y + (target.height - final_h) / 2;
    fit.rot = page.rotation;
    fit.x0 = box.x;
    fit.y0 = box.y;
    fit.src_w = src_w;
    fit.src_h = src_h;
    return fit;
}

Rect cell_rect(int slot, int cols, double margin, double page_height, double cell_w,
               double cell_h) {
    const int col = slot % cols;
    const int row = slot / cols;
    return {margin + col * cell_w, page_height - margin - (row + 1) * cell_h, cell_w, cell_h};
}

}  // namespace torvane::gridpage
