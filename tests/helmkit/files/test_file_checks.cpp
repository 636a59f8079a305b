#include <gtest/gtest.h>

#include "helmkit/base/error.hpp"
#include "helmkit/files/file_mg.hpp"
#include "test_support.hpp"

using namespace torvane_test;
using helmkit::fileMg::check_file_exists;
using helmkit::fileMg::get_output_file_path;

TEST(CheckFileExists, RegularFileWithAnAllowedExtensionInAnyCase) {
    TempDir dir;
    write_file(dir / "orders.csv", "x");
    write_file(dir / "ORDERS.CSV", "x");
    write_file(dir / "book.Xlsx", "x");
    write_file(dir / "noext", "x");
    fs::create_directory(dir / "folder.csv");
    fs::create_symlink(dir / "orders.csv", dir / "link.csv");
    fs::create_symlink(dir / "gone.csv", dir / "dangling.csv");
    EXPECT_TRUE(check_file_exists(dir / "orders.csv", {".csv"}));
    EXPECT_TRUE(check_file_exists(dir / "ORDERS.CSV", {".csv"}));
    EXPECT_TRUE(check_file_exists(dir / "book.Xlsx", {".xlsx", ".xls"}));
    EXPECT_TRUE(check_file_exists(dir / "book.Xlsx", {"XLSX"}));
    EXPECT_TRUE(check_file_exists(dir / "link.csv", {".csv"}));
    EXPECT_TRUE(check_file_exists(dir / "noext", {}));
    EXPECT_FALSE(check_file_exists(dir / "book.Xlsx", {".xls"}));
    EXPECT_FALSE(check_file_exists(dir / "noext", {".csv"}));
    EXPECT_FALSE(check_file_exists(dir / "folder.csv", {".csv"}));
    EXPECT_FALSE(check_file_exists(dir / "dangling.csv", {".csv"}));
    EXPECT_FALSE(check_file_exists(dir / "absent.csv", {".csv"}));
    EXPECT_FALSE(check_file_exists("", {".csv"}));
}

TEST(GetOutputFilePath, CreatesTheFolderWithItsParents) {
    TempDir dir;
    const auto path = get_output_file_path(dir / "a" / "b", "result.xlsx");
    EXPECT_EQ(path, dir / "a" / "b" / "result.xlsx");
    EXPECT_TRUE(fs::is_directory(dir / "a" / "b"));
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(get_output_file_path(dir / "a", "x.xlsx"), dir / "a" / "x.xlsx");
    EXPECT_EQ(get_output_file_path("", "x.xlsx"), fs::path(".") / "x.xlsx");
    write_file(dir / "file", "x");
    EXPECT_THROW(get_output_file_path(dir / "file", "x.xlsx"), helmkit::Error);
    EXPECT_THROW(get_output_file_path(dir / "file" / "sub", "x.xlsx"), helmkit::Error);
}

TEST(WhereLooked, NamesTheAbsolutePathTriedAndTheCurrentFolder) {
    using helmkit::fileMg::where_looked;
    const std::string cwd = fs::current_path().string();
    const std::string folder = " (current folder: '" + cwd + "')";
    EXPECT_EQ(where_looked("./data/../in put"), "Looked for '" + cwd + "/in put'" + folder);
    EXPECT_EQ(where_looked("/srv/reports"), "Looked for '/srv/reports'" + folder);
    EXPECT_EQ(where_looked(""), "The path is empty" + folder);
}
