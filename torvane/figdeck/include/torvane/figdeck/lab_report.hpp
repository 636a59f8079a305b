#pragma once

#include "torvane/figdeck/page_model.hpp"

namespace torvane::figdeck {

// The report document: a page model whose pages from the second on carry the running
// header "Lab Report - Page <n>" at the top right, in grey.
class LabReport : public PageModel {
public:
    void header() override;
};

}  // namespace torvane::figdeck
