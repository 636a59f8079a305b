#include "torvane/figdeck/template.hpp"

namespace torvane::figdeck {

using nlohmann::ordered_json;

const ordered_json DEFAULT_CONFIG = {
    {"config",
     {{"image_folder", "./data_figdeck"},
      {"file_prefix", "Result"},
      {"output_file", "test.pdf"},
      {"page_height", 297},
      {"top_margin", 10},
      {"bottom_margin", 5},
      {"title_buffer", 25},
      {"row_gap", 10}}},
    {"main_page",
     {{"title_of_report", "Ziveva VizIroz"},
      {"dut_inform", "reRAD + QT7700"},
      {"environment", "chamber + corner reflector"},
      {"user_title_1", "Radar Setting"},
      {"user_content_1", "2000_2200_256_59_RX14_RX23"},
      {"user_title_2", "Offset Index"},
      {"user_content_2", "80"},
      {"user_title_3", "Remove DC"},
      {"user_content_3", "0"},
      {"user_title_4", "Guard Cell"},
      {"user_content_4", "20"}}},
    {"groups", ordered_json::array({{{"name", "Group 0: 1st Experiment (Result by Metric)"},
                                     {"pattern", "g8_Peak_60dB"},
                                     {"experiments_per_page", 2},
                                     {"cols_per_row", 2}}})},
};

// Built after DEFAULT_CONFIG: both live in this file, so the order of initialisation holds.
const std::string HELP_TEXT =
    "\n"
    "Generate a PDF report from multiple images based on a JSON configuration.\n"
    "\n"
    "\b\n"
    "[JSON Parameter Description]:\n"
    "* config.image_folder : (String) The folder containing the images.\n"
    "* config.output_file  : (String) The name of the output PDF file.\n"
    "* main_page           : (Dict) Key-value pairs displayed on the first TOC page.\n"
    "* groups              : (List) Define layout and matching patterns for image groups.\n"
    "\n"
    "\b\n"
    "[Default config.json Template]:\n" +
    DEFAULT_CONFIG.dump(4, ' ', false) + "\n";

}  // namespace torvane::figdeck
