#pragma once

#include <string>

#include "helmkit/base/json.hpp"
#include "torvane/command_entry.hpp"

namespace torvane::gridpage {

// True when this build has the PDF layer (qpdf) that reads and merges PDF files.
extern const bool HAS_PDF_LIBS;

// The gridpage command after the front's frame: merges the PDF files that the "config"
// section names. Returns the exit status; lets a bad configuration value propagate.
extern "C" int cmd_gridpage(const nlohmann::ordered_json& section, const std::string& config_path);

// Describes the gridpage command to the front program.
CommandEntry command();

}  // namespace torvane::gridpage
