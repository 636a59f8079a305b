#pragma once

#include <string>

#include "helmkit/base/json.hpp"
#include "torvane/command_entry.hpp"

namespace torvane::figdeck {

// True when this build has the PDF page model and the image-size reader.
extern const bool HAS_PDF_LIBS;

// The figdeck command after the front's frame: checks the "config", "main_page" and "groups"
// sections of `data` (read from `config_path`), then builds the report. Returns the exit
// status; throws helmkit::Error when `data` is not an object.
extern "C" int cmd_figdeck(const nlohmann::ordered_json& data, const std::string& config_path);

// Describes the figdeck command to the front program.
CommandEntry command();

}  // namespace torvane::figdeck
