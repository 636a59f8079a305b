#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "helmkit/base/error.hpp"
#include "helmkit/files/file_mg.hpp"
#include "test_support.hpp"

namespace fileMg = helmkit::fileMg;
using namespace torvane_test;

namespace {

struct ChdirGuard {
    explicit ChdirGuard(const fs::path& to) : m_old(fs::current_path()) { fs::current_path(to); }
    ~ChdirGuard() { fs::current_path(m_old); }
    fs::path m_old;
};

helmkit::app_logging::Logger& test_logger() {
    return helmkit::app_logging::lazy_logger("Helmkittest");
}

// A configuration whose deepest value sits `depth` lists and objects deep.
std::string nested_lists(std::size_t depth) {
    return R"({"config": {"unused": )" + std::string(depth - 2, '[') + std::string(depth - 2, ']') +
           "}}";
}

}  // namespace

TEST(FindFiles, MatchesExtensionsInAnyCaseWithOrWithoutTheDot) {
    TempDir dir;
    for (const char* name : {"a.png", "b.PNG", "c.jpg", "d.JPEG", "e.txt", "f.png.bak", "g"}) {
        write_file(dir / name, "x");
    }
    const auto list = fileMg::find_files_with_extensions(dir.path(), {"png", ".jpeg"});
    EXPECT_EQ(list.names, (std::vector<std::string>{"a.png", "b.PNG", "d.JPEG"}));
    ASSERT_EQ(list.paths.size(), 3u);
    EXPECT_EQ(list.paths[0], (dir / "a.png").string());
    EXPECT_EQ(list.paths[2], (dir / "d.JPEG").string());
}

TEST(FindFiles, SkipsFoldersHiddenFilesAndOtherEntries) {
    TempDir dir;
    write_file(dir / "keep.pdf", "x");
    write_file(dir / ".hidden.pdf", "x");
    write_file(dir / ".report.pdf.tmp-abc123", "x");
    fs::create_directory(dir / "folder.pdf");
    write_file(dir / "sub" / "inner.pdf", "x");
    fs::create_symlink(dir / "missing.pdf", dir / "dangling.pdf");
    const auto list = fileMg::find_files_with_extensions(dir.path(), {"pdf"});
    EXPECT_EQ(list.names, std::vector<std::string>{"keep.pdf"});
}

TEST(FindFiles, ResultIsInNaturalOrder) {
    TempDir dir;
    for (const char* name : {"RX10.png", "RX2.png", "RX1.png", "Rx3.png", "RX01.png"}) {
        write_file(dir / name, "x");
    }
    const auto list = fileMg::find_files_with_extensions(dir.path(), {"png"});
    EXPECT_EQ(list.names,
              (std::vector<std::string>{"RX01.png", "RX1.png", "RX2.png", "RX10.png", "Rx3.png"}));
}

TEST(FindFiles, RecursiveListingDescendsButSkipsHiddenFolders) {
    TempDir dir;
    write_file(dir / "top.xlsx", "x");
    write_file(dir / "sub2" / "b.xlsx", "x");
    write_file(dir / "sub10" / "a.xlsx", "x");
    write_file(dir / ".cache" / "c.xlsx", "x");
    const auto list =
        fileMg::find_files_with_extensions(dir.path(), {".xlsx"}, fileMg::Recursive::yes);
    EXPECT_EQ(list.names, (std::vector<std::string>{"b.xlsx", "a.xlsx", "top.xlsx"}));
    EXPECT_EQ(list.paths[0], (dir / "sub2" / "b.xlsx").string());
}

TEST(FindFiles, MissingFolderOrFileIsAClearError) {
    TempDir dir;
    write_file(dir / "file.png", "x");
    for (const auto& path : {dir / "nope", dir / "file.png"}) {
        try {
            fileMg::find_files_with_extensions(path, {"png"});
            FAIL() << "expected an error for " << path;
        } catch (const helmkit::Error& error) {
            EXPECT_NE(std::string(error.what()).find(path.string()), std::string::npos)
                << error.what();
        }
    }
}

TEST(CheckFileOrDir, ZeroOnlyForExistingPaths) {
    TempDir dir;
    write_file(dir / "f", "x");
    EXPECT_EQ(fileMg::checkFileOrDir(dir / "f"), 0);
    EXPECT_EQ(fileMg::checkFileOrDir(dir.path()), 0);
    EXPECT_NE(fileMg::checkFileOrDir(dir / "missing"), 0);
}

TEST(GenerateJsonTemplate, WritesIndentedOrderedUtf8JsonIntoTheCurrentFolder) {
    TempDir dir;
    ChdirGuard cwd(dir.path());
    const nlohmann::ordered_json dict = {{"zeta", {{"b", 1}, {"a", "Grüße"}}}, {"alpha", {1, 2}}};
    const auto path = fileMg::generate_json_template(dict, "t.json");
    EXPECT_EQ(path, dir / "t.json");
    EXPECT_TRUE(path.is_absolute());
    EXPECT_EQ(read_file(path),
              "{\n    \"zeta\": {\n        \"b\": 1,\n        \"a\": \"Grüße\"\n    },\n"
              "    \"alpha\": [\n        1,\n        2\n    ]\n}\n");
}

TEST(GenerateJsonTemplate, AnEditedFileIsKeptAsTheFirstFreeBackupAndAnIdenticalOneRewritten) {
    TempDir dir;
    ChdirGuard cwd(dir.path());
    const nlohmann::ordered_json dict = {{"a", 1}};
    const std::string fresh = "{\n    \"a\": 1\n}\n";

    testing::internal::CaptureStderr();
    fileMg::generate_json_template(dict, "t.json");
    fileMg::generate_json_template(dict, "t.json");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(folder_names(dir.path()), (std::vector<std::string>{"t.json"}));

    write_file(dir / "t.json", "{\"a\": 2}");
    write_file(dir / "t.json.bak.2", "taken by the user");
    testing::internal::CaptureStderr();
    fileMg::generate_json_template(dict, "t.json");
    write_file(dir / "t.json", "{\"a\": 3}");
    fileMg::generate_json_template(dict, "t.json");
    EXPECT_EQ(lines_of(testing::internal::GetCapturedStderr()),
              (std::vector<std::string>{
                  "t.json differs from the template; the earlier file is kept as " +
                      (dir / "t.json.bak").string(),
                  "t.json differs from the template; the earlier file is kept as " +
                      (dir / "t.json.bak.3").string()}));
    EXPECT_EQ(read_file(dir / "t.json"), fresh);
    EXPECT_EQ(read_file(dir / "t.json.bak"), "{\"a\": 2}");
    EXPECT_EQ(read_file(dir / "t.json.bak.2"), "taken by the user");
    EXPECT_EQ(read_file(dir / "t.json.bak.3"), "{\"a\": 3}");
    EXPECT_EQ(folder_names(dir.path()),
              (std::vector<std::string>{"t.json", "t.json.bak", "t.json.bak.2", "t.json.bak.3"}));
}

TEST(LoadJsonFile, ReturnsTheRequiredValuesInOrder) {
    TempDir dir;
    write_file(dir / "c.json", R"({"b": [1], "config": {"x": 1}, "a": "t"})");
    const auto values = fileMg::load_json_file(dir / "c.json", {"config", "a"}, test_logger());
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[0]["x"], 1);
    EXPECT_EQ(values[1], "t");
}

TEST(LoadJsonFile, EveryProblemIsOneErrorLineAndAnEmptyResult) {
    TempDir dir;
    write_file(dir / "bad.json", "{\n\n  \"config\": [1,,]\n}");
    write_file(dir / "list.json", "[]");
    write_file(dir / "nokey.json", R"({"other": 1})");
    write_file(dir / "huge.json", R"({"config": {"n": 1e400}})");
    fs::create_directory(dir / "folder");
    const std::vector<std::pair<fs::path, std::string>> cases{
        {dir / "missing.json", "No such file or directory"},
        {dir / "folder", "Is a directory"},
        {dir / "bad.json", "line 3, column"},
        {dir / "list.json", "top level"},
        {dir / "nokey.json", "'config'"},
        {dir / "huge.json", "is not valid JSON: number overflow parsing '1e400'"},
    };
    for (const auto& [path, expected] : cases) {
        testing::internal::CaptureStderr();
        const auto values = fileMg::load_json_file(path, {"config"}, test_logger());
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_TRUE(values.empty()) << path;
        const auto errors = log_messages(err, "ERROR");
        ASSERT_EQ(errors.size(), 1u) << err;
        EXPECT_NE(errors[0].find(expected), std::string::npos) << errors[0];
        EXPECT_NE(errors[0].find(path.filename().string()), std::string::npos) << errors[0];
    }
}

// The bounds of configuration reading: nesting, size and files that never end or never open.
TEST(LoadJsonFile, BoundsNestingSizeAndSpecialFilesLikeInvalidJson) {
    TempDir dir;
    write_file(dir / "deepest.json", nested_lists(512));
    write_file(dir / "deeper.json", nested_lists(513));
    write_file(dir / "very_deep.json", nested_lists(100000));
    write_file(dir / "deep_objects.json",
               [] {
                   std::string text;
                   for (int i = 0; i < 600; ++i) text += R"({"a":)";
                   return text + "1" + std::string(600, '}');
               }());
    const auto accepted = fileMg::load_json_file(dir / "deepest.json", {"config"}, test_logger());
    ASSERT_EQ(accepted.size(), 1u);
    EXPECT_TRUE(accepted[0]["unused"].is_array());

    {
        // Sparse: the size alone refuses it, nothing of it is read.
        std::ofstream big(dir / "big.json");
        big << "{}";
    }
    fs::resize_file(dir / "big.json", (std::uintmax_t{64} << 20) + 1);
    ASSERT_EQ(::mkfifo((dir / "fifo.json").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", dir / "zero.json");
    const std::string deep = "' nests lists and objects deeper than 512 levels";
    const std::vector<std::pair<fs::path, std::string>> cases{
        {dir / "deeper.json", "'" + (dir / "deeper.json").string() + deep},
        {dir / "very_deep.json", "'" + (dir / "very_deep.json").string() + deep},
        {dir / "deep_objects.json", "'" + (dir / "deep_objects.json").string() + deep},
        {dir / "big.json",
         "'" + (dir / "big.json").string() + "' is larger than 64 MiB, too large for JSON"},
        {dir / "fifo.json", "cannot read '" + (dir / "fifo.json").string() + "': not a regular file"},
        {dir / "zero.json", "cannot read '" + (dir / "zero.json").string() + "': not a regular file"},
    };
    for (const auto& [path, expected] : cases) {
        testing::internal::CaptureStderr();
        const auto values = fileMg::load_json_file(path, {"config"}, test_logger());
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_TRUE(values.empty()) << path;
        const auto errors = log_messages(err, "ERROR");
        ASSERT_EQ(errors.size(), 1u) << err;
        EXPECT_NE(errors[0].find("Failed to load config: " + expected), std::string::npos)
            << errors[0];
    }
    EXPECT_TRUE(fs::is_fifo(dir / "fifo.json"));
    EXPECT_EQ(fs::file_size(dir / "big.json"), (std::uintmax_t{64} << 20) + 1);
}

TEST(ReadFile, ReadsBinaryContentWhole) {
    TempDir dir;
    std::string content(200000, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
    write_file(dir / "blob", content);
    EXPECT_EQ(fileMg::read_file(dir / "blob"), content);
}

TEST(ReadFile, OnlyRegularFilesAreReadAndNothingWaits) {
    TempDir dir;
    write_file(dir / "plain", "text");
    fs::create_symlink(dir / "plain", dir / "link");
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    fs::create_symlink(dir / "fifo", dir / "link-to-fifo");
    fs::create_symlink("/dev/zero", dir / "zero");
    fs::create_directory(dir / "folder");
    EXPECT_EQ(fileMg::read_file(dir / "link"), "text");
    const std::vector<std::pair<fs::path, std::string>> refused{
        {dir / "fifo", "not a regular file"},
        {dir / "link-to-fifo", "not a regular file"},
        {dir / "zero", "not a regular file"},
        {"/dev/null", "not a regular file"},
        {dir / "folder", "Is a directory"},
    };
    for (const auto& [path, reason] : refused) {
        try {
            fileMg::read_text_file(path);
            ADD_FAILURE() << path << " was read";
        } catch (const helmkit::Error& error) {
            EXPECT_EQ(std::string(error.what()), "cannot read '" + path.string() + "': " + reason);
        }
    }
}
