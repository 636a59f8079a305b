#pragma once

// Runs torvane with the fault library preloaded (fault_shim.c) and checks what a run that met a
// failing file operation, or a kill, left behind.

#include <array>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "test_support.hpp"

namespace faults_test {

namespace fs = std::filesystem;
using torvane_test::RunResult;

inline const std::array<std::string, 5> k_operations{"write", "fsync", "rename", "mkdir", "open"};
inline const std::array<std::string, 4> k_errors{"ENOSPC", "EIO", "EACCES", "EXDEV"};
inline const std::map<std::string, int> k_error_numbers{
    {"ENOSPC", ENOSPC}, {"EIO", EIO}, {"EACCES", EACCES}, {"EXDEV", EXDEV}};

struct FaultRun {
    RunResult result;
    // Calls of each operation inside the folder, as counted at exit; empty after a kill.
    std::map<std::string, long> calls;
    // Where the fault struck ("write", path), when it did.
    std::optional<std::pair<std::string, std::string>> struck;
};

// Runs torvane with `args` in `folder`; `fault` is "<op>:<action>:<n>" (fault_shim.c), or empty
// to count the calls only. Only calls on paths inside `folder` count.
FaultRun run_with_fault(const std::vector<std::string>& args, const fs::path& folder,
                        const std::string& fault,
                        const std::map<std::string, std::string>& env = {});

// The TORVANE_FAULT value that makes call `n` of `operation` fail with `error`; ENOSPC also
// fails every later call, as a full disk does.
std::string fault_at(const std::string& operation, const std::string& error, long n);

// Every file and folder under a folder: relative path to content (folders map to nullopt).
using Snapshot = std::map<std::string, std::optional<std::string>>;

Snapshot snapshot(const fs::path& folder);
// Empties `folder` and recreates what `files` holds in it.
void restore(const fs::path& folder, const Snapshot& files);

// The name a user knows for `path`: its last component, without the temporary's decoration
// (".report.pdf.tmp-Ab12Cd" is report.pdf).
std::string shown_name(const std::string& path);

// Checks that the run ended by itself: no signal, no sanitizer report.
void expect_clean_end(const FaultRun& run);

// Checks that an error line (a log line at ERROR or WARNING, "Error: ..." or a "Failed" report)
// names the file the fault struck and gives the reason of the error `fault` injected.
void expect_named_error(const FaultRun& run, const std::string& fault);

// One run of a tool over a prepared folder, and what it must leave behind there.
struct Scenario {
    fs::path folder;
    std::vector<std::string> args;
    std::map<std::string, std::string> env;
    // Files the run writes (relative to the folder); after any run each holds what it held
    // before (the earlier file, or nothing) or complete new content.
    std::set<std::string> outputs;
    // The output that a reported success promises; a run that does not report success leaves
    // it as it was.
    std::string main_output;
    // Paths a run may add or change freely (a renderer's log, its images).
    std::set<std::string> scratch;
    // Whether the run's console output reports success.
    std::function<bool(const RunResult&)> reports_success;
    // Whether `content` of `output` is complete, given the files after the run and those of a
    // run without faults; by default, it equals the latter.
    std::function<bool(const std::string& output, const std::string& content,
                       const Snapshot& after, const Snapshot& clean)>
        complete;

    // Filled by count_calls: the folder before any run, and after a run without faults.
    Snapshot before;
    Snapshot clean;
};

// Runs the scenario without faults, checks that it reports success, records its files, puts
// the folder back as it was and returns the calls of each operation.
std::map<std::string, long> count_calls(Scenario& scenario);

// For every call of `operation` in turn, makes it fail (fault_at, each error number in turn) and
// checks the run: a clean end, no reported success without the complete output, an error line
// naming the file unless the run recovered fully, outputs earlier or complete, inputs
// unchanged, nothing else left behind. Fails when the tool makes no such call.
void sweep_faults(Scenario& scenario, const std::string& operation);

// Kills the run before each of its file operations in turn and checks that every output holds
// the earlier or the complete new file and every input is unchanged (hidden temporaries may
// remain); then that a second run, over what the kill left, succeeds (once for each kind of
// leftover).
void sweep_kills(Scenario& scenario);

}  // namespace faults_test
