#include <gtest/gtest.h>

#include "packaging_fixture.hpp"
#include "torvane/front.hpp"

using namespace packaging_test;

namespace {

// What the completion offers for the command line `words`, the last one being completed,
// in a bash that sourced the script, run in `cwd`.
std::vector<std::string> offers(const std::vector<std::string>& words, const fs::path& cwd) {
    std::string array;
    for (const auto& word : words) array += " '" + word + "'";
    const std::string script = "source '" + k_completion.string() + "'\n" +
                               "COMP_WORDS=(" + array + ")\n" +
                               "COMP_CWORD=" + std::to_string(words.size() - 1) + "\n" +
                               "COMP_LINE=\"${COMP_WORDS[*]}\"\n"
                               "_torvane torvane \"${COMP_WORDS[COMP_CWORD]}\"\n"
                               "printf '%s\\n' \"${COMPREPLY[@]}\"\n";
    const auto result = run_program("/bin/bash", {"--norc", "--noprofile", "-c", script}, cwd);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    auto lines = lines_of(result.out);
    std::erase(lines, "");
    std::sort(lines.begin(), lines.end());
    return lines;
}

}  // namespace

TEST(BashCompletion, FirstWordOffersEveryCommandAndTheFrontsOptions) {
    TempDir dir;
    std::vector<std::string> expected{"--help", "--version"};
    for (const auto& command : torvane::front::builtin_commands()) expected.push_back(command.name);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected.size(), 7u);
    EXPECT_EQ(offers({"torvane", ""}, dir.path()), expected);
    EXPECT_EQ(offers({"torvane", "gr"}, dir.path()), std::vector<std::string>{"gridpage"});
    EXPECT_EQ(offers({"torvane", "c"}, dir.path()), (std::vector<std::string>{"chartdoc", "claimsort"}));
}

TEST(BashCompletion, CommandsOfferTheirOptionsAndPathsAfterConfig) {
    TempDir dir;
    write_file(dir / "merge.json", "{}");
    write_file(dir / "match.json", "{}");
    write_file(dir / "notes.txt", "");
    EXPECT_EQ(offers({"torvane", "gridpage", "--"}, dir.path()),
              (std::vector<std::string>{"--config", "--generate-config", "--help"}));
    EXPECT_EQ(offers({"torvane", "figdeck", "-"}, dir.path()),
              (std::vector<std::string>{"--config", "--generate-config", "--help", "-c", "-h"}));
    EXPECT_EQ(offers({"torvane", "dealmatch", "-c", "m"}, dir.path()),
              (std::vector<std::string>{"match.json", "merge.json"}));
    EXPECT_EQ(offers({"torvane", "dealmatch", "--config", ""}, dir.path()),
              (std::vector<std::string>{"match.json", "merge.json", "notes.txt"}));
    // An unknown command gets nothing.
    EXPECT_TRUE(offers({"torvane", "nosuch", "--"}, dir.path()).empty());
}
