#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "helmkit/text/natural_order.hpp"

using helmkit::natural_less;

TEST(NaturalOrder, DigitRunsCompareByValue) {
    EXPECT_TRUE(natural_less("RX2", "RX10"));
    EXPECT_FALSE(natural_less("RX10", "RX2"));
    EXPECT_TRUE(natural_less("img9_b", "img10_a"));
    EXPECT_TRUE(natural_less("a1b2", "a1b10"));
}

TEST(NaturalOrder, OtherCharactersCompareByCodePoint) {
    EXPECT_TRUE(natural_less("B", "a"));  // upper case sorts before lower case
    EXPECT_TRUE(natural_less("a", "b"));
    EXPECT_TRUE(natural_less("abc", "abd"));
    EXPECT_TRUE(natural_less("z", "\xc3\xa9"));  // U+00E9 after ASCII
}

TEST(NaturalOrder, PrefixSortsFirst) {
    EXPECT_TRUE(natural_less("a", "a1"));
    EXPECT_TRUE(natural_less("file", "file.txt"));
    EXPECT_FALSE(natural_less("", ""));
    EXPECT_TRUE(natural_less("", "a"));
}

TEST(NaturalOrder, EqualValuesFallBackToCodePointsSoOrderIsTotal) {
    EXPECT_TRUE(natural_less("a01", "a1"));
    EXPECT_FALSE(natural_less("a1", "a01"));
    EXPECT_FALSE(natural_less("a1", "a1"));
}

TEST(NaturalOrder, LongDigitRunsDoNotOverflow) {
    EXPECT_TRUE(natural_less("x99999999999999999999999", "x100000000000000000000000"));
    EXPECT_TRUE(natural_less("x0000000000000000000000000002", "x10"));
}

TEST(NaturalOrder, SortsAListAsAPersonWould) {
    std::vector<std::string> names{"RX10.png", "RX1.png", "RX2.png", "rx3.png", "RX02b.png"};
    std::sort(names.begin(), names.end(), natural_less);
    const std::vector<std::string> expected{"RX1.png", "RX2.png", "RX02b.png", "RX10.png",
                                            "rx3.png"};
    EXPECT_EQ(names, expected);
}
