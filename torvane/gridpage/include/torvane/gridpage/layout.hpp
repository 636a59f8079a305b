#pragma once

#include <optional>

namespace torvane::gridpage {

// A rectangle on a page in points: lower-left corner (x, y), width and height.
struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
};

// What the fit of a page needs to know about it: its /Rotate value as read and its
// visible area (crop box, or media box when there is none), with a non-negative size.
struct PageGeometry {
    double rotation = 0;
    Rect cropbox;
};

// Where a source page goes in its cell: the uniform `scale`, the destination (`tx`, `ty`) of
// the lower-left corner of the scaled page, the rotation as read, the crop box corner
// (`x0`, `y0`) and the page's displayed size (`src_w`, `src_h`).
struct FitRecord {
    double scale = 0;
    double tx = 0;
    double ty = 0;
    double rot = 0;
    double x0 = 0;
    double y0 = 0;
    double src_w = 0;
    double src_h = 0;
};

// Returns whether `rotation` turns the page a quarter turn (exactly 90 or 270).
bool is_quarter_turn(double rotation);

// Fits `page` into `target`: 95 % of the largest scale that keeps its aspect ratio, centred.
// Returns nothing when the page's displayed width or height is 0.
std::optional<FitRecord> fit_page(const PageGeometry& page, const Rect& target);

// Returns the cell of `slot` on a sheet `page_height` high: slots fill the sheet row by row
// from the top-left cell, `cols` cells to a row, inside `margin`.
Rect cell_rect(int slot, int cols, double margin, double page_height, double cell_w,
               double cell_h);

}  // namespace torvane::gridpage
