#include <gtest/gtest.h>

#include "helmkit/base/error.hpp"
#include "helmkit/files/file_mg.hpp"
#include "helmkit/text/utf8.hpp"
#include "test_support.hpp"

using namespace torvane_test;
namespace fileMg = helmkit::fileMg;

TEST(Utf8, FindsTheFirstIllFormedByte) {
    constexpr auto ok = std::string_view::npos;
    EXPECT_EQ(helmkit::find_invalid_utf8(""), ok);
    EXPECT_EQ(helmkit::find_invalid_utf8("plain ASCII text, longer than eight bytes"), ok);
    EXPECT_EQ(helmkit::find_invalid_utf8("\xc3\xa9\xe2\x86\x90\xf0\x9f\x93\x98 \xf4\x8f\xbf\xbf"),
              ok);
    EXPECT_EQ(helmkit::find_invalid_utf8("abcdefghij\xe9"), 10u);    // Latin-1
    EXPECT_EQ(helmkit::find_invalid_utf8("ab\xc0\xaf"), 2u);         // overlong "/"
    EXPECT_EQ(helmkit::find_invalid_utf8("ab\xe0\x80\xaf"), 2u);     // overlong
    EXPECT_EQ(helmkit::find_invalid_utf8("\xed\xa0\x80"), 0u);       // surrogate
    EXPECT_EQ(helmkit::find_invalid_utf8("x\xf4\x90\x80\x80"), 1u);  // above U+10FFFF
    EXPECT_EQ(helmkit::find_invalid_utf8("xyz\xe2\x86"), 3u);        // cut short
    EXPECT_EQ(helmkit::find_invalid_utf8("\x80"), 0u);               // stray continuation
}

TEST(Utf8, LineBreaksBecomeLineFeeds) {
    EXPECT_EQ(helmkit::normalise_line_breaks("a\r\nb\rc\n\r\r\nd\r"), "a\nb\nc\n\n\nd\n");
    EXPECT_EQ(helmkit::normalise_line_breaks("no breaks"), "no breaks");
}

TEST(ReadTextFile, ChecksUtf8AndNormalisesLineBreaks) {
    TempDir dir;
    write_file(dir / "crlf.txt", "one\r\ntwo\rthree\n");
    EXPECT_EQ(fileMg::read_text_file(dir / "crlf.txt"), "one\ntwo\nthree\n");
    write_file(dir / "latin1.txt", "caf\xe9\n");
    try {
        fileMg::read_text_file(dir / "latin1.txt");
        FAIL() << "accepted Latin-1 text";
    } catch (const helmkit::Error& error) {
        EXPECT_EQ(std::string(error.what()), "'" + (dir / "latin1.txt").string() +
                                                 "' is not UTF-8 text (invalid byte at offset 3)");
    }
    EXPECT_THROW(fileMg::read_text_file(dir / "missing.txt"), helmkit::Error);
    // The check alone, on bytes read earlier, names the file they came from.
    EXPECT_EQ(fileMg::text_of_file("in/a.md", "x\r\ny"), "x\ny");
    try {
        fileMg::text_of_file("in/a.md", "ok\xff");
        FAIL() << "accepted a byte that is not UTF-8";
    } catch (const helmkit::Error& error) {
        EXPECT_STREQ(error.what(), "'in/a.md' is not UTF-8 text (invalid byte at offset 2)");
    }
}

TEST(ListFolderNames, EveryEntryInNaturalOrder) {
    TempDir dir;
    for (const auto* name : {"b10.md", "b9.md", ".hidden", "A.txt"}) write_file(dir / name, "");
    fs::create_directories(dir / "sub.md");
    fs::create_symlink("nowhere", dir / "dangling");
    EXPECT_EQ(
        fileMg::list_folder_names(dir.path()),
        (std::vector<std::string>{".hidden", "A.txt", "b9.md", "b10.md", "dangling", "sub.md"}));
    EXPECT_THROW(fileMg::list_folder_names(dir / "A.txt"), helmkit::Error);
    EXPECT_THROW(fileMg::list_folder_names(dir / "none"), helmkit::Error);
}
