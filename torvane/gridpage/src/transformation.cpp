#include "torvane/gridpage/transformation.hpp"

#include <cmath>
#include <numbers>

namespace torvane::gridpage {

namespace {

// Exact values for quarter turns, so that turned pages land on whole coordinates.
std::array<double, 2> cos_sin(double degrees) {
    const double turns = degrees / 90;
    if (turns == std::floor(turns)) {
        switch (static_cast<int>(std::fmod(std::fmod(turns, 4) + 4, 4))) {
            case 0: return {1, 0};
            case 1: return {0, 1};
            case 2: return {-1, 0};
            default: return {0, -1};
        }
    }
    const double radians = degrees * std::numbers::pi / 180;
    return {std::cos(radians), std::sin(radians)};
}

}  // namespace

void Transformation::append(const std::array<double, 6>& s) {
    const auto& m = m_matrix;
    m_matrix = {m[0] * s[0] + m[1] * s[2],        m[0] * s[1] + m[1] * s[3],
                m[2] * s[0] + m[3] * s[2],        m[2] * s[1] + m[3] * s[3],
                m[4] * s[0] + m[5] * s[2] + s[4], m[4] * s[1] + m[5] * s[3] + s[5]};
}

Transformation& Transformation::translate(double tx, double ty) {
    append({1, 0, 0, 1, tx, ty});
    return *this;
}

Transformation& Transformation::rotate(double degrees) {
    const auto [c, s] = cos_sin(degrees);
    append({c, s, -s, c, 0, 0});
    return *this;
}

Transformation& Transformation::scale(double sx, double sy) {
    append({sx, 0, 0, sy, 0, 0});
    return *this;
}

std::array<double, 2> Transformation::apply(double x, double y) const {
    const auto& m = m_matrix;
    return {m[0] * x + m[2] * y + m[4], m[1] * x + m[3] * y + m[5]};
}

Transformation page_placement(const FitRecord& fit) {
    Transformation op;
    op.translate(-fit.x0, -fit.y0);
    if (fit.rot == 90) {
        op.rotate(-90).translate(0, fit.src_h);
    } else if (fit.rot == 180) {
        op.rotate(-180).translate(fit.src_w, fit.src_h);
    } else if (fit.rot == 270) {
        op.rotate(-270).translate(fit.src_w, 0);
    }
    op.scale(fit.scale, fit.scale).translate(fit.tx, fit.ty);
    return op;
}

}  // namespace torvane::gridpage
