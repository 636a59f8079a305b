#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "helmkit/base/json.hpp"

namespace torvane {

// The command function of a tool: gets the --config path (absent when not given) and the
// --generate-config flag, returns the process exit status.
using CommandFunction =
    std::function<int(const std::optional<std::string>& config, bool generate_config)>;

// How the front reads a command's configuration file before handing it to the worker.
enum class ConfigLoading {
    // Parsed as a whole; a file that cannot be read or parsed is an error of the run.
    whole_file,
    // Its "config" section through the loader, which reports a file without one in the tool's
    // log; the command then ends with status 0.
    config_section,
};

// The tool's own part of its command, a C function of the tool's library: gets the configuration
// (as its ConfigLoading gives it) and the --config path it came from, returns the exit status.
using Worker = int (*)(const nlohmann::ordered_json& configuration, const std::string& config_path);

// One entry of the command registry: what a tool tells the front about its command.
struct CommandEntry {
    std::string name;
    // May hold paragraphs introduced by a line holding only U+0008; the front prints
    // those as written and rewraps the others.
    std::string help;
    std::string config_help;
    std::string generate_config_help;
    // Runs the whole command. A tool leaves it empty: the front runs its command through the
    // frame every tool shares, from the fields below.
    CommandFunction function = {};

    // The logger name of the tool ("Figdeck"), for the lines the frame logs.
    std::string logger_name = {};
    // Error lines logged, before anything else, when this build lacks the outside facility the
    // tool needs; empty when it has it (or the tool checks inside its run).
    std::vector<std::string> missing_facility = {};
    // Builds the template that --generate-config writes into the current folder as
    // `template_file`, announced by `template_prefix` and the path written.
    std::function<nlohmann::ordered_json()> config_template = {};
    std::string template_file = {};
    std::string template_prefix = "Success! Template file created at: ";
    // Lines echoed (status 1) when no configuration is given.
    std::vector<std::string> missing_config = {};
    ConfigLoading loading = ConfigLoading::config_section;
    // The name of the tool's Worker in `library`, the tool's shared library, which the front
    // opens (through its run path) only when the command gets that far.
    std::string worker = {};
    std::string library = {};
};

}  // namespace torvane
