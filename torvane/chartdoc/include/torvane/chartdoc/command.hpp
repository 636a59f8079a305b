#pragma once

#include <optional>
#include <string>

#include "torvane/command_entry.hpp"

namespace torvane::chartdoc {

// True when this build has the Markdown converter (md4c).
extern const bool HAS_MD;

// Runs the chartdoc command: facility check, template, configuration loading, site build,
// then an empty line and a "[DONE] ", "[WARNING] " or "[ERROR] " line. Returns the exit
// status (1 after ERROR); lets a configuration section it cannot build from propagate.
int cmd_chartdoc(const std::optional<std::string>& config, bool generate_config);

// Describes the chartdoc command to the front program.
CommandEntry command();

}  // namespace torvane::chartdoc
