#include "torvane/figdeck/lab_report.hpp"

#include <string>

namespace torvane::figdeck {

void LabReport::header() {
    // The contents page stands without a header.
    if (page_no() <= 1) return;
    set_font("helvetica", "B", 10);
    set_text_color(150);
    cell(0, 10, "Lab Report - Page " + std::to_string(page_no()), {Ln::right, Align::right, 0});
    ln(10);
}

}  // namespace torvane::figdeck
