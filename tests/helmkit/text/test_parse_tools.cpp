#include <gtest/gtest.h>

#include "helmkit/text/ascii_case.hpp"
#include "helmkit/text/parse_tools.hpp"

using helmkit::parseTools::glob_match;
using helmkit::parseTools::parseFn_pattern;

namespace {

using Result = std::pair<bool, std::string>;

}  // namespace

TEST(ParseFnPattern, PlainPatternMatchesAnywhereInTheRestAndTheRestIsTheCaption) {
    EXPECT_EQ(parseFn_pattern("Result_g8_Peak_60dB_RX1.png", "g8_Peak_60dB", "Result"),
              Result(true, "g8_Peak_60dB_RX1"));
    EXPECT_EQ(parseFn_pattern("Result_g8_Peak_60dB_RX1.png", "60dB", "Result"),
              Result(true, "g8_Peak_60dB_RX1"));
    EXPECT_EQ(parseFn_pattern("Result_g8_Peak_60dB_RX1.png", "70dB", "Result"),
              Result(false, "g8_Peak_60dB_RX1"));
    // Letter case counts in the pattern too.
    EXPECT_FALSE(parseFn_pattern("Result_g8_peak.png", "Peak", "Result").first);
}

TEST(ParseFnPattern, PrefixMustStartTheStemWithItsCaseAndItsSeparatorsAreDropped) {
    EXPECT_EQ(parseFn_pattern("Result - _.g8.png", "g8", "Result"), Result(true, "g8"));
    EXPECT_FALSE(parseFn_pattern("result_g8.png", "g8", "Result").first);
    EXPECT_FALSE(parseFn_pattern("Old_Result_g8.png", "g8", "Result").first);
    // The prefix itself is not part of the rest, so it cannot be matched.
    EXPECT_FALSE(parseFn_pattern("Result_g8.png", "Result", "Result").first);
    // Separators inside the rest stay.
    EXPECT_EQ(parseFn_pattern("Result_a_-b.png", "a", "Result"), Result(true, "a_-b"));
}

TEST(ParseFnPattern, WithoutPrefixTheRestIsTheWholeStem) {
    EXPECT_EQ(parseFn_pattern("_scan.01.jpg", "scan", ""), Result(true, "_scan.01"));
    EXPECT_EQ(parseFn_pattern("noext", "ext", ""), Result(true, "noext"));
    // Only the last extension goes.
    EXPECT_EQ(parseFn_pattern("plot.tar.png", "tar", ""), Result(true, "plot.tar"));
    EXPECT_FALSE(parseFn_pattern("plot.png", "png", "").first);
}

TEST(ParseFnPattern, GlobPatternsMatchTheWholeRest) {
    EXPECT_TRUE(parseFn_pattern("Result_g8_Peak.png", "g8*", "Result").first);
    EXPECT_FALSE(parseFn_pattern("Result_xg8_Peak.png", "g8*", "Result").first);
    EXPECT_TRUE(parseFn_pattern("Result_RX1_a.png", "RX?_a", "Result").first);
    EXPECT_FALSE(parseFn_pattern("Result_RX12_a.png", "RX?_a", "Result").first);
    EXPECT_TRUE(parseFn_pattern("Result_RX2.png", "RX[123]", "Result").first);
    EXPECT_FALSE(parseFn_pattern("Result_RX4.png", "RX[123]", "Result").first);
    EXPECT_TRUE(parseFn_pattern("Result_RX4.png", "RX[!123]", "Result").first);
    EXPECT_EQ(parseFn_pattern("Result_RX4.png", "*4", "Result"), Result(true, "RX4"));
}

TEST(GlobMatch, StarsSetsRangesAndLiteralBrackets) {
    EXPECT_TRUE(glob_match("*", ""));
    EXPECT_TRUE(glob_match("a*b*c", "aXbYbZc"));
    EXPECT_FALSE(glob_match("a*b*c", "aXbYbZ"));
    EXPECT_TRUE(glob_match("*_[0-9][0-9]dB", "peak_60dB"));
    EXPECT_FALSE(glob_match("*_[0-9][0-9]dB", "peak_6xdB"));
    EXPECT_TRUE(glob_match("[]x]", "]"));
    EXPECT_TRUE(glob_match("[!a-c]z", "dz"));
    EXPECT_FALSE(glob_match("[!a-c]z", "bz"));
    EXPECT_TRUE(glob_match("a[b", "a[b"));  // an unclosed "[" is itself
    EXPECT_TRUE(glob_match("x-[a-]", "x--"));
    EXPECT_FALSE(glob_match("?", ""));
}

TEST(GlobMatch, QuestionMarkIsOneCharacterNotOneByte) {
    EXPECT_TRUE(glob_match("Messung_?", "Messung_\xC3\xBC"));   // u with umlaut
    EXPECT_FALSE(glob_match("Messung_?", "Messung_\xC3\xBCx"));
    EXPECT_TRUE(glob_match("[\xC3\xA4\xC3\xB6]", "\xC3\xB6"));  // a set of two umlauts
}

TEST(GlobMatch, ManyStarsAgainstALongNameWithoutMatch) {
    const std::string text(2000, 'a');
    EXPECT_FALSE(glob_match("*a*a*a*a*a*a*a*a*b", text));
}

TEST(EndsWithIgnoringCase, FoldsAsciiLettersOnBothSidesAndNothingElse) {
    using helmkit::ends_with_ignoring_case;
    EXPECT_TRUE(ends_with_ignoring_case("README.MD", ".md"));
    EXPECT_TRUE(ends_with_ignoring_case("page.Html", ".HTML"));
    EXPECT_TRUE(ends_with_ignoring_case(".md", ".md"));
    EXPECT_TRUE(ends_with_ignoring_case("anything", ""));
    EXPECT_FALSE(ends_with_ignoring_case("md", ".md"));
    EXPECT_FALSE(ends_with_ignoring_case("notes.mdx", ".md"));
    EXPECT_FALSE(ends_with_ignoring_case("notes.m", ".md"));
    // Only A-Z fold: '@' and '`' sit beside the letters, and a non-ASCII byte stays itself.
    EXPECT_FALSE(ends_with_ignoring_case("x.@d", ".`d"));
    EXPECT_FALSE(ends_with_ignoring_case("x.\xc3\x84", ".\xc3\xa4"));
}
