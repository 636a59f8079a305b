#include <gtest/gtest.h>
#include <sys/stat.h>

#include "helmkit/files/atomic_file.hpp"
#include "helmkit/base/error.hpp"
#include "test_support.hpp"

using helmkit::AtomicFile;
using namespace torvane_test;

TEST(AtomicFile, CommitReplacesTheTargetWhole) {
    TempDir dir;
    write_file(dir / "out.txt", "old content");
    helmkit::write_file_atomically(dir / "out.txt", "new");
    EXPECT_EQ(read_file(dir / "out.txt"), "new");
    EXPECT_EQ(folder_names(dir.path()), std::vector<std::string>{"out.txt"});
}

TEST(AtomicFile, WithoutCommitTheTargetIsUntouchedAndNoTemporaryRemains) {
    TempDir dir;
    write_file(dir / "out.txt", "good report");
    {
        AtomicFile file(dir / "out.txt");
        file.write("half a rep");
        EXPECT_TRUE(fs::exists(file.temp_path()));
        EXPECT_EQ(file.temp_path().parent_path(), dir.path());
        EXPECT_EQ(file.temp_path().filename().string().front(), '.');
    }
    EXPECT_EQ(read_file(dir / "out.txt"), "good report");
    EXPECT_EQ(folder_names(dir.path()), std::vector<std::string>{"out.txt"});
}

TEST(AtomicFile, ALibraryMayWriteTheTemporaryByName) {
    TempDir dir;
    AtomicFile file(dir / "lib.bin");
    write_file(file.temp_path(), "written by a library");
    file.commit();
    EXPECT_EQ(read_file(dir / "lib.bin"), "written by a library");
    EXPECT_EQ(folder_names(dir.path()), std::vector<std::string>{"lib.bin"});
}

TEST(AtomicFile, CommittedFileGetsTheUsualPermissions) {
    TempDir dir;
    const mode_t old_mask = ::umask(022);
    helmkit::write_file_atomically(dir / "p.txt", "x");
    ::umask(old_mask);
    struct stat info {};
    ASSERT_EQ(::stat((dir / "p.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
}

TEST(AtomicFile, MissingFolderIsAnErrorNamingTheTarget) {
    TempDir dir;
    try {
        AtomicFile file(dir / "no" / "such" / "out.txt");
        FAIL() << "expected an error";
    } catch (const helmkit::Error& error) {
        EXPECT_NE(std::string(error.what()).find("out.txt"), std::string::npos) << error.what();
        EXPECT_NE(std::string(error.what()).find("No such file or directory"), std::string::npos);
    }
}

TEST(AtomicFile, FailedRenameLeavesTheEarlierTargetAndRemovesTheTemporary) {
    TempDir dir;
    fs::create_directory(dir / "target");  // a non-empty folder cannot be replaced by a file
    write_file(dir / "target" / "keep.txt", "keep");
    {
        AtomicFile file(dir / "target");
        file.write("x");
        EXPECT_THROW(file.commit(), helmkit::Error);
    }
    EXPECT_EQ(read_file(dir / "target" / "keep.txt"), "keep");
    EXPECT_EQ(folder_names(dir.path()), std::vector<std::string>{"target"});
}
