#pragma once

#include <string>

#include "helmkit/base/json.hpp"
#include "torvane/command_entry.hpp"

namespace torvane::chartdoc {

// True when this build has the Markdown converter (md4c).
extern const bool HAS_MD;

// The chartdoc command after the front's frame: builds the site from the "config" section,
// then prints an empty line and a "[DONE] ", "[WARNING] " or "[ERROR] " line. Returns the exit
// status (1 after ERROR); lets a section it cannot build from propagate.
extern "C" int cmd_chartdoc(const nlohmann::ordered_json& section, const std::string& config_path);

// Describes the chartdoc command to the front program.
CommandEntry command();

}  // namespace torvane::chartdoc
