// Fitting a caption into the room under its figure, with a width rule simple enough to check
// by hand: every character is 2 mm wide at 8 pt, in proportion at other sizes.
#if FIGDECK_HAS_PDF_LIBS

#include <gtest/gtest.h>

#include "helmkit/text/utf8.hpp"
#include "torvane/figdeck/caption_fit.hpp"

using torvane::figdeck::fit_caption;
using torvane::figdeck::FittedCaption;

namespace {

double mono_width(std::string_view text, double size) {
    return static_cast<double>(helmkit::decode_utf8(text).size()) * 2 * size / 8;
}

FittedCaption fit(std::string_view text, double room_w, double room_h) {
    return fit_caption(text, room_w, room_h, mono_width);
}

// Every line fits the width, all lines the height.
void expect_inside(const FittedCaption& fitted, double room_w, double room_h) {
    EXPECT_LE(fitted.lines.size() * fitted.line_h, room_h + 1e-9);
    for (const auto& line : fitted.lines) {
        EXPECT_LE(mono_width(line, fitted.size), room_w + 1e-9) << line;
    }
}

}  // namespace

TEST(CaptionFit, AShortCaptionStaysOneLineAt8Points) {
    const auto fitted = fit("Figure 1:  RX1", 40, 9);
    EXPECT_EQ(fitted.size, 8);
    EXPECT_EQ(fitted.line_h, 4);
    EXPECT_EQ(fitted.lines, std::vector<std::string>{"Figure 1:  RX1"});
}

TEST(CaptionFit, LinesBreakOnlyAfterBlanksUnderscoresAndHyphens) {
    // 10 characters a line at 8 pt, two lines in 9 mm.
    const auto fitted = fit("Peak_60dB-RX12 near", 20, 9);
    EXPECT_EQ(fitted.size, 8);
    EXPECT_EQ(fitted.lines, (std::vector<std::string>{"Peak_60dB-", "RX12 near"}));
    // A blank where the line breaks is not drawn at either end.
    EXPECT_EQ(fit("aaaa bbbb cccc", 20, 9).lines, (std::vector<std::string>{"aaaa bbbb", "cccc"}));
}

TEST(CaptionFit, ASmallerSizeIsTakenWhenTheLinesOrAWordNeedIt) {
    // Three lines at 8 pt (10 characters each) need 12 mm of 9; they stay three lines down to
    // 6.5 pt, and at 6 pt three lines of 3 mm fill the 9 mm.
    const auto lines = fit("aaaa bbbb cccc dddd eeee", 20, 9);
    EXPECT_EQ(lines.size, 6);
    EXPECT_EQ(lines.line_h, 3);
    EXPECT_EQ(lines.lines, (std::vector<std::string>{"aaaa bbbb", "cccc dddd", "eeee"}));
    expect_inside(lines, 20, 9);

    // A word of 12 characters fits 20 mm only from 6.5 pt on, and is not broken there.
    const auto word = fit("abcdefghijkl", 20, 9);
    EXPECT_EQ(word.size, 6.5);
    EXPECT_EQ(word.lines, std::vector<std::string>{"abcdefghijkl"});
}

TEST(CaptionFit, TooLongACaptionEndsInAnEllipsisInsideItsRoom) {
    std::string text = "Figure 1:  ";
    for (int i = 0; i < 40; ++i) text += "word" + std::to_string(i) + " ";
    const auto fitted = fit(text, 30, 6);
    EXPECT_EQ(fitted.size, 5);
    expect_inside(fitted, 30, 6);
    ASSERT_EQ(fitted.lines.size(), 2u);  // 2.5 mm a line
    EXPECT_EQ(fitted.lines[0].rfind("Figure 1:", 0), 0u);
    EXPECT_TRUE(fitted.lines[1].ends_with("\u2026")) << fitted.lines[1];

    // At 5 pt a word wider than the room is broken where it must.
    const auto word = fit("x" + std::string(60, 'y'), 30, 6);
    expect_inside(word, 30, 6);
    ASSERT_EQ(word.lines.size(), 2u);
    EXPECT_EQ(word.lines[0], "x" + std::string(23, 'y'));
    EXPECT_TRUE(word.lines[1].ends_with("\u2026"));
}

TEST(CaptionFit, NoLinesWhenNotOneFitsTheHeight) {
    EXPECT_TRUE(fit("Figure 1:  a", 40, 2.4).lines.empty());
    EXPECT_EQ(fit("Figure 1:  a", 40, 2.5).lines.size(), 1u);
}

#endif
