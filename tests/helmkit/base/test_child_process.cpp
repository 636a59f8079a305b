#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <optional>

#include "helmkit/base/child_process.hpp"
#include "helmkit/base/error.hpp"
#include "test_support.hpp"

using namespace torvane_test;

namespace {

// Sets an environment variable for the length of a test (unset with no value).
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old;
        if (value) {
            ::setenv(name, value->c_str(), 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (m_old) {
            ::setenv(m_name.c_str(), m_old->c_str(), 1);
        } else {
            ::unsetenv(m_name.c_str());
        }
    }

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

// Changes the current folder for the length of a test.
class ScopedCwd {
public:
    explicit ScopedCwd(const fs::path& path) : m_old(fs::current_path()) { fs::current_path(path); }
    ~ScopedCwd() { fs::current_path(m_old); }

private:
    fs::path m_old;
};

}  // namespace

TEST(FindProgram, SearchesPathLikeAShell) {
    TempDir dir;
    write_script(dir / "second/tool", "#!/bin/sh\n");
    write_script(dir / "third/tool", "#!/bin/sh\n");
    fs::create_directories(dir / "first/tool");     // a folder is skipped
    write_file(dir / "plain/tool", "#!/bin/sh\n");  // so is a file without execute permission
    const std::string path = (dir / "missing").string() + ":" + (dir / "first").string() + ":" +
                             (dir / "plain").string() + ":" + (dir / "second").string() + ":" +
                             (dir / "third").string();
    const ScopedEnv env("PATH", path);
    EXPECT_EQ(helmkit::find_program("tool"), dir / "second/tool");
    EXPECT_EQ(helmkit::find_program("absent"), std::nullopt);
    EXPECT_EQ(helmkit::find_program(""), std::nullopt);
    // A name with a slash is not searched.
    EXPECT_EQ(helmkit::find_program((dir / "third/tool").string()), dir / "third/tool");
    EXPECT_EQ(helmkit::find_program((dir / "plain/tool").string()), std::nullopt);
}

TEST(FindProgram, EmptyEntryIsTheCurrentFolderAndUnsetPathTheDefault) {
    TempDir dir;
    write_script(dir / "here-tool", "#!/bin/sh\n");
    const ScopedCwd cwd(dir.path());
    {
        const ScopedEnv env("PATH", "/nonexistent:");
        EXPECT_EQ(helmkit::find_program("here-tool"), fs::path("./here-tool"));
    }
    {
        const ScopedEnv env("PATH", "/nonexistent");
        EXPECT_EQ(helmkit::find_program("here-tool"), std::nullopt);
    }
    {
        const ScopedEnv env("PATH", std::nullopt);
        const auto sh = helmkit::find_program("sh");
        ASSERT_TRUE(sh.has_value());
        EXPECT_TRUE(sh->string() == "/bin/sh" || sh->string() == "/usr/bin/sh") << *sh;
    }
}

TEST(RunProcess, PassesArgumentsIntactAndReportsTheExitStatus) {
    TempDir dir;
    write_script(dir / "bin/record",
                 "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$1\"\nexit 7\n");
    const ScopedEnv env("PATH", (dir / "bin").string() + ":/usr/bin:/bin");
    const std::vector<std::string> args{
        (dir / "args.txt").string(), "-x",    "two  blanks", "it's \"q\"",
        "\xc3\xa9t\xc3\xa9",         "$HOME", "*",           ""};
    std::vector<std::string> argv{"record"};
    argv.insert(argv.end(), args.begin(), args.end());
    const auto status = helmkit::run_process(argv);
    EXPECT_EQ(status.exit_code, 7);
    EXPECT_EQ(status.signal, std::nullopt);
    EXPECT_FALSE(status.succeeded());
    EXPECT_EQ(lines_of(read_file(dir / "args.txt")), args);

    EXPECT_TRUE(helmkit::run_process({"true"}).succeeded());
}

TEST(RunProcess, ReportsTheSignalAndFailureToStart) {
    const auto killed = helmkit::run_process({"sh", "-c", "kill -TERM $$"});
    EXPECT_EQ(killed.exit_code, std::nullopt);
    EXPECT_EQ(killed.signal, SIGTERM);
    EXPECT_EQ(helmkit::describe_process_status(killed), "was ended by signal 15 (Terminated)");

    TempDir dir;
    const ScopedEnv env("PATH", dir.path().string());
    try {
        helmkit::run_process({"no-such-program", "a b"});
        FAIL() << "started a program that does not exist";
    } catch (const helmkit::Error& error) {
        EXPECT_STREQ(error.what(), "cannot start no-such-program 'a b': No such file or directory");
    }
    EXPECT_THROW(helmkit::run_process({}), helmkit::Error);
}

TEST(CommandLineText, QuotesWhatAShellWouldSplitOrExpand) {
    EXPECT_EQ(helmkit::command_line_text({"mmdc", "-i", "in/a.mmd", "-o", "out/a.svg"}),
              "mmdc -i in/a.mmd -o out/a.svg");
    EXPECT_EQ(helmkit::command_line_text({"x", "a b", "it's", "", "$v", "\xc3\xa9"}),
              "x 'a b' 'it'\\''s' '' '$v' \xc3\xa9");
    EXPECT_EQ(helmkit::describe_process_status({3, std::nullopt}), "exited with status 3");
}

TEST(RunProcessBounded, EndsTheWholeGroupAtTheBound) {
    torvane_test::TempDir dir;
    const auto pid_file = (dir / "grandchild.pid").string();
    // The child leaves a grandchild behind in its group and never ends by itself.
    const auto start = std::chrono::steady_clock::now();
    const auto [status, stopped] = helmkit::run_process_bounded(
        {"/bin/sh", "-c", "sleep 600 & echo $! > '" + pid_file + "'; trap '' TERM; sleep 600"}, 1);
    const auto seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_TRUE(stopped);
    EXPECT_FALSE(status.succeeded());
    EXPECT_GE(seconds, 1.0);
    EXPECT_LT(seconds, 20.0);
    const pid_t grandchild = std::stoi(torvane_test::read_file(pid_file));
    // A zombie waiting for whoever adopted it runs no more.
    const auto runs = [grandchild] {
        std::ifstream stat("/proc/" + std::to_string(grandchild) + "/stat");
        std::string pid, name, state;
        return stat >> pid >> name >> state && state != "Z";
    };
    for (int i = 0; i < 100 && runs(); ++i) ::usleep(50000);
    EXPECT_FALSE(runs()) << "the grandchild still runs";

    const auto [done, late] = helmkit::run_process_bounded({"/bin/sh", "-c", "exit 4"}, 30);
    EXPECT_FALSE(late);
    EXPECT_EQ(done.exit_code, 4);
    EXPECT_THROW(helmkit::run_process_bounded({"/no/such/program"}, 5), helmkit::Error);
}
