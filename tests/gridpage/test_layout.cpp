#include <gtest/gtest.h>

#include <cmath>

#include "torvane/gridpage/gridpager.hpp"
#include "torvane/gridpage/layout.hpp"
#include "torvane/gridpage/transformation.hpp"

using namespace torvane::gridpage;
using nlohmann::ordered_json;

namespace {

ordered_json section(ordered_json layout, double margin = 20) {
    return {{"input_folder", "in"}, {"layout", std::move(layout)}, {"margin", margin}};
}

PageGeometry a4(double rotation = 0) { return {rotation, {0, 0, 595, 842}}; }

}  // namespace

TEST(GridpageLayout, CellsOfThePortraitTwoByTwoExample) {
    const Gridpager pager(section({{"cols", 2}, {"rows", 2}}));
    const auto [cell_w, cell_h] = pager.calculate_cell_layout();
    EXPECT_DOUBLE_EQ(cell_w, 277.5);
    EXPECT_DOUBLE_EQ(cell_h, 401);
    const double expected[4][2] = {{20, 421}, {297.5, 421}, {20, 20}, {297.5, 20}};
    for (int slot = 0; slot < 4; ++slot) {
        const auto cell = cell_rect(slot, 2, 20, 842, cell_w, cell_h);
        EXPECT_DOUBLE_EQ(cell.x, expected[slot][0]) << slot;
        EXPECT_DOUBLE_EQ(cell.y, expected[slot][1]) << slot;
        EXPECT_DOUBLE_EQ(cell.width, 277.5);
        EXPECT_DOUBLE_EQ(cell.height, 401);
    }
}

TEST(GridpageLayout, SheetSizeFollowsOrientationAndDefaults) {
    const Gridpager landscape(section({{"cols", 2}, {"rows", 1}, {"landscape", true}}));
    EXPECT_EQ(landscape.page_width(), 842);
    EXPECT_EQ(landscape.page_height(), 595);
    const auto [w, h] = landscape.calculate_cell_layout();
    EXPECT_DOUBLE_EQ(w, 401);
    EXPECT_DOUBLE_EQ(h, 555);

    const Gridpager defaults(ordered_json{{"layout", ordered_json::object()}, {"page_size", "A3"}});
    EXPECT_EQ(defaults.cols(), 2);
    EXPECT_EQ(defaults.rows(), 1);
    EXPECT_EQ(defaults.page_width(), 595);
    EXPECT_EQ(defaults.page_height(), 842);
    EXPECT_EQ(defaults.input_folder(), "./data_gridpage");
    EXPECT_EQ(defaults.output_file(), "./data_gridpage/merged_report.pdf");
    EXPECT_FALSE(defaults.draw_grid());
    const auto [dw, dh] = defaults.calculate_cell_layout();
    EXPECT_DOUBLE_EQ(dw, 277.5);
    EXPECT_DOUBLE_EQ(dh, 802);

    // Any true value counts, as in the configuration's other flags.
    EXPECT_TRUE(Gridpager(section({{"landscape", 1}})).is_landscape());
    EXPECT_FALSE(Gridpager(section({{"landscape", ""}})).is_landscape());
    EXPECT_TRUE(Gridpager(ordered_json{{"debug_grid", "on"}}).draw_grid());
    EXPECT_FALSE(Gridpager(ordered_json{{"debug_grid", 0}}).draw_grid());
}

TEST(GridpageLayout, FitOfAnA4PageInTheFirstCell) {
    const auto fit = fit_page(a4(), {20, 421, 277.5, 401});
    ASSERT_TRUE(fit);
    EXPECT_NEAR(fit->scale, 0.443067, 1e-6);
    EXPECT_NEAR(fit->tx, 26.9375, 1e-9);
    EXPECT_NEAR(fit->ty, 434.97, 0.005);
    EXPECT_EQ(fit->src_w, 595);
    EXPECT_EQ(fit->src_h, 842);

    const auto turned = fit_page(a4(90), {20, 421, 277.5, 401});
    ASSERT_TRUE(turned);
    EXPECT_EQ(turned->rot, 90);
    EXPECT_EQ(turned->src_w, 842);
    EXPECT_EQ(turned->src_h, 595);
    EXPECT_NEAR(turned->scale, 0.95 * 277.5 / 842, 1e-12);
    EXPECT_NEAR(turned->scale, 0.313094, 1e-6);
    EXPECT_NEAR(turned->tx, 26.9375, 1e-9);
    EXPECT_NEAR(turned->ty, 528.35, 0.005);
}

TEST(GridpageLayout, RotationValuesAreUsedExactlyAsRead) {
    const Rect cell{20, 421, 277.5, 401};
    const auto r270 = fit_page(a4(270), cell);
    ASSERT_TRUE(r270);
    EXPECT_EQ(r270->src_w, 842);
    EXPECT_EQ(r270->src_h, 595);
    for (double rotation : {-90.0, 450.0, 180.0, 45.0}) {
        const auto fit = fit_page(a4(rotation), cell);
        ASSERT_TRUE(fit);
        EXPECT_EQ(fit->src_w, 595) << rotation;
        EXPECT_EQ(fit->rot, rotation);
    }
}

TEST(GridpageLayout, LandscapeSourceIsLimitedByTheCellWidthAndCentred) {
    const Rect cell{297.5, 20, 277.5, 401};
    const auto fit = fit_page({0, {0, 0, 842, 595}}, cell);
    ASSERT_TRUE(fit);
    EXPECT_NEAR(fit->scale, 0.95 * 277.5 / 842, 1e-12);
    const double w = 842 * fit->scale;
    const double h = 595 * fit->scale;
    EXPECT_NEAR(fit->tx - cell.x, cell.x + cell.width - (fit->tx + w), 1e-9);
    EXPECT_NEAR(fit->ty - cell.y, cell.y + cell.height - (fit->ty + h), 1e-9);
}

TEST(GridpageLayout, OffsetCropBoxIsKeptInTheRecord) {
    const auto fit = fit_page({0, {100, 50, 200, 400}}, {0, 0, 100, 100});
    ASSERT_TRUE(fit);
    EXPECT_EQ(fit->x0, 100);
    EXPECT_EQ(fit->y0, 50);
    EXPECT_NEAR(fit->scale, 0.95 * 100 / 400, 1e-12);
}

TEST(GridpageLayout, ZeroSizeCropBoxHasNoFit) {
    EXPECT_FALSE(fit_page({0, {0, 0, 0, 842}}, {0, 0, 100, 100}));
    EXPECT_FALSE(fit_page({0, {10, 10, 595, 0}}, {0, 0, 100, 100}));
    EXPECT_FALSE(fit_page({90, {10, 10, 595, 0}}, {0, 0, 100, 100}));
}

// Each rotation case of the placement must land a source point where the rotation table
// says, and the whole crop box must fill the fitted box.
TEST(GridpageLayout, PlacementFollowsTheRotationTable) {
    const Rect box{30, 40, 200, 120};
    const Rect cell{20, 421, 277.5, 401};
    const double w0 = box.width;
    const double h0 = box.height;
    for (double rotation : {0.0, 90.0, 180.0, 270.0, -90.0}) {
        const auto fit = fit_page({rotation, box}, cell);
        ASSERT_TRUE(fit);
        const auto op = page_placement(*fit);
        const double s = fit->scale;
        const double dx = fit->tx;
        const double dy = fit->ty;
        for (const auto& [u, v] : std::vector<std::pair<double, double>>{{0, 0}, {50, 10}, {200, 120}}) {
            const auto [x, y] = op.apply(box.x + u, box.y + v);
            double ex = dx + s * u;
            double ey = dy + s * v;
            if (rotation == 90) {
                ex = dx + s * v;
                ey = dy + s * (w0 - u);
            } else if (rotation == 180) {
                ex = dx + s * (w0 - u);
                ey = dy + s * (h0 - v);
            } else if (rotation == 270) {
                ex = dx + s * (h0 - v);
                ey = dy + s * u;
            }
            EXPECT_NEAR(x, ex, 1e-9) << rotation << " " << u << "," << v;
            EXPECT_NEAR(y, ey, 1e-9) << rotation << " " << u << "," << v;
        }
    }
}

TEST(GridpageLayout, TransformationStepsApplyInTheOrderAppended) {
    Transformation op;
    op.translate(1, 0).rotate(90);
    const auto [x, y] = op.apply(0, 0);
    EXPECT_NEAR(x, 0, 1e-12);
    EXPECT_NEAR(y, 1, 1e-12);
    Transformation scaled;
    scaled.scale(2, 3).translate(5, 7);
    const auto [sx, sy] = scaled.apply(1, 1);
    EXPECT_DOUBLE_EQ(sx, 7);
    EXPECT_DOUBLE_EQ(sy, 10);
    Transformation turned;
    turned.rotate(30);
    const auto [tx, ty] = turned.apply(1, 0);
    EXPECT_NEAR(tx, std::sqrt(3) / 2, 1e-12);
    EXPECT_NEAR(ty, 0.5, 1e-12);
}

TEST(GridpageLayout, FramePageHoldsTheFrameOperatorsExactly) {
    const Gridpager pager(section({{"cols", 2}, {"rows", 2}}));
    EXPECT_EQ(pager._create_red_frame_page(20, 421, 277.5, 401).contents(),
              "q 1 0 0 RG 2 w 20.00 421.00 277.50 401.00 re S Q");
    EXPECT_EQ(pager._create_red_frame_page(-1.005, 0.125, 1.0 / 3, 2).contents(),
              "q 1 0 0 RG 2 w -1.00 0.12 0.33 2.00 re S Q");
    const auto frame = pager._create_red_frame_page(0, 0, 1, 1);
    EXPECT_EQ(frame.width(), 595);
    EXPECT_EQ(frame.height(), 842);
}
