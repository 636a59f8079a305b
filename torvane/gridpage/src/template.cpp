#include "torvane/gridpage/template.hpp"

namespace torvane::gridpage {

const nlohmann::ordered_json DEFAULT_CONFIG = {
    {"config",
     {{"input_folder", "./data_gridpage"},
      {"output_file", "./data_gridpage/merged_report.pdf"},
      {"layout", {{"cols", 2}, {"rows", 2}, {"landscape", false}}},
      {"page_size", "A4"},
      {"margin", 20},
      {"debug_grid", false}}},
};

}  // namespace torvane::gridpage
