#include <gtest/gtest.h>

#include "packaging_fixture.hpp"

using namespace packaging_test;

namespace {

// Builds the package of this build into `dir` with cpack and returns its path.
fs::path build_package(const TempDir& dir) {
    const auto result = run_program(
        TORVANE_CPACK, {"--config", (k_build_dir / "CPackConfig.cmake").string(), "-B", dir.path().string()},
        dir.path());
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    return dir / ("torvane_" + k_version + "_amd64.deb");
}

std::string field_of(const fs::path& deb, const std::string& field) {
    const auto result = run_program("/usr/bin/dpkg-deb", {"-f", deb.string(), field}, deb.parent_path());
    EXPECT_EQ(result.status, 0) << result.err;
    return result.out.empty() ? result.out : result.out.substr(0, result.out.size() - 1);
}

std::vector<std::string> split_list(const std::string& text) {
    std::vector<std::string> items;
    std::size_t start = 0;
    while (start <= text.size()) {
        auto end = text.find(',', start);
        if (end == std::string::npos) end = text.size();
        auto item = text.substr(start, end - start);
        item.erase(0, item.find_first_not_of(' '));
        items.push_back(item.substr(0, item.find(' ')));
        start = end + 1;
    }
    return items;
}

}  // namespace

TEST(DebianPackage, PackageDependsOnTheLinkedLibrariesAndTheFontsAndRunsWhereverUnpacked) {
    TempDir dir;
    const auto deb = build_package(dir);
    ASSERT_TRUE(fs::exists(deb)) << "no " << deb << " among " << ::testing::PrintToString(folder_names(dir.path()));

    EXPECT_EQ(field_of(deb, "Package"), "torvane");
    EXPECT_EQ(field_of(deb, "Version"), k_version);
    EXPECT_EQ(field_of(deb, "Architecture"), "amd64");
    EXPECT_EQ(field_of(deb, "Suggests"), "chromium, npm");
    EXPECT_EQ(field_of(deb, "Description").find(';'), std::string::npos)
        << field_of(deb, "Description");
    const auto depends = split_list(field_of(deb, "Depends"));
    // Computed from the linked libraries: the C and C++ runtimes, qpdf (gridpage), libharu
    // (figdeck), md4c (chartdoc), libzip and expat (workbooks); the fonts are named by hand.
    for (const auto& package : {"fonts-dejavu-core", "libc6", "libstdc++6", "libhpdf-2.3.0",
                                "libmd4c-html0", "libzip4", "libexpat1"}) {
        EXPECT_NE(std::find(depends.begin(), depends.end(), package), depends.end())
            << package << " in " << field_of(deb, "Depends");
    }
    EXPECT_NE(std::find_if(depends.begin(), depends.end(),
                           [](const std::string& p) { return p.starts_with("libqpdf"); }),
              depends.end())
        << field_of(deb, "Depends");

    TempDir root;
    const auto unpacked = run_program("/usr/bin/dpkg-deb", {"-x", deb.string(), root.path().string()},
                                      dir.path());
    ASSERT_EQ(unpacked.status, 0) << unpacked.err;
    expect_runs_from_anywhere(root / "usr" / "bin" / "torvane");
    EXPECT_TRUE(fs::is_regular_file(root / "usr" / "share" / "man" / "man1" / "torvane.1.gz"));
    EXPECT_TRUE(fs::is_regular_file(root / "usr" / "share" / "bash-completion" / "completions" / "torvane"));
}
