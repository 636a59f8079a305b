#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>
#include <set>

#include "claim_workbooks.hpp"
#include "helmkit/text/utf8.hpp"
#include "test_support.hpp"

using namespace torvane_test;
using claimsort_test::run_claimsort;
using claimsort_test::write_claim;

namespace {

// The names in `folder` that are not hidden, sorted.
std::vector<std::string> visible_names(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        const auto name = entry.path().filename().string();
        if (name.front() != '.') names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(ClaimsortOutcome, StrictStatusesSayWhetherAllSomeOrNoneWereMoved) {
    const std::string config = R"({"config": {"path": "in"}})";
    const std::map<std::string, std::string> strict{{"TORVANE_STRICT", "1"}};
    struct Case {
        const char* what;
        std::vector<std::pair<const char*, const char*>> workbooks;  // file, name (null: none)
        int status;
        int strict_status;
    };
    const std::vector<Case> cases{
        {"all moved", {{"a.xlsx", "Alpha"}, {"b.xlsx", "Bravo"}}, 0, 0},
        {"some skipped", {{"a.xlsx", "Alpha"}, {"b.xlsx", nullptr}}, 0, 3},
        {"all skipped", {{"a.xlsx", nullptr}, {"b.xlsx", nullptr}}, 0, 1},
        {"nothing to do", {}, 0, 0},
    };
    for (const auto& test : cases) {
        for (const bool is_strict : {false, true}) {
            TempDir dir;
            fs::create_directories(dir / "in");
            for (const auto& [file, name] : test.workbooks) {
                if (name != nullptr) {
                    write_claim(dir / "in" / file, name, 1);
                } else {
                    write_claim(dir / "in" / file, [](TestWorkbook&, lxw_worksheet*) {});
                }
            }
            const auto result = run_claimsort(dir, config, is_strict ? strict : decltype(strict){});
            EXPECT_EQ(result.status, is_strict ? test.strict_status : test.status)
                << test.what << (is_strict ? ", strict" : "") << "\n"
                << result.err;
        }
    }
}

TEST(ClaimsortOutcome, AFailedMoveBesideAGoodOneIsPartlyDoneAndCounted) {
    TempDir dir;
    const auto in = claimsort_test::deep_input_folder(dir.path());
    write_claim(dir / in / "a.xlsx", std::string(300, 'N').c_str(), 1);
    write_claim(dir / in / "b.xlsx", "Bravo", 2);
    write_claim(dir / in / "c.xlsx", [](TestWorkbook&, lxw_worksheet*) {});
    const auto result = run_claimsort(dir, R"({"config": {"path": ")" + in.string() + "\"}}",
                                      {{"TORVANE_STRICT", "1"}, {"TORVANE_LOG_LEVEL", "debug"}});
    EXPECT_EQ(result.status, 3) << result.err;
    const auto debugs = log_messages(result.err, "DEBUG");
    ASSERT_FALSE(debugs.empty()) << result.err;
    EXPECT_EQ(debugs.back(), "Summary: 1 moved, 1 skipped, 1 failed");
    EXPECT_EQ(lines_of(result.err).back().find("Summary: "),
              lines_of(result.err).back().size() - debugs.back().size())
        << "the summary is the last line";
}

TEST(ClaimsortOutcome, TheSummaryIsADebugLineSoTheDefaultLogIsUnchanged) {
    TempDir dir;
    write_claim(dir / "in" / "a.xlsx", "Alpha", 1);
    const auto result = run_claimsort(dir, R"({"config": {"path": "in"}})");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err.find("Summary: "), std::string::npos) << result.err;
}

TEST(ClaimsortOutcome, ProgressLineOverWorkbooksOnlyOnATerminal) {
    TempDir dir;
    for (const char* file : {"a.xlsx", "b.xlsx", "c.xlsx"}) write_claim(dir / "in" / file, "A", 1);
    write_file(dir / "expense.json", R"({"config": {"path": "in", "dry_run": true}})");
    const auto piped = run_torvane({"claimsort", "-c", "expense.json"}, dir.path());
    ASSERT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(piped.err.find("Claimsort workbooks"), std::string::npos) << piped.err;

    // script(1) gives the program a terminal as its standard error.
    const std::string command =
        "TORVANE_LOG_LEVEL=debug '" + torvane_binary().string() + "' claimsort -c expense.json";
    const auto on_terminal =
        run_program("/usr/bin/script", {"-qec", command, "/dev/null"}, dir.path());
    ASSERT_EQ(on_terminal.status, 0) << on_terminal.out << on_terminal.err;
    EXPECT_NE(on_terminal.out.find("Claimsort workbooks 3/3"), std::string::npos)
        << on_terminal.out;
    EXPECT_NE(on_terminal.out.find("[Dry-Run] Summary: 3 would be moved, 0 skipped, 0 failed"),
              std::string::npos)
        << on_terminal.out;
}

#if TORVANE_TEST_HOOKS

namespace {

// The names a dry run's log says the workbooks would take in "results": the name of each
// "Would move" line, replaced by the one of a following "would move ... instead" warning.
std::vector<std::string> dry_run_names(const std::string& err) {
    std::vector<std::string> names;
    const std::regex would_move(R"(\[Dry-Run\] Would move: .* -> (.*))");
    const std::regex instead(
        R"(\[Dry-Run\] '.*' already exists; would move '.*' to '.*/(.*)' instead)");
    for (const auto& line : lines_of(err)) {
        const auto message = log_message(line);
        std::smatch match;
        if (std::regex_match(message, match, would_move)) names.push_back(match[1]);
        if (std::regex_match(message, match, instead)) names.back() = match[1];
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(ClaimsortDryRun, ShowsTheNamesTheRealRunTakesWhenNamesCollide) {
    TempDir dir;
    const std::map<std::string, std::string> fixed_clock{{"TORVANE_TEST_NOW", "1709820309.43"}};
    write_claim(dir / "in" / "a.xlsx", "Alpha", 1);
    write_claim(dir / "in" / "b.xlsx", "Alpha", 1);  // the same new name as a.xlsx
    write_claim(dir / "in" / "c.xlsx", "Alpha", 1);
    write_claim(dir / "in" / "d.xlsx", "Bravo", 2);
    write_claim(dir / "in" / "e.xlsx", "Charlie", 3);
    const std::string dry = R"({"config": {"path": "in", "dry_run": true}})";

    // A first dry run tells the name d.xlsx takes; an earlier result then holds it, and an
    // earlier backup holds e.xlsx's backup name.
    const auto first = run_claimsort(dir, dry, fixed_clock);
    const auto first_names = dry_run_names(first.err);
    ASSERT_EQ(first_names.size(), 5u) << first.err;
    const auto bravo = std::find_if(first_names.begin(), first_names.end(), [](const auto& name) {
        return name.rfind("Bravo_2_", 0) == 0;
    });
    ASSERT_NE(bravo, first_names.end());
    write_file(dir / "in" / "results" / *bravo, "an earlier result");
    write_file(dir / "in" / "backup" / "e.xlsx", "an earlier backup");

    const auto second = run_claimsort(dir, dry, fixed_clock);
    const auto promised = dry_run_names(second.err);
    const auto warnings = log_messages(second.err, "WARNING");
    EXPECT_EQ(warnings.size(), 4u) << second.err;  // b, c, d, and the backup of e
    EXPECT_NE(second.err.find("would keep the backup of 'in/e.xlsx' as 'in/backup/e_2.xlsx'"),
              std::string::npos)
        << second.err;

    const auto real = run_claimsort(dir, R"({"config": {"path": "in"}})", fixed_clock);
    ASSERT_EQ(real.status, 0) << real.err;
    auto moved = visible_names(dir / "in" / "results");
    moved.erase(std::find(moved.begin(), moved.end(), *bravo));
    EXPECT_EQ(moved, promised);
    EXPECT_EQ(std::set<std::string>(promised.begin(), promised.end()).size(), 5u);
    EXPECT_EQ(
        visible_names(dir / "in" / "backup"),
        (std::vector<std::string>{"a.xlsx", "b.xlsx", "c.xlsx", "d.xlsx", "e.xlsx", "e_2.xlsx"}));
    EXPECT_EQ(read_file(dir / "in" / "backup" / "e.xlsx"), "an earlier backup");
    EXPECT_EQ(log_messages(real.err, "WARNING").size(), 4u) << real.err;
}

// A byte that a terminal would take as a command or that would make a line display reordered:
// C0 controls other than the line feed, DEL, C1 controls, bidirectional controls, or any byte
// that is not UTF-8.
bool holds_unsafe_characters(const std::string& text) {
    if (helmkit::find_invalid_utf8(text) != std::string::npos) return true;
    for (const char32_t c : helmkit::decode_utf8(text)) {
        if ((c < 0x20 && c != '\n') || (c >= 0x7F && c <= 0x9F) || (c >= 0x202A && c <= 0x202E) ||
            (c >= 0x2066 && c <= 0x2069)) {
            return true;
        }
    }
    return false;
}

TEST(ClaimsortDryRun, HostileNameCellsGiveTheNamesTheRealRunTakes) {
    TempDir dir;
    const std::map<std::string, std::string> fixed_clock{{"TORVANE_TEST_NOW", "1709820309.43"}};
    std::string cjk;
    for (int i = 0; i < 90; ++i) cjk += "\xe5\x9b\xb3";
    const std::vector<std::string> cells{"_x0000_",
                                         "Nul_x0000_Inside",
                                         std::string(300, 'N'),
                                         cjk,
                                         "\x1b]2;Owned\x07Title",
                                         "\x1b[31mRed",
                                         "Half_xD800_Surrogate",
                                         "\xe2\x80\xae" "evil",
                                         "Del\x7f\xc2\x9b"};
    for (std::size_t i = 0; i < cells.size(); ++i) {
        write_claim(dir / "in" / ("claim_" + std::to_string(i) + ".xlsx"), cells[i].c_str(), 1);
    }
    const auto dry = run_claimsort(dir, R"({"config": {"path": "in", "dry_run": true}})",
                                   fixed_clock);
    ASSERT_EQ(dry.status, 0) << dry.err;
    EXPECT_FALSE(holds_unsafe_characters(dry.err)) << dry.err;
    const auto promised = dry_run_names(dry.err);
    ASSERT_EQ(promised.size(), cells.size()) << dry.err;

    const auto real = run_claimsort(dir, R"({"config": {"path": "in"}})", fixed_clock);
    ASSERT_EQ(real.status, 0) << real.err;
    EXPECT_TRUE(log_messages(real.err, "ERROR").empty()) << real.err;
    EXPECT_FALSE(holds_unsafe_characters(real.err)) << real.err;
    EXPECT_EQ(visible_names(dir / "in" / "results"), promised);
    for (const auto& name : promised) {
        EXPECT_LE(name.size(), 255u) << name;
        EXPECT_FALSE(holds_unsafe_characters(name)) << name;
        EXPECT_EQ(name.substr(name.size() - 21), "_1_0307_14050943.xlsx") << name;
    }
    for (const auto* expected : {"", "NulInside", "]2;OwnedTitle", "[31mRed", "HalfSurrogate",
                                 "evil", "Del"}) {
        const auto name = std::string(expected) + "_1_0307_14050943.xlsx";
        EXPECT_NE(std::find(promised.begin(), promised.end(), name), promised.end())
            << name << "\n" << dry.err;
    }
}

// Real runs over sixteen workbooks, each killed at a later point between two file operations
// (backup copies written, flushed and renamed, folders flushed, workbooks moved): every
// workbook is still whole in its folder, in results or as its backup, and no visible file is
// torn. The run after the last point completes.
TEST(ClaimsortCrash, AKillAtAnyPointOfARealRunLosesNoWorkbook) {
    TempDir source;
    std::vector<std::string> originals;
    for (int i = 0; i < 16; ++i) {
        const auto file = source / "in" / ("claim_" + std::to_string(i) + ".xlsx");
        write_claim(file, ("Person " + std::to_string(i)).c_str(), 10 + i);
        originals.push_back(read_file(file));
    }
    // 16 copies written, their file system flushed, 16 renamed, the backup folder flushed, 16
    // moves and two folders flushed.
    constexpr int k_points = 16 + 1 + 16 + 1 + 16 + 2;
    int killed = 0;
    for (int point = 1; point <= k_points + 1; ++point) {
        TempDir dir;
        fs::copy(source / "in", dir / "in");
        const auto result = run_claimsort(dir, R"({"config": {"path": "in"}})",
                                          {{"TORVANE_TEST_KILL_AT", std::to_string(point)}});
        if (result.status == 128 + 9) {
            ++killed;
        } else {
            EXPECT_EQ(point, k_points + 1) << result.err;
            EXPECT_EQ(visible_names(dir / "in" / "results").size(), originals.size());
            EXPECT_EQ(visible_names(dir / "in" / "backup").size(), originals.size());
        }

        std::multiset<std::string> found;
        for (const auto* folder : {"", "results", "backup"}) {
            for (const auto& name : visible_names(dir / "in" / folder)) {
                const auto path = dir / "in" / folder / name;
                if (!fs::is_regular_file(path) || name == "expense.json") continue;
                const auto bytes = read_file(path);
                EXPECT_NE(std::find(originals.begin(), originals.end(), bytes), originals.end())
                    << "point " << point << ": " << path << " is torn";
                found.insert(bytes);
            }
        }
        for (std::size_t i = 0; i < originals.size(); ++i) {
            EXPECT_GE(found.count(originals[i]), 1u)
                << "point " << point << ": claim_" << i << " is lost";
        }
    }
    EXPECT_EQ(killed, k_points);
}

#else

TEST(ClaimsortDryRun, ShowsTheNamesTheRealRunTakesWhenNamesCollide) {
    GTEST_SKIP() << "built without TORVANE_TEST_HOOKS";
}

TEST(ClaimsortCrash, AKillAtAnyPointOfARealRunLosesNoWorkbook) {
    GTEST_SKIP() << "built without TORVANE_TEST_HOOKS";
}

TEST(ClaimsortDryRun, HostileNameCellsGiveTheNamesTheRealRunTakes) {
    GTEST_SKIP() << "built without TORVANE_TEST_HOOKS";
}

#endif
