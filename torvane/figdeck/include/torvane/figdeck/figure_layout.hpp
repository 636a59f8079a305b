#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "helmkit/base/json.hpp"
#include "torvane/figdeck/image_groups.hpp"

namespace torvane::figdeck {

// The grid's fixed geometry on the A4 page, in millimetres.
inline constexpr double k_page_w = 210;
inline constexpr double k_page_h = 297;
inline constexpr double k_margin_lr = 15;
inline constexpr double k_available_w = k_page_w - 2 * k_margin_lr;
inline constexpr double k_gutter = 5;
inline constexpr double k_separator_distance = 5;
inline constexpr double k_caption_offset = 1;
inline constexpr double k_caption_line_h = 4;

// The size of every figure cell of a group, in millimetres.
struct CellSize {
    double w = 0;
    double h = 0;
};

struct PixelSize {
    int width = 0;
    int height = 0;
};

// "page_height", "top_margin" and "bottom_margin" of the "config" section.
struct PageGeometry {
    double page_height = 297;
    double top_margin = 15;
    double bottom_margin = 15;

    double usable_h() const { return page_height - top_margin - bottom_margin; }
};

// "title_buffer" and "row_gap" of the "config" section.
struct RowSpacing {
    double title_buffer = 25;
    double row_gap = 10;
};

// Read from `conf` with their defaults. Throw helmkit::Error naming a key that is no number;
// page_geometry also names the key and value of a geometry that does not fit the A4 page: a
// height above 0 and at most 297, margins from 0 that leave room between them.
PageGeometry page_geometry(const nlohmann::ordered_json& conf);
RowSpacing row_spacing(const nlohmann::ordered_json& conf);

// Reads the pixel size from each image file's header; none for a file that cannot be read
// or measured, which costs a warning naming the file and the reason.
std::vector<std::optional<PixelSize>> read_pixel_sizes(const std::vector<ImageEntry>& images);

// The largest height/width ratio of the known sizes with a width, or 0.75 when none gives one.
double max_ratio_of(const std::vector<std::optional<PixelSize>>& sizes);

// The cell for `num_rows` rows that fit `budget_height` less the title buffer and a row gap
// per row: as wide as `standard_cell_w` unless the height limits it (strictly greater).
CellSize cell_size(int num_rows, double standard_cell_w, double max_ratio, double budget_height,
                   const RowSpacing& spacing);

// The grid of one group: its height budget, columns and cell.
struct GroupLayout {
    double experiments_per_page = 1;
    double budget_h = 0;
    int cols = 1;
    double standard_cell_w = 0;
    CellSize cell;
};

// The budget, columns and standard cell width of the group `name` from its `definition`
// ("experiments_per_page", "cols_per_row"); the cell is left unset. Throws helmkit::Error
// naming the group and the key for a value that is no number, not positive, not whole (for
// the columns) or leaves no width for a figure.
GroupLayout group_grid(const std::string& name, const nlohmann::ordered_json& definition,
                       double total_usable_h);

// The cell of `image_count` images in `grid`. Throws helmkit::Error naming the group and
// the values involved when the rows leave no height for a figure.
CellSize fit_cells(const GroupLayout& grid, const std::string& name, std::size_t image_count,
                   double max_ratio, const RowSpacing& spacing);

// Where a block of height `budget_h` starts when the current y is `start_y`.
enum class BlockStart { new_page, under_separator, here };
BlockStart block_start(double start_y, double budget_h, const PageGeometry& geometry);

// The box of an image of `size` (both sides above 0) scaled with its own proportions into
// the cell at (x, y), centred in it.
struct Box {
    double x, y, w, h;
};
Box fitted_box(const PixelSize& size, double x, double y, double cell_w, double cell_h);

}  // namespace torvane::figdeck
