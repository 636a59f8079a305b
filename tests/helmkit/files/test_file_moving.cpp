#include <gtest/gtest.h>

#include <sys/stat.h>

#include "helmkit/base/app_logging.hpp"
#include "helmkit/base/error.hpp"
#include "helmkit/files/file_mg.hpp"
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
    const auto moved =
        fileMg::move_file_force(src, dir / "results" / "x.xlsx", dir / "backup" / "x.xlsx",
                                test_log());
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
