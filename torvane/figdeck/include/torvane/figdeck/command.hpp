#pragma once

#include <optional>
#include <string>

#include "torvane/command_entry.hpp"

namespace torvane::figdeck {

// True when this build has the PDF page model and the image-size reader.
extern const bool HAS_PDF_LIBS;

// Runs the figdeck command: facility check, template, configuration checks, report.
// Returns the exit status; lets unexpected failures (unreadable or invalid JSON) propagate.
int cmd_figdeck(const std::optional<std::string>& config, bool generate_config);

// Describes the figdeck command to the front program.
CommandEntry command();

}  // namespace torvane::figdeck
