#pragma once

#include <functional>
#include <optional>
#include <string>

namespace torvane {

// The command function of a tool: gets the --config path (absent when not given) and the
// --generate-config flag, returns the process exit status.
using CommandFunction =
    std::function<int(const std::optional<std::string>& config, bool generate_config)>;

// What a tool tells the front about its command: name, texts and function.
struct CommandEntry {
    std::string name;
    // May hold paragraphs introduced by a line holding only U+0008; the front prints
    // those as written and rewraps the others.
    std::string help;
    std::string config_help;
    std::string generate_config_help;
    CommandFunction function;
};

}  // namespace torvane
