#include "torvane/claimsort/template.hpp"

namespace torvane::claimsort {

const nlohmann::ordered_json DEFAULT_CONFIG = {
    {"config", {{"path", "./data_claimsort"}, {"dry_run", false}}},
    {"excel_in", {{"name_cell", "D6"}, {"amount_cell", "P56"}}},
};

// Built after DEFAULT_CONFIG: both live in this file, so the order of initialisation holds.
const std::string HELP_TEXT =
    "\n"
    "Read information from Excel and auto-renfiles. \n"
    "This tool relies entirely on a JSON configuration file.\n"
    "\n"
    "\b\n"
    "[JSON Parameter Description]:\n"
    "* config.path         : (String) Directory path containing the target Excel files.\n"
    "* config.dry_run      : (Boolean) Set to True to preview renamed files without actually "
    "moving them.\n"
    "* excel_in.name_cell  : (String) The exact cell coordinate for the Name (e.g., \"D6\").\n"
    "* excel_in.amount_cell: (String) The exact cell coordinate for the Amount (e.g., \"P56\").\n"
    "\n"
    "\b\n"
    "[Default config.json Template]:\n" +
    DEFAULT_CONFIG.dump(4, ' ', false) + "\n";

}  // namespace torvane::claimsort
