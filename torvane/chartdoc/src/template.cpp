#include "torvane/chartdoc/template.hpp"

namespace torvane::chartdoc {

const nlohmann::ordered_json DEFAULT_CONFIG = {
    {"config",
     {{"input_folder", "./data_chartdoc"},
      {"output_folder", "./data_chartdoc/html_out"},
      {"index_title", "Project Documentation"},
      {"doc_titles",
       {{"README.md", "README (v0.1)"}, {"test.md", "Test MarkDown Document (v0.1)"}}},
      {"chart_titles", {{"ab.mmd", "A to B Flow"}, {"cd.mmd", "C to D Flow"}}}}},
};

}  // namespace torvane::chartdoc
