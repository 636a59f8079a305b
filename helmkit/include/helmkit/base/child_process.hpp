#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace helmkit {

// How a child process ended: its exit status, or the signal that ended it.
struct ProcessStatus {
    std::optional<int> exit_code;
    std::optional<int> signal;

    bool succeeded() const { return exit_code == 0; }
};

// Returns where a shell would find the command `name`: a name holding a "/" is taken as it
// is, any other is looked up in the folders of PATH (an empty entry meaning the current
// folder; the system's default search path when PATH is unset). A match is a regular file
// the caller may execute. Returns nothing when there is none. Starts nothing.
std::optional<std::filesystem::path> find_program(std::string_view name);

// Starts `argv[0]` (looked up like find_program, no shell) with the arguments `argv`,
// inheriting the environment, current folder and standard input, output and error, and
// waits for it to end. Throws Error naming the command when it cannot be started.
ProcessStatus run_process(const std::vector<std::string>& argv);

// Starts every command of `commands` as run_process does, all at once, and waits for all of
// them; returns their statuses in the same order. Throws Error when one cannot be started,
// after waiting for those that were.
std::vector<ProcessStatus> run_processes(const std::vector<std::vector<std::string>>& commands);

// Returns the command line `argv` as a user would type it into a POSIX shell: arguments
// holding blanks, quotes or other special characters are put in single quotes.
std::string command_line_text(const std::vector<std::string>& argv);

// Returns "exited with status N" or "was ended by signal N (name)".
std::string describe_process_status(const ProcessStatus& status);

}  // namespace helmkit
