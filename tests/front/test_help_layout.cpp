#include <gtest/gtest.h>

#include "torvane/front.hpp"

using torvane::front::layout_help_text;

TEST(HelpLayout, MarkedParagraphIsKeptLineForLineWithoutTheMarker) {
    const std::string text = "\b\n  a    b\n{\n    \"x\": 1\n}\n";
    EXPECT_EQ(layout_help_text(text, 10), "  a    b\n{\n    \"x\": 1\n}\n");
}

TEST(HelpLayout, OtherParagraphsAreRewrappedToTheWidth) {
    const std::string text = "one two three\nfour five\n";
    EXPECT_EQ(layout_help_text(text, 9), "one two\nthree\nfour five\n");
}

TEST(HelpLayout, EmptyLinesSeparateParagraphsAndTheMarkerCoversOneParagraph) {
    const std::string text = "\nalpha beta\n\n\b\nkeep   this\n\nwrap   this\n";
    EXPECT_EQ(layout_help_text(text, 80), "\nalpha beta\n\nkeep   this\n\nwrap this\n");
}

TEST(HelpLayout, AWordLongerThanTheWidthStandsAlone) {
    EXPECT_EQ(layout_help_text("a verylongword b", 4), "a\nverylongword\nb\n");
}
