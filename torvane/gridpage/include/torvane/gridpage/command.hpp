#pragma once

#include <optional>
#include <string>

#include "torvane/command_entry.hpp"

namespace torvane::gridpage {

// True when this build has the PDF layer (qpdf) that reads and merges PDF files.
extern const bool HAS_PDF_LIBS;

// Runs the gridpage command: facility check, template, configuration loading, merge.
// Returns the exit status; lets unexpected failures (a bad configuration value) propagate.
int cmd_gridpage(const std::optional<std::string>& config, bool generate_config);

// Describes the gridpage command to the front program.
CommandEntry command();

}  // namespace torvane::gridpage
