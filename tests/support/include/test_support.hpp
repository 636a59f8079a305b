#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace torvane_test {

namespace fs = std::filesystem;

// A fresh folder for one test; removed afterwards unless the test failed, in which case
// its path is printed so the files can be looked at.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const fs::path& path() const { return m_path; }
    fs::path operator/(const fs::path& name) const { return m_path / name; }

private:
    fs::path m_path;
};

struct RunResult {
    int status = -1;  // exit status, or 128 + signal number
    std::string out;
    std::string err;
};

// Runs `program` with `args` in `cwd`, standard input empty, and captures both outputs.
// `env` entries are added to (or replace those of) the current environment; an entry with
// an empty value removes the variable.
RunResult run_program(const fs::path& program, const std::vector<std::string>& args,
                      const fs::path& cwd, const std::map<std::string, std::string>& env = {});

// Runs the torvane of this build.
RunResult run_torvane(const std::vector<std::string>& args, const fs::path& cwd,
                      const std::map<std::string, std::string>& env = {});

// The torvane built with every facility OFF, when the build was told where it is.
std::optional<fs::path> minimal_binary();
fs::path torvane_binary();
fs::path source_dir();

std::string read_file(const fs::path& path);
void write_file(const fs::path& path, std::string_view content);
// Writes `content` to `path` (creating its folder) and makes it executable by everyone.
void write_script(const fs::path& path, std::string_view content);

// The names of every entry in `folder`, sorted: to check that a run leaves no stray file
// (nor temporary) behind.
std::vector<std::string> folder_names(const fs::path& folder);

// The lines of `text`, without their line feeds.
std::vector<std::string> lines_of(const std::string& text);

// The message part of a log line "YYYY-MM-DD HH:MM:SS LEVEL   Tool: message"; the line
// itself when it has not that shape.
std::string log_message(const std::string& line);

// The messages of the log lines in `err` at `level` ("INFO", "ERROR", ...).
std::vector<std::string> log_messages(const std::string& err, std::string_view level);

}  // namespace torvane_test
