#pragma once

#include <array>

#include "torvane/gridpage/layout.hpp"

namespace torvane::gridpage {

// A plane transformation built from steps; each appended step applies after the earlier
// ones, so in Transformation().translate(1, 0).rotate(90) a point is shifted, then turned.
class Transformation {
public:
    Transformation& translate(double tx, double ty);
    // Turns about the origin by `degrees`, counter-clockwise for positive angles.
    Transformation& rotate(double degrees);
    Transformation& scale(double sx, double sy);

    // Returns where the point (x, y) lands.
    std::array<double, 2> apply(double x, double y) const;
    // Returns the PDF matrix [a b c d e f]: x' = a x + c y + e, y' = b x + d y + f.
    const std::array<double, 6>& matrix() const { return m_matrix; }

private:
    void append(const std::array<double, 6>& step);

    std::array<double, 6> m_matrix{1, 0, 0, 1, 0, 0};
};

// Returns the transformation that maps a page's crop box, turned upright as a viewer shows it,
// onto the box of `fit` on the sheet.
Transformation page_placement(const FitRecord& fit);

}  // namespace torvane::gridpage
