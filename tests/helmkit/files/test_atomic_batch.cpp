#include <gtest/gtest.h>
#include <sys/stat.h>
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
    AtomicBatch batch;
    batch.add(dir / "first.txt", "1");
    batch.add(dir / "taken.txt", "must not replace", helmkit::Overwrite::no);
    batch.add(dir / "folder", "must not replace either");
    // Made after the check when it was added: a non-empty folder cannot be replaced by a file.
    fs::create_directory(dir / "folder");
    write_file(dir / "folder" / "inside.txt", "a non-empty folder cannot be replaced by a file");
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

// Flushing only what replaces a file changes when the disk is waited for, nothing of what
// lands. A name taken after add() counts as one to replace.
TEST(AtomicBatch, FlushingOnlyReplacementsPlacesTheSameFiles) {
    TempDir dir;
    write_file(dir / "old.txt", "old");
    write_file(dir / "kept.txt", "keep");
    AtomicBatch batch(helmkit::Flush::when_replacing);
    for (int i = 0; i < 10; ++i) batch.add(dir / ("new" + std::to_string(i) + ".txt"), "new");
    batch.add(dir / "old.txt", "replaced");
    batch.add(dir / "late.txt", "replaced late");
    batch.add(dir / "kept.txt", "must not replace", helmkit::Overwrite::no);
    write_file(dir / "late.txt", "made meanwhile");
    const auto failures = batch.commit();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].message,
              "cannot write '" + (dir / "kept.txt").string() + "': File exists");
    EXPECT_EQ(read_file(dir / "old.txt"), "replaced");
    EXPECT_EQ(read_file(dir / "late.txt"), "replaced late");
    EXPECT_EQ(read_file(dir / "kept.txt"), "keep");
    EXPECT_EQ(read_file(dir / "new9.txt"), "new");
    EXPECT_EQ(folder_names(dir.path()).size(), 13u);
}

// NewNames::at_once puts an output under a free name in place when it is added; one whose name
// is taken waits for commit(), and without commit() it leaves that target as it was.
TEST(AtomicBatch, NewNamesAtOnceArePlacedWhenAddedAndTheOthersAtCommit) {
    TempDir dir;
    write_file(dir / "old.txt", "old");
    {
        AtomicBatch batch(helmkit::Flush::when_replacing, helmkit::NewNames::at_once);
        batch.add(dir / "new.txt", "new");
        batch.add(dir / "old.txt", "replaced");
        EXPECT_EQ(batch.size(), 1u);
        EXPECT_EQ(read_file(dir / "new.txt"), "new");
        EXPECT_EQ(read_file(dir / "old.txt"), "old");
    }
    EXPECT_EQ(read_file(dir / "old.txt"), "old");
    EXPECT_EQ(folder_names(dir.path()), (std::vector<std::string>{"new.txt", "old.txt"}));

    AtomicBatch batch(helmkit::Flush::when_replacing, helmkit::NewNames::at_once);
    batch.add(dir / "twice.txt", "first");
    batch.add(dir / "twice.txt", "second");
    batch.add(dir / "old.txt", "replaced");
    EXPECT_TRUE(batch.commit().empty());
    EXPECT_EQ(read_file(dir / "twice.txt"), "second");
    EXPECT_EQ(read_file(dir / "old.txt"), "replaced");
    EXPECT_EQ(folder_names(dir.path()).size(), 3u);
}

TEST(AtomicBatch, ManyOutputsHoldOneDescriptorPerFileSystem) {
    TempDir dir;
    AtomicBatch batch;
    const auto before = open_descriptors();
    for (int i = 0; i < 64; ++i) batch.add(dir / (std::to_string(i) + ".txt"), "x");
    EXPECT_EQ(open_descriptors(), before + 1);
    EXPECT_TRUE(batch.commit().empty());
    EXPECT_EQ(open_descriptors(), before);
    EXPECT_EQ(folder_names(dir.path()).size(), 64u);
}

#if TORVANE_TEST_HOOKS

// Batches replacing three files and adding the others, killed at each of their crash points in
// turn: every target holds its old content or its complete new one, whatever the moment. Five
// files are flushed one by one; twelve by flushing their file system; with Flush::when_replacing
// only the three that replace, one by one, and no folder.
TEST(AtomicBatchCrash, AKillAtAnyPointLeavesOldOrCompleteNewFiles) {
    const std::string big_new(300'000, 'N');
    using helmkit::Flush;
    struct Case {
        Flush flush;
        int files;
        int points;  // per file one write and one rename, the flushes, and one folder flush
    };
    for (const auto& [flush, files, points] :
         {Case{Flush::always, 5, 5 + 5 + 5 + 1}, Case{Flush::always, 12, 12 + 1 + 12 + 1},
          Case{Flush::when_replacing, 12, 12 + 3 + 12}}) {
        std::vector<std::string> names;
        for (int i = 0; i < files; ++i) names.push_back("file_" + std::to_string(i));
        int killed = 0;
        bool completed = false;
        for (int point = 1; point <= points + 1; ++point) {
            TempDir dir;
            for (int i = 0; i < 3; ++i) write_file(dir / names[i], "old " + names[i]);
            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                ::setenv("TORVANE_TEST_KILL_AT", std::to_string(point).c_str(), 1);
                AtomicBatch batch(flush);
                for (const auto& name : names) batch.add(dir / name, big_new);
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
            for (int i = 0; i < files; ++i) {
                const auto path = dir / names[i];
                if (i >= 3 && !completed && !fs::exists(path)) continue;
                const auto content = read_file(path);
                EXPECT_TRUE(content == big_new ||
                            (i < 3 && !completed && content == "old " + names[i]))
                    << files << " files, point " << point << ": " << names[i] << " holds "
                    << content.size() << " bytes";
            }
        }
        EXPECT_TRUE(completed) << files << " files";
        EXPECT_EQ(killed, points) << files << " files";
    }
}

#endif

TEST(AtomicBatch, AnOutputThatIsNoRegularFileIsRefusedAndTheOthersStillGoIn) {
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "b.html").c_str(), 0600), 0);
    AtomicBatch batch;
    batch.add(dir / "a.html", "a");
    EXPECT_THROW(batch.add(dir / "b.html", "b"), helmkit::Error);
    batch.add(dir / "c.html", "c");
    EXPECT_TRUE(batch.commit().empty());
    EXPECT_EQ(read_file(dir / "a.html"), "a");
    EXPECT_EQ(read_file(dir / "c.html"), "c");
    EXPECT_TRUE(fs::is_fifo(dir / "b.html"));
    EXPECT_EQ(folder_names(dir.path()), (std::vector<std::string>{"a.html", "b.html", "c.html"}));
}
