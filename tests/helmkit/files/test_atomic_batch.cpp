#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <stdexcept>

#include "helmkit/base/error.hpp"
#include "helmkit/files/atomic_batch.hpp"
#include "test_support.hpp"

using helmkit::AtomicBatch;
using helmkit::AtomicFile;
using namespace torvane_test;

namespace {

std::size_t open_descriptors() {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

}  // namespace

TEST(AtomicBatch, CommitPutsEveryOutputInPlaceAndLeavesNoTemporary) {
    TempDir dir;
    write_file(dir / "index.html", "old index");
    fs::create_directory(dir / "pages");
    AtomicBatch batch;
    batch.add(dir / "index.html", "new index");
    batch.add(dir / "pages" / "a.html", "page a");
    batch.add(dir / "pages" / "b.svg", [](AtomicFile& file) {
        file.write("<svg>");
        file.write("</svg>");
    });
    EXPECT_EQ(batch.size(), 3u);
    EXPECT_EQ(read_file(dir / "index.html"), "old index");
    EXPECT_EQ(folder_names(dir / "pages").size(), 2u);  // the two hidden temporaries

    EXPECT_TRUE(batch.commit().empty());
    EXPECT_EQ(batch.size(), 0u);
    EXPECT_EQ(read_file(dir / "index.html"), "new index");
    EXPECT_EQ(read_file(dir / "pages" / "a.html"), "page a");
    EXPECT_EQ(read_file(dir / "pages" / "b.svg"), "<svg></svg>");
    EXPECT_EQ(folder_names(dir.path()), (std::vector<std::string>{"index.html", "pages"}));
    EXPECT_EQ(folder_names(dir / "pages"), (std::vector<std::string>{"a.html", "b.svg"}));

    batch.add(dir / "pages" / "a.html", "page a, second edition");
    EXPECT_TRUE(batch.commit().empty());
    EXPECT_EQ(read_file(dir / "pages" / "a.html"), "page a, second edition");
}

TEST(AtomicBatch, WithoutCommitEveryTargetStaysAsItWas) {
    TempDir dir;
    write_file(dir / "a.txt", "old a");
    {
        AtomicBatch batch;
        batch.add(dir / "a.txt", "new a");
        batch.add(dir / "b.txt", "new b");
    }
    EXPECT_EQ(folder_names(dir.path()), std::vector<std::string>{"a.txt"});
    EXPECT_EQ(read_file(dir / "a.txt"), "old a");
}

TEST(AtomicBatch, AWriterThatThrowsDropsOnlyItsOwnOutput) {
    TempDir dir;
    AtomicBatch batch;
    batch.add(dir / "good.txt", "good");
    EXPECT_THROW(batch.add(dir / "bad.txt",
                           [](AtomicFile& file) {
                               file.write("half");
                               throw std::runtime_error("render failed");
                           }),
                 std::runtime_error);
    EXPECT_EQ(batch.size(), 1u);
    EXPECT_THROW(batch.add(dir / "missing" / "x.txt", "x"), helmkit::Error);
    EXPECT_TRUE(batch.commit().empty());
    EXPECT_EQ(folder_names(dir.path()), std::vector<std::string>{"good.txt"});
}

TEST(AtomicBatch, FailedOutputsAreReportedAndTheOthersStillGoIn) {
    TempDir dir;
    write_file(dir / "taken.txt", "keep");
    fs::create_directory(dir / "folder");
    write_file(dir / "folder" / "inside.txt", "a non-empty folder cannot be replaced by a file");
    AtomicBatch batch;
    batch.add(dir / "first.txt", "1");
    batch.add(dir / "taken.txt", "must not replace", helmkit::Overwrite::no);
    batch.add(dir / "folder", "must not replace either");
    batch.add(dir / "last.txt", "4", helmkit::Overwrite::no);
    const auto failures = batch.commit();
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_EQ(failures[0].target, dir / "taken.txt");
    EXPECT_EQ(failures[0].message,
              "cannot write '" + (dir / "taken.txt").string() + "': File exists");
    EXPECT_EQ(failures[1].target, dir / "folder");
    EXPECT_EQ(read_file(dir / "taken.txt"), "keep");
    EXPECT_EQ(read_file(dir / "first.txt"), "1");
    EXPECT_EQ(read_file(dir / "last.txt"), "4");
    EXPECT_EQ(folder_names(dir.path()),
              (std::vector<std::string>{"first.txt", "folder", "last.txt", "taken.txt"}));
}

TEST(AtomicBatch, ManyOutputsHoldNoDescriptorOpen) {
    TempDir dir;
    AtomicBatch batch;
    const auto before = open_descriptors();
    for (int i = 0; i < 64; ++i) batch.add(dir / (std::to_string(i) + ".txt"), "x");
    EXPECT_EQ(open_descriptors(), before);
    EXPECT_TRUE(batch.commit().empty());
    EXPECT_EQ(folder_names(dir.path()).size(), 64u);
}

#if TORVANE_TEST_HOOKS

// A batch replacing three files and adding two, killed at each of its crash points in turn:
// every target holds its old content or its complete new one, whatever the moment.
TEST(AtomicBatchCrash, AKillAtAnyPointLeavesOldOrCompleteNewFiles) {
    const std::string big_new(300'000, 'N');
    int killed = 0;
    bool completed = false;
    for (int point = 1; point <= 40 && !completed; ++point) {
        TempDir dir;
        for (const char* name : {"a", "b", "c"}) write_file(dir / name, std::string("old ") + name);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::setenv("TORVANE_TEST_KILL_AT", std::to_string(point).c_str(), 1);
            AtomicBatch batch;
            for (const char* name : {"a", "b", "c", "d", "e"}) batch.add(dir / name, big_new);
            ::_exit(batch.commit().empty() ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        if (WIFSIGNALED(status)) {
            EXPECT_EQ(WTERMSIG(status), SIGKILL);
            ++killed;
        } else {
            ASSERT_EQ(WEXITSTATUS(status), 0) << "point " << point;
            completed = true;
        }
        for (const char* name : {"a", "b", "c"}) {
            const auto content = read_file(dir / name);
            EXPECT_TRUE(content == std::string("old ") + name || content == big_new)
                << "point " << point << ", " << name << " holds " << content.size() << " bytes";
        }
        for (const char* name : {"d", "e"}) {
            if (fs::exists(dir / name)) {
                EXPECT_EQ(read_file(dir / name), big_new) << point;
            }
        }
        if (completed) {
            for (const char* name : {"a", "b", "c", "d", "e"}) {
                EXPECT_EQ(read_file(dir / name), big_new);
            }
        }
    }
    EXPECT_TRUE(completed);
    // Five writes, five flushes, five renames and one folder flush.
    EXPECT_EQ(killed, 16);
}

#endif
