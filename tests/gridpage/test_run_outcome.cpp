#include <gtest/gtest.h>

#include "gridpage_fixture.hpp"

using namespace gridpage_test;

namespace {

nlohmann::ordered_json two_by_two_from(const std::string& input = "in") {
    return {{"input_folder", input},
            {"output_file", "out/report.pdf"},
            {"layout", {{"cols", 2}, {"rows", 2}}}};
}

RunResult run_with_strict(const TempDir& dir, const std::string& strict) {
    return run_torvane({"gridpage", "-c", "merge.json"}, dir.path(), {{"TORVANE_STRICT", strict}});
}

// The exit status of the same run by default and under TORVANE_STRICT=1.
std::pair<int, int> statuses(const TempDir& dir) {
    return {run_with_strict(dir, "").status, run_with_strict(dir, "1").status};
}

}  // namespace

TEST(GridpageOutcome, RunEndsWithOneInfoLineCountingFilesPagesAndSheets) {
    TempDir dir;
    write_file(dir / "in" / "a.pdf", labelled_pdf("alpha", 3));
    write_file(dir / "in" / "b.pdf", "not a PDF at all");
    write_file(dir / "in" / "c.pdf", labelled_pdf("gamma", 2));
    write_file(dir / "in" / "d.pdf", labelled_pdf("delta", 1));
    write_config(dir, two_by_two_from());
    const auto result = run_merge(dir);
    ASSERT_EQ(result.status, 0) << result.err;
    const auto lines = lines_of(result.err);
    ASSERT_FALSE(lines.empty());
    // Three files placed six pages on 2 by 2 sheets: two sheets.
    EXPECT_EQ(log_message(lines.back()), "Summary: 3 files merged, 1 failed, 6 pages on 2 sheets")
        << result.err;
    EXPECT_NE(lines.back().find(" INFO "), std::string::npos) << lines.back();
    EXPECT_EQ(log_messages(result.err, "ERROR").size(), 1u) << result.err;
}

TEST(GridpageOutcome, RunsThatMergeNothingStillEndWithTheSummary) {
    TempDir dir;
    fs::create_directory(dir / "empty");
    for (const auto& input : {"empty", "missing"}) {
        write_config(dir, two_by_two_from(input));
        const auto result = run_merge(dir);
        EXPECT_EQ(result.status, 0) << result.err;
        const auto lines = lines_of(result.err);
        ASSERT_FALSE(lines.empty()) << input;
        EXPECT_EQ(log_message(lines.back()),
                  "Summary: 0 files merged, 0 failed, 0 pages on 0 sheets")
            << result.err;
    }
}

TEST(GridpageOutcome, StrictStatusesTellFailedAndPartlyDoneRunsApart) {
    TempDir dir;
    write_config(dir, two_by_two_from());
    fs::create_directory(dir / "in");
    // Nothing to merge is no failure.
    EXPECT_EQ(statuses(dir), std::make_pair(0, 0));

    write_file(dir / "in" / "a.pdf", labelled_pdf("alpha", 2));
    EXPECT_EQ(statuses(dir), std::make_pair(0, 0));

    write_file(dir / "in" / "b.pdf", "not a PDF at all");
    EXPECT_EQ(statuses(dir), std::make_pair(0, 3));

    fs::remove(dir / "in" / "a.pdf");
    EXPECT_EQ(statuses(dir), std::make_pair(0, 1));
    EXPECT_EQ(run_with_strict(dir, "1").out, "Success: out/report.pdf\n");

    write_config(dir, two_by_two_from("missing"));
    EXPECT_EQ(statuses(dir), std::make_pair(0, 1));
}

TEST(GridpageOutcome, StrictStatusOneForAFailedSaveAndAnUnusableConfig) {
    TempDir dir;
    write_file(dir / "in" / "a.pdf", labelled_pdf("alpha", 1));
    // A file where the output folder should be: the save fails.
    write_file(dir / "out", "in the way");
    write_config(dir, two_by_two_from());
    EXPECT_EQ(statuses(dir), std::make_pair(0, 1));

    write_file(dir / "merge.json", R"({"layout": {"cols": 2}})");
    EXPECT_EQ(statuses(dir), std::make_pair(0, 1));
}

TEST(GridpageOutcome, OnlyTheValueOneAsksForStrictStatuses) {
    TempDir dir;
    write_file(dir / "in" / "a.pdf", labelled_pdf("alpha", 1));
    write_file(dir / "in" / "b.pdf", "not a PDF at all");
    write_config(dir, two_by_two_from());
    for (const auto& value : {"0", "yes", "true", ""}) {
        EXPECT_EQ(run_with_strict(dir, value).status, 0) << value;
    }
    EXPECT_EQ(run_with_strict(dir, "1").status, 3);
    // Statuses the frame gives stay as they are.
    EXPECT_EQ(run_torvane({"gridpage"}, dir.path(), {{"TORVANE_STRICT", "1"}}).status, 1);
    EXPECT_EQ(run_torvane({"gridpage", "-c", "none.json"}, dir.path(), {{"TORVANE_STRICT", "1"}})
                  .status,
              2);
}

TEST(GridpageOutcome, ProgressLineOverFilesOnlyOnATerminal) {
    TempDir dir;
    for (const auto& name : {"a.pdf", "b.pdf", "c.pdf"}) {
        write_file(dir / "in" / name, labelled_pdf(name, 1));
    }
    write_config(dir, two_by_two_from());
    const auto piped = run_merge(dir);
    ASSERT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(piped.err.find("Gridpage files"), std::string::npos) << piped.err;

    // script(1) gives the program a terminal as its standard error.
    const std::string command =
        "'" + torvane_binary().string() + "' gridpage -c merge.json";
    const auto on_terminal =
        run_program("/usr/bin/script", {"-qec", command, "/dev/null"}, dir.path());
    ASSERT_EQ(on_terminal.status, 0) << on_terminal.out << on_terminal.err;
    EXPECT_NE(on_terminal.out.find("Gridpage files 3/3"), std::string::npos) << on_terminal.out;
    EXPECT_NE(on_terminal.out.find("Summary: 3 files merged, 0 failed, 3 pages on 1 sheets"),
              std::string::npos)
        << on_terminal.out;
}
