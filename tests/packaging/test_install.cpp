#include <gtest/gtest.h>

#include "packaging_fixture.hpp"
#include "torvane/front.hpp"

using namespace packaging_test;

TEST(Install, InstalledProgramRunsFromAnyFolderWithoutALibraryPath) {
    TempDir prefix;
    install_into(prefix.path());
    const auto program = prefix / "bin" / "torvane";
    ASSERT_TRUE(fs::exists(program));
    expect_runs_from_anywhere(program);
}

TEST(Install, EveryLibraryLiesInItsOwnFolderFoundThroughRelativeRunPaths) {
    TempDir prefix;
    install_into(prefix.path());
    const auto libdir = prefix / k_libdir;
    EXPECT_EQ(run_path_of(prefix / "bin" / "torvane"),
              "[$ORIGIN/" + fs::path("../" + k_libdir).lexically_normal().string() + "]");
    std::vector<std::string> expected{"libhelmkit.so", "libhelmkit_workbook.so"};
    for (const auto& command : torvane::front::builtin_commands()) {
        expected.push_back("libtorvane_" + command.name + ".so");
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(folder_names(libdir), expected);
    for (const auto& name : expected) {
        // A tool library finds helmkit beside it: the program's run path does not reach it.
        EXPECT_EQ(run_path_of(libdir / name), "[$ORIGIN]") << name;
    }
}

TEST(Install, InstalledTreeStillRunsAfterBeingMoved) {
    TempDir parent;
    install_into(parent / "first");
    fs::rename(parent / "first", parent / "moved");
    TempDir elsewhere;
    const auto merged = merge_one_pdf(parent / "moved" / "bin" / "torvane", elsewhere);
    EXPECT_EQ(merged.status, 0) << merged.err;
    EXPECT_EQ(merged.out, "Success: out/merged.pdf\n") << merged.err;
}

TEST(Install, ManualPageCompletionAndExamplesGoUnderShare) {
    TempDir prefix;
    install_into(prefix.path());
    EXPECT_TRUE(fs::is_regular_file(prefix / "share" / "man" / "man1" / "torvane.1.gz"));
    EXPECT_EQ(read_file(prefix / "share" / "bash-completion" / "completions" / "torvane"),
              read_file(k_completion));
    const auto docs = prefix / "share" / "doc" / "torvane";
    EXPECT_EQ(read_file(docs / "README.md"), read_file(source_dir() / "README.md"));
    for (const auto& command : torvane::front::builtin_commands()) {
        EXPECT_TRUE(fs::exists(docs / "examples" / command.name / "demo.sh")) << command.name;
    }
    // chartdoc's batch renderer finds its script from its library's folder.
    EXPECT_EQ(read_file(prefix / "share" / "torvane" / "chartdoc" / "render_diagrams.mjs"),
              read_file(source_dir() / "torvane" / "chartdoc" / "renderer" / "render_diagrams.mjs"));
    // Only what a user runs or reads: no headers, static libraries or test programs.
    EXPECT_EQ(folder_names(prefix.path()), (std::vector<std::string>{"bin", "lib", "share"}));
    EXPECT_EQ(folder_names(prefix / "bin"), std::vector<std::string>{"torvane"});
    EXPECT_EQ(folder_names(prefix / "lib"), std::vector<std::string>{fs::path(k_libdir).filename()});
}
