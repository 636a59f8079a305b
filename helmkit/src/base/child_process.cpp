#include "helmkit/base/child_process.hpp"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "helmkit/base/error.hpp"
#include "helmkit/base/process_setup.hpp"

namespace helmkit {

namespace {

// The folders a shell searches when PATH is unset.
std::string default_search_path() {
    const std::size_t size = ::confstr(_CS_PATH, nullptr, 0);
    if (size == 0) return "/bin:/usr/bin";
    std::string path(size, '\0');
    ::confstr(_CS_PATH, path.data(), size);
    path.resize(size - 1);
    return path;
}

bool is_executable_file(const std::filesystem::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

bool needs_quotes(std::string_view argument) {
    if (argument.empty()) return true;
    for (const char c : argument) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || std::strchr("-_./:=+,%@", c) != nullptr ||
                           static_cast<unsigned char>(c) >= 0x80;
        if (!plain) return true;
    }
    return false;
}

}  // namespace

std::optional<std::filesystem::path> find_program(std::string_view name) {
    if (name.empty()) return std::nullopt;
    if (name.find('/') != std::string_view::npos) {
        if (is_executable_file(std::filesystem::path(name))) return std::filesystem::path(name);
        return std::nullopt;
    }
    const char* env_path = std::getenv("PATH");
    const std::string search = env_path != nullptr ? std::string(env_path) : default_search_path();
    std::size_t start = 0;
    while (true) {
        const std::size_t end = std::min(search.find(':', start), search.size());
        const std::string_view folder = std::string_view(search).substr(start, end - start);
        const auto candidate =
            (folder.empty() ? std::filesystem::path(".") : std::filesystem::path(folder)) / name;
        if (is_executable_file(candidate)) return candidate;
        if (end == search.size()) break;
        start = end + 1;
    }
    return std::nullopt;
}

namespace {

// Starts `argv`, in a process group of its own when `own_group`. Throws Error.
pid_t spawn(const std::vector<std::string>& argv, bool own_group) {
    if (argv.empty() || argv.front().empty())
        throw Error("cannot start a process without a command");
    std::vector<char*> pointers;
    pointers.reserve(argv.size() + 1);
    for (const auto& argument : argv) pointers.push_back(const_cast<char*>(argument.c_str()));
    pointers.push_back(nullptr);

    posix_spawnattr_t attributes;
    ::posix_spawnattr_init(&attributes);
    if (own_group) {
        ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        ::posix_spawnattr_setpgroup(&attributes, 0);
    }
    pid_t pid = 0;
    const int spawned = ::posix_spawnp(&pid, pointers[0], nullptr, &attributes, pointers.data(),
                                       child_environment());
    ::posix_spawnattr_destroy(&attributes);
    if (spawned != 0) {
        throw Error("cannot start " + command_line_text(argv) + ": " + std::strerror(spawned));
    }
    return pid;
}

// Waits for `pid` until `deadline`; returns whether it ended, with its raw status in `raw`.
bool wait_until(pid_t pid, std::chrono::steady_clock::time_point deadline, int& raw,
                const std::vector<std::string>& argv) {
    while (true) {
        const pid_t done = ::waitpid(pid, &raw, WNOHANG);
        if (done == pid) return true;
        if (done < 0 && errno != EINTR) {
            throw Error("cannot wait for " + command_line_text(argv) + ": " + std::strerror(errno));
        }
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

}  // namespace

ProcessStatus status_of_wait(int wait_status) {
    ProcessStatus status;
    if (WIFEXITED(wait_status)) {
        status.exit_code = WEXITSTATUS(wait_status);
    } else if (WIFSIGNALED(wait_status)) {
        status.signal = WTERMSIG(wait_status);
    }
    return status;
}

ProcessStatus run_process(const std::vector<std::string>& argv) {
    const pid_t pid = spawn(argv, false);
    int raw = 0;
    while (::waitpid(pid, &raw, 0) < 0) {
        if (errno != EINTR) {
            throw Error("cannot wait for " + command_line_text(argv) + ": " + std::strerror(errno));
        }
    }
    return status_of_wait(raw);
}

std::pair<ProcessStatus, bool> run_process_bounded(const std::vector<std::string>& argv,
                                                   unsigned seconds) {
    const pid_t pid = spawn(argv, true);
    int raw = 0;
    const auto start = std::chrono::steady_clock::now();
    if (wait_until(pid, start + std::chrono::seconds(seconds), raw, argv)) {
        return {status_of_wait(raw), false};
    }
    ::kill(-pid, SIGTERM);
    if (!wait_until(pid, std::chrono::steady_clock::now() + std::chrono::seconds(5), raw, argv)) {
        ::kill(-pid, SIGKILL);
        while (::waitpid(pid, &raw, 0) < 0 && errno == EINTR) {
        }
    }
    // What the group started and left behind goes too.
    ::kill(-pid, SIGKILL);
    return {status_of_wait(raw), true};
}

std::string command_line_text(const std::vector<std::string>& argv) {
    std::string text;
    for (const auto& argument : argv) {
        if (!text.empty()) text += ' ';
        if (!needs_quotes(argument)) {
            text += argument;
            continue;
        }
        text += '\'';
        for (const char c : argument) {
            if (c == '\'') {
                text += "'\\''";
            } else {
                text += c;
            }
        }
        text += '\'';
    }
    return text;
}

std::string describe_process_status(const ProcessStatus& status) {
    if (status.exit_code) return "exited with status " + std::to_string(*status.exit_code);
    if (status.signal) {
        const char* name = ::strsignal(*status.signal);
        return "was ended by signal " + std::to_string(*status.signal) +
               (name != nullptr ? std::string(" (") + name + ")" : std::string());
    }
    return "ended in an unknown way";
}

}  // namespace helmkit
