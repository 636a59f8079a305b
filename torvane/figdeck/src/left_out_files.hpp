#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "helmkit/base/app_logging.hpp"

namespace torvane::figdeck {

// Logs at info level how many regular, not hidden files of `folder` the report leaves out
// and why: of a kind it does not read (their extensions) or, among `images` (bare names),
// those whose `taken` flag is false, matched by no group (their names at debug level).
// `output` (the report's own path) is not counted. Nothing is logged when no file is left out.
// Throws helmkit::Error when `folder` cannot be listed.
void log_left_out_files(const std::filesystem::path& folder, const std::vector<std::string>& images,
                        const std::vector<bool>& taken, const std::filesystem::path& output,
                        helmkit::app_logging::Logger& log);

}  // namespace torvane::figdeck
