#include "torvane/figdeck/figure_layout.hpp"

#include <stb_image.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fmt/format.h>
#include <memory>
#include <utility>

#include "helmkit/base/app_logging.hpp"
#include "helmkit/base/config_value.hpp"
#include "helmkit/base/error.hpp"

namespace torvane::figdeck {

namespace {

constexpr const char* k_conf_where = "the \"config\" section";
constexpr double k_fallback_ratio = 0.75;
constexpr double k_crowding_threshold = 10;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

std::string format_mm(double value) { return fmt::format("{:.1f}", value); }

}  // namespace

PageGeometry page_geometry(const nlohmann::ordered_json& conf) {
    PageGeometry geometry;
    geometry.page_height = helmkit::number_or(conf, "page_height", geometry.page_height, k_conf_where);
    geometry.top_margin = helmkit::number_or(conf, "top_margin", geometry.top_margin, k_conf_where);
    geometry.bottom_margin =
        helmkit::number_or(conf, "bottom_margin", geometry.bottom_margin, k_conf_where);
    // Beyond these bounds blocks and links would be placed off the sheet that is printed.
    if (!(geometry.page_height > 0 && geometry.page_height <= k_page_h)) {
        throw helmkit::Error(fmt::format(
            "\"page_height\" {} does not fit the page: the report's pages are A4, so it must be "
            "above 0 and at most {} (mm)",
            geometry.page_height, k_page_h));
    }
    for (const auto& [key, value] : {std::pair{"top_margin", geometry.top_margin},
                                     std::pair{"bottom_margin", geometry.bottom_margin}}) {
        if (!(value >= 0 && value < geometry.page_height)) {
            throw helmkit::Error(fmt::format(
                "\"{}\" {} does not fit the page: it must be at least 0 and below \"page_height\" {} (mm)",
                key, value, geometry.page_height));
        }
    }
    if (!(geometry.usable_h() > 0)) {
        throw helmkit::Error(fmt::format(
            "\"top_margin\" {} and \"bottom_margin\" {} leave no room on a page of \"page_height\" {} (mm)",
            geometry.top_margin, geometry.bottom_margin, geometry.page_height));
    }
    return geometry;
}

RowSpacing row_spacing(const nlohmann::ordered_json& conf) {
    RowSpacing spacing;
    spacing.title_buffer = helmkit::number_or(conf, "title_buffer", spacing.title_buffer, k_conf_where);
    spacing.row_gap = helmkit::number_or(conf, "row_gap", spacing.row_gap, k_conf_where);
    return spacing;
}

std::vector<std::optional<PixelSize>> read_pixel_sizes(const std::vector<ImageEntry>& images) {
    auto& logger = helmkit::app_logging::lazy_logger("Figdeck");
    std::vector<std::optional<PixelSize>> sizes;
    for (const auto& entry : images) {
        sizes.emplace_back();
        std::unique_ptr<std::FILE, FileCloser> file(std::fopen(entry.path.c_str(), "rb"));
        if (!file) {
            logger.warning("Cannot read image ratio for " + entry.path + ": " + std::strerror(errno));
            continue;
        }
        int width = 0;
        int height = 0;
        int channels = 0;
        if (stbi_info_from_file(file.get(), &width, &height, &channels) == 0) {
            logger.warning("Cannot read image ratio for " + entry.path + ": " + stbi_failure_reason());
            continue;
        }
        sizes.back() = PixelSize{width, height};
    }
    return sizes;
}

double max_ratio_of(const std::vector<std::optional<PixelSize>>& sizes) {
    if (sizes.empty()) return k_fallback_ratio;
    double max_ratio = 0;
    for (const auto& size : sizes) {
        if (size && size->width > 0) {
            max_ratio = std::max(max_ratio, static_cast<double>(size->height) / size->width);
        }
    }
    return max_ratio > 0 ? max_ratio : k_fallback_ratio;
}

CellSize cell_size(int num_rows, double standard_cell_w, double max_ratio, double budget_height,
                   const RowSpacing& spacing) {
    const double img_budget_h_total = budget_height - spacing.title_buffer;
    if (num_rows == 0) return {standard_cell_w, 0};
    const double max_allowed_h_per_row = img_budget_h_total / num_rows - spacing.row_gap;
    const double calc_h = standard_cell_w * max_ratio;
    if (calc_h > max_allowed_h_per_row) {
        return {max_allowed_h_per_row / max_ratio, max_allowed_h_per_row};
    }
    return {standard_cell_w, calc_h};
}

GroupLayout group_grid(const std::string& name, const nlohmann::ordered_json& definition,
                       double total_usable_h) {
    const auto where = group_where(name);
    GroupLayout grid;
    grid.experiments_per_page = helmkit::number_or(definition, "experiments_per_page", 1, where);
    const double cols = helmkit::number_or(definition, "cols_per_row", 1, where);
    // Only a configured value can fail these tests, so the key is there to be shown.
    const auto shown = [&](const char* key) { return definition.at(key).dump(); };
    if (!(grid.experiments_per_page > 0)) {
        throw helmkit::Error(where + ": \"experiments_per_page\" must be a positive number, not " +
                             shown("experiments_per_page"));
    }
    if (!(cols >= 1) || cols != std::floor(cols)) {
        throw helmkit::Error(where + ": \"cols_per_row\" must be a positive whole number, not " +
                             shown("cols_per_row"));
    }
    grid.budget_h = total_usable_h / grid.experiments_per_page;
    grid.standard_cell_w = (k_available_w - (cols - 1) * k_gutter) / cols;
    if (grid.standard_cell_w <= 0) {
        throw helmkit::Error(where + ": \"cols_per_row\" " + shown("cols_per_row") +
                             " leaves no width for a figure; at most 36 columns fit the page");
    }
    grid.cols = static_cast<int>(cols);
    return grid;
}

CellSize fit_cells(const GroupLayout& grid, const std::string& name, std::size_t image_count,
                   double max_ratio, const RowSpacing& spacing) {
    const auto count = static_cast<int>(image_count);
    const int num_rows = (count + grid.cols - 1) / grid.cols;
    const auto cell = cell_size(num_rows, grid.standard_cell_w, max_ratio, grid.budget_h, spacing);
    if (cell.h <= 0) {
        throw helmkit::Error(
            group_where(name) + ": its " + std::to_string(num_rows) +
            " rows of figures do not fit its " + format_mm(grid.budget_h) +
            " mm height budget (\"experiments_per_page\" " +
            fmt::format("{}", grid.experiments_per_page) + ", \"title_buffer\" " +
            fmt::format("{}", spacing.title_buffer) + ", \"row_gap\" " +
            fmt::format("{}", spacing.row_gap) +
            "); lower \"experiments_per_page\" or raise \"cols_per_row\"");
    }
    return cell;
}

BlockStart block_start(double start_y, double budget_h, const PageGeometry& geometry) {
    if (start_y + budget_h > geometry.page_height - geometry.bottom_margin) return BlockStart::new_page;
    if (start_y > geometry.top_margin + k_crowding_threshold) return BlockStart::under_separator;
    return BlockStart::here;
}

Box fitted_box(const PixelSize& size, double x, double y, double cell_w, double cell_h) {
    const double ratio = static_cast<double>(size.height) / size.width;
    double w = cell_w;
    double h = cell_w * ratio;
    if (h > cell_h) {
        h = cell_h;
        w = cell_h / ratio;
    }
    return {x + (cell_w - w) / 2, y + (cell_h - h) / 2, w, h};
}

}  // namespace torvane::figdeck
