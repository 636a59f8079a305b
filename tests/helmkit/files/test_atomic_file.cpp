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

// Flushing only what replaces a file changes when the disk is waited for, nothing of what
// lands: new and replaced targets, permissions, a taken name under Overwrite::no.
TEST(AtomicFile, FlushingOnlyReplacementsPlacesTheSameFiles) {
    TempDir dir;
    write_file(dir / "old.txt", "old");
    const mode_t old_mask = ::umask(027);
    for (const auto* name : {"new.txt", "old.txt"}) {
        AtomicFile file(dir / name);
        file.write(std::string("fresh ") + name);
        file.commit(helmkit::Overwrite::yes, helmkit::Flush::when_replacing);
    }
    AtomicFile refused(dir / "old.txt");
    refused.write("must not replace");
    try {
        refused.commit(helmkit::Overwrite::no, helmkit::Flush::when_replacing);
        FAIL() << "a taken name was replaced";
    } catch (const helmkit::Error& error) {
        EXPECT_EQ(std::string(error.what()),
                  "cannot write '" + (dir / "old.txt").string() + "': File exists");
    }
    ::umask(old_mask);
    EXPECT_EQ(read_file(dir / "new.txt"), "fresh new.txt");
    EXPECT_EQ(read_file(dir / "old.txt"), "fresh old.txt");
    for (const auto* name : {"new.txt", "old.txt"}) {
        struct stat info {};
        ASSERT_EQ(::stat((dir / name).c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0640u) << name;
    }
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
    {
        AtomicFile file(dir / "target");
        // Made after the check at construction: a non-empty folder cannot be replaced by a file.
        fs::create_directory(dir / "target");
        write_file(dir / "target" / "keep.txt", "keep");
        file.write("x");
        EXPECT_THROW(file.commit(), helmkit::Error);
    }
    EXPECT_EQ(read_file(dir / "target" / "keep.txt"), "keep");
    EXPECT_EQ(folder_names(dir.path()), std::vector<std::string>{"target"});
}

// An output path naming a device, a FIFO or a folder is a mistake: renaming over it would
// replace it, and a FIFO would never be read. Nothing is opened and the entry stays as it is.
TEST(AtomicFile, ATargetThatIsNoRegularFileIsRefusedBeforeAnythingIsOpened) {
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "fifo.pdf").c_str(), 0600), 0);
    fs::create_directory(dir / "folder.pdf");
    write_file(dir / "folder.pdf" / "inside", "kept");
    fs::create_symlink("/dev/null", dir / "null.pdf");
    write_file(dir / "plain.pdf", "old");
    fs::create_symlink(dir / "plain.pdf", dir / "link.pdf");
    const std::vector<std::pair<fs::path, std::string>> refused{
        {dir / "fifo.pdf", "a FIFO"},
        {dir / "folder.pdf", "a folder"},
        {dir / "null.pdf", "a character device"},
        {"/dev/null", "a character device"},
    };
    for (const auto& [target, kind] : refused) {
        try {
            AtomicFile file(target);
            ADD_FAILURE() << target << " was opened";
        } catch (const helmkit::Error& error) {
            EXPECT_EQ(std::string(error.what()), "cannot write '" + target.string() + "': it is " +
                                                     kind +
                                                     ", not a regular file, and is left as it is");
        }
        try {
            helmkit::write_file_atomically(target, "new");
            ADD_FAILURE() << target << " was written";
        } catch (const helmkit::Error&) {
        }
    }
    EXPECT_TRUE(fs::is_fifo(dir / "fifo.pdf"));
    EXPECT_EQ(read_file(dir / "folder.pdf" / "inside"), "kept");
    EXPECT_TRUE(fs::is_symlink(dir / "null.pdf"));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_EQ(folder_names(dir.path()),
              (std::vector<std::string>{"fifo.pdf", "folder.pdf", "link.pdf", "null.pdf",
                                        "plain.pdf"}));

    // A missing target and a link to a regular file are written as before.
    helmkit::write_file_atomically(dir / "new.pdf", "new");
    EXPECT_EQ(read_file(dir / "new.pdf"), "new");
    helmkit::write_file_atomically(dir / "link.pdf", "via link");
    EXPECT_EQ(read_file(dir / "link.pdf"), "via link");
}
