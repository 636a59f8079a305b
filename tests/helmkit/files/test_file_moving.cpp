#include <gtest/gtest.h>
#include <sys/stat.h>

#include "helmkit/base/app_logging.hpp"
#include "helmkit/base/error.hpp"
#include "helmkit/files/file_mg.hpp"
#include "helmkit/files/move_batch.hpp"
#include "test_support.hpp"

using namespace torvane_test;
namespace fileMg = helmkit::fileMg;

namespace {

helmkit::app_logging::Logger& test_log() { return helmkit::app_logging::lazy_logger("Test"); }

}  // namespace

TEST(FolderFromPath, FolderItselfParentOfFileMissingIsAnError) {
    TempDir dir;
    write_file(dir / "in" / "a.xlsx", "x");
    EXPECT_EQ(fileMg::get_folder_from_path(dir / "in"), dir / "in");
    EXPECT_EQ(fileMg::get_folder_from_path(dir / "in" / "a.xlsx"), dir / "in");
    try {
        fileMg::get_folder_from_path(dir / "nowhere");
        FAIL() << "no error for a missing folder";
    } catch (const helmkit::Error& error) {
        EXPECT_NE(std::string(error.what()).find((dir / "nowhere").string()), std::string::npos);
        EXPECT_NE(std::string(error.what()).find("No such file or directory"), std::string::npos);
    }
}

TEST(OutputPath, OnlyBuildsThePath) {
    TempDir dir;
    EXPECT_EQ(fileMg::generate_output_path(dir.path(), "results"), dir / "results");
    EXPECT_FALSE(fs::exists(dir / "results"));
}

TEST(MoveFileForce, MovesKeepsABackupAndCreatesTheFolders) {
    TempDir dir;
    write_file(dir / "a.xlsx", "original bytes");
    const auto moved = fileMg::move_file_force(dir / "a.xlsx", dir / "out" / "deep" / "b.xlsx",
                                               dir / "keep" / "a.xlsx", test_log());
    EXPECT_EQ(moved.dest, dir / "out" / "deep" / "b.xlsx");
    EXPECT_EQ(moved.backup, dir / "keep" / "a.xlsx");
    EXPECT_FALSE(fs::exists(dir / "a.xlsx"));
    EXPECT_EQ(read_file(moved.dest), "original bytes");
    EXPECT_EQ(read_file(moved.backup), "original bytes");
}

TEST(MoveFileForce, NeverReplacesAnExistingBackupOrDestination) {
    TempDir dir;
    write_file(dir / "results" / "b.xlsx", "older result");
    write_file(dir / "results" / "b_2.xlsx", "second older result");
    write_file(dir / "backup" / "a.xlsx", "older backup");
    write_file(dir / "a.xlsx", "new");
    testing::internal::CaptureStderr();
    const auto moved = fileMg::move_file_force(dir / "a.xlsx", dir / "results" / "b.xlsx",
                                               dir / "backup" / "a.xlsx", test_log());
    const auto warnings = log_messages(testing::internal::GetCapturedStderr(), "WARNING");
    EXPECT_EQ(moved.dest, dir / "results" / "b_3.xlsx");
    EXPECT_EQ(moved.backup, dir / "backup" / "a_2.xlsx");
    EXPECT_EQ(read_file(dir / "results" / "b.xlsx"), "older result");
    EXPECT_EQ(read_file(dir / "results" / "b_2.xlsx"), "second older result");
    EXPECT_EQ(read_file(dir / "results" / "b_3.xlsx"), "new");
    EXPECT_EQ(read_file(dir / "backup" / "a.xlsx"), "older backup");
    EXPECT_EQ(read_file(dir / "backup" / "a_2.xlsx"), "new");
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_NE(warnings[0].find((dir / "backup" / "a_2.xlsx").string()), std::string::npos);
    EXPECT_NE(warnings[1].find((dir / "results" / "b_3.xlsx").string()), std::string::npos);
}

TEST(MoveFileForce, AcrossFileSystemsCopiesFlushesAndRemoves) {
    TempDir dir;
    const fs::path shm = "/dev/shm";
    struct stat here {};
    struct stat there {};
    if (::stat(dir.path().c_str(), &here) != 0 || ::stat(shm.c_str(), &there) != 0 ||
        here.st_dev == there.st_dev) {
        GTEST_SKIP() << "no second file system at /dev/shm";
    }
    const auto src = shm / ("torvane-move-" + dir.path().filename().string() + ".xlsx");
    write_file(src, "crossing");
    const auto moved = fileMg::move_file_force(src, dir / "results" / "x.xlsx",
                                               dir / "backup" / "x.xlsx", test_log());
    EXPECT_FALSE(fs::exists(src));
    EXPECT_EQ(read_file(moved.dest), "crossing");
    EXPECT_EQ(read_file(moved.backup), "crossing");
}

TEST(MoveFileForce, FailuresLeaveTheOriginalWhereItWas) {
    TempDir dir;
    write_file(dir / "a.xlsx", "keep me");
    // A name longer than the file system allows fails the move after the backup was made.
    const std::string long_name(300, 'n');
    EXPECT_THROW(fileMg::move_file_force(dir / "a.xlsx", dir / "results" / (long_name + ".xlsx"),
                                         dir / "backup" / "a.xlsx", test_log()),
                 helmkit::Error);
    EXPECT_EQ(read_file(dir / "a.xlsx"), "keep me");
    EXPECT_EQ(read_file(dir / "backup" / "a.xlsx"), "keep me");

    // A results "folder" that is a file: nothing can be made there.
    write_file(dir / "blocked", "a file, not a folder");
    EXPECT_THROW(fileMg::move_file_force(dir / "a.xlsx", dir / "blocked" / "b.xlsx",
                                         dir / "backup2" / "a.xlsx", test_log()),
                 helmkit::Error);
    EXPECT_EQ(read_file(dir / "a.xlsx"), "keep me");
    EXPECT_EQ(read_file(dir / "blocked"), "a file, not a folder");

    EXPECT_THROW(fileMg::move_file_force(dir / "missing.xlsx", dir / "r" / "b.xlsx",
                                         dir / "k" / "missing.xlsx", test_log()),
                 helmkit::Error);
    EXPECT_FALSE(fs::exists(dir / "k" / "missing.xlsx"));
    EXPECT_THROW(fileMg::move_file_force(dir / "a.xlsx", dir / std::string("r\0x", 3),
                                         dir / "k" / "a.xlsx", test_log()),
                 helmkit::Error);
    EXPECT_EQ(read_file(dir / "a.xlsx"), "keep me");
}

TEST(MoveBatch, ReservedNamesCountAsTakenAndNothingIsTouched) {
    TempDir dir;
    write_file(dir / "results" / "b.xlsx", "an earlier result");
    fileMg::MoveBatch batch;
    const auto first = batch.reserve(dir / "results" / "b.xlsx", dir / "backup" / "a.xlsx");
    const auto second = batch.reserve(dir / "results" / "b.xlsx", dir / "backup" / "a.xlsx");
    const auto other = batch.reserve(dir / "results" / "c.xlsx", dir / "backup" / "c.xlsx");
    EXPECT_EQ(first.dest, dir / "results" / "b_2.xlsx");
    EXPECT_EQ(first.backup, dir / "backup" / "a.xlsx");
    EXPECT_EQ(second.dest, dir / "results" / "b_3.xlsx");
    EXPECT_EQ(second.backup, dir / "backup" / "a_2.xlsx");
    EXPECT_EQ(other.dest, dir / "results" / "c.xlsx");
    EXPECT_EQ(batch.size(), 0u);
    EXPECT_TRUE(batch.commit().empty());
    EXPECT_EQ(folder_names(dir.path()), std::vector<std::string>{"results"});
    EXPECT_EQ(folder_names(dir / "results"), std::vector<std::string>{"b.xlsx"});
}

TEST(MoveBatch, NothingMovesBeforeCommitThenEveryWorkbookMovesWithItsBackup) {
    TempDir dir;
    for (const char* name : {"a", "b", "c"})
        write_file(dir / "in" / (std::string(name) + ".xlsx"), name);
    fileMg::MoveBatch batch;
    for (const char* name : {"a", "b", "c"}) {
        const std::string file = std::string(name) + ".xlsx";
        batch.add(dir / "in" / file, dir / "in" / "results" / ("new_" + file),
                  dir / "in" / "backup" / file, test_log());
    }
    EXPECT_EQ(batch.size(), 3u);
    EXPECT_EQ(folder_names(dir / "in"),
              (std::vector<std::string>{"a.xlsx", "b.xlsx", "backup", "c.xlsx", "results"}));
    EXPECT_TRUE(folder_names(dir / "in" / "results").empty());
    for (const auto& name : folder_names(dir / "in" / "backup")) EXPECT_EQ(name.front(), '.');

    EXPECT_EQ(batch.commit(), (std::vector<std::string>{"", "", ""}));
    EXPECT_EQ(folder_names(dir / "in"), (std::vector<std::string>{"backup", "results"}));
    EXPECT_EQ(folder_names(dir / "in" / "backup"),
              (std::vector<std::string>{"a.xlsx", "b.xlsx", "c.xlsx"}));
    EXPECT_EQ(read_file(dir / "in" / "results" / "new_b.xlsx"), "b");
    EXPECT_EQ(read_file(dir / "in" / "backup" / "b.xlsx"), "b");
}

TEST(MoveBatch, AWorkbookWhoseBackupFailsStaysAndTheOthersMove) {
    TempDir dir;
    write_file(dir / "a.xlsx", "a");
    write_file(dir / "b.xlsx", "b");
    fileMg::MoveBatch batch;
    batch.add(dir / "a.xlsx", dir / "results" / "a.xlsx", dir / "backup" / "a.xlsx", test_log());
    batch.add(dir / "b.xlsx", dir / "results" / "b.xlsx", dir / "backup" / "b.xlsx", test_log());
    // Another program takes the backup name between planning and committing.
    write_file(dir / "backup" / "a.xlsx", "someone else's file");
    const auto errors = batch.commit();
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0],
              "cannot write '" + (dir / "backup" / "a.xlsx").string() + "': File exists");
    EXPECT_EQ(errors[1], "");
    EXPECT_EQ(read_file(dir / "a.xlsx"), "a");
    EXPECT_EQ(read_file(dir / "backup" / "a.xlsx"), "someone else's file");
    EXPECT_EQ(read_file(dir / "results" / "b.xlsx"), "b");
    EXPECT_EQ(folder_names(dir / "backup"), (std::vector<std::string>{"a.xlsx", "b.xlsx"}));
}

TEST(MoveBatch, WithoutCommitEveryWorkbookStaysAndNoCopyIsLeft) {
    TempDir dir;
    write_file(dir / "a.xlsx", "a");
    {
        fileMg::MoveBatch batch;
        batch.add(dir / "a.xlsx", dir / "results" / "a.xlsx", dir / "backup" / "a.xlsx",
                  test_log());
        EXPECT_THROW(batch.add(dir / "missing.xlsx", dir / "results" / "m.xlsx",
                               dir / "backup" / "m.xlsx", test_log()),
                     helmkit::Error);
        EXPECT_EQ(batch.size(), 1u);
    }
    EXPECT_EQ(read_file(dir / "a.xlsx"), "a");
    EXPECT_TRUE(folder_names(dir / "backup").empty());
    EXPECT_TRUE(folder_names(dir / "results").empty());
}
