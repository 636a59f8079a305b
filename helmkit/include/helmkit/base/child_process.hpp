#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace helmkit {

// How a child process ended: its exit status, or the signal that ended it.
struct ProcessStatus {
    std::optional<int> exit_code;
    std::optional<int> signal;

    bool succeeded() const { return exit_code == 0; }
};

// Returns how a child ended from the status that waitpid() gave for it. Never throws.
ProcessStatus status_of_wait(int wait_status);

// Returns where a shell would find the command `name`: a name holding a "/" is taken as it
// is, any other is looked up in the folders of PATH (an empty entry meaning the current
// folder; the system's default search path when PATH is unset). A match is a regular file
// the caller may execute. Returns nothing when there is none. Starts nothing.
std::optional<std::filesystem::path> find_program(std::string_view name);

// Starts `argv[0]` (looked up like find_program, no shell) with the arguments `argv`,
// inheriting the environment, current folder and standard input, output and error, and
// waits for it to end. Throws Error naming the command when it cannot be started.
ProcessStatus run_process(const std::vector<std::string>& argv);

// Starts `argv` as run_process() does, but in a process group of its own, and waits at most
// `seconds`: past that the group is sent SIGTERM and, 5 s later, SIGKILL. Returns how the
// child ended, and true beside it when it was stopped at the bound. Throws as run_process().
std::pair<ProcessStatus, bool> run_process_bounded(const std::vector<std::string>& argv,
                                                   unsigned seconds);

// Returns the command line `argv` as a user would type it into a POSIX shell: arguments
// holding blanks, quotes or other special characters are put in single quotes.
std::string command_line_text(const std::vector<std::string>& argv);

// Returns "exited with status N" or "was ended by signal N (name)".
std::string describe_process_status(const ProcessStatus& status);

}  // namespace helmkit
