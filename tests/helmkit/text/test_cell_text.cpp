#include <gtest/gtest.h>

#include <chrono>
#include <limits>

#include "table/cell_builders.hpp"
#include "helmkit/text/cell_text.hpp"
#include "helmkit/text/utf8.hpp"

using helmkit::CellValue;
using helmkit::cell_text_form;

using cell_builders::at;
using namespace std::chrono_literals;

TEST(CellTextForm, WholeAndRealNumbers) {
    EXPECT_EQ(cell_text_form(CellValue(std::int64_t{150})), "150");
    EXPECT_EQ(cell_text_form(CellValue(std::int64_t{-42})), "-42");
    EXPECT_EQ(cell_text_form(CellValue(std::int64_t{0})), "0");
    EXPECT_EQ(cell_text_form(CellValue(150.0)), "150.0");
    EXPECT_EQ(cell_text_form(CellValue(12.5)), "12.5");
    EXPECT_EQ(cell_text_form(CellValue(100.0)), "100.0");
    EXPECT_EQ(cell_text_form(CellValue(0.1 + 0.2)), "0.30000000000000004");
    EXPECT_EQ(cell_text_form(CellValue(-0.5)), "-0.5");
    EXPECT_EQ(cell_text_form(CellValue(0.0)), "0.0");
    EXPECT_EQ(cell_text_form(CellValue(-0.0)), "-0.0");
    EXPECT_EQ(cell_text_form(CellValue(1234567.125)), "1234567.125");
}

TEST(CellTextForm, ExponentFormFrom1e16AndBelow1eMinus4) {
    EXPECT_EQ(cell_text_form(CellValue(1e-05)), "1e-05");
    EXPECT_EQ(cell_text_form(CellValue(1.5e16)), "1.5e+16");
    EXPECT_EQ(cell_text_form(CellValue(1e16)), "1e+16");
    EXPECT_EQ(cell_text_form(CellValue(9999999999999998.0)), "9999999999999998.0");
    EXPECT_EQ(cell_text_form(CellValue(0.0001)), "0.0001");
    EXPECT_EQ(cell_text_form(CellValue(0.00012)), "0.00012");
    EXPECT_EQ(cell_text_form(CellValue(-2.5e-07)), "-2.5e-07");
    EXPECT_EQ(cell_text_form(CellValue(1.7976931348623157e308)), "1.7976931348623157e+308");
    EXPECT_EQ(cell_text_form(CellValue(5e-324)), "5e-324");
    EXPECT_EQ(cell_text_form(CellValue(std::numeric_limits<double>::infinity())), "inf");
}

TEST(CellTextForm, TextsBooleansDatesAndMissing) {
    EXPECT_EQ(cell_text_form(CellValue(std::string(" Alpha "))), " Alpha ");
    EXPECT_EQ(cell_text_form(CellValue(true)), "True");
    EXPECT_EQ(cell_text_form(CellValue(false)), "False");
    EXPECT_EQ(cell_text_form(CellValue(at(2024, 3, 7))), "2024-03-07 00:00:00");
    EXPECT_EQ(cell_text_form(CellValue(at(2024, 3, 7, 14, 5, 9, 437000us))),
              "2024-03-07 14:05:09.437000");
    EXPECT_EQ(cell_text_form(CellValue(at(1899, 12, 31, 23, 59, 59, 1us))),
              "1899-12-31 23:59:59.000001");
    EXPECT_EQ(cell_text_form(CellValue()), "");
}

TEST(WhiteSpaceTrimming, EveryUnicodeWhiteSpaceAtBothEnds) {
    EXPECT_EQ(helmkit::trim_white_space("  a b  "), "a b");
    EXPECT_EQ(helmkit::trim_white_space("\t\r\n\v\f x \x1c\x1f"), "x");
    // U+00A0 no-break space, U+3000 ideographic space, U+2009 thin space, U+0085 next line.
    EXPECT_EQ(helmkit::trim_white_space("\xc2\xa0\xe3\x80\x80Ünï\xe2\x80\x89\xc2\x85"), "Ünï");
    EXPECT_EQ(helmkit::trim_white_space("\xe2\x80\x8b" "a"), "\xe2\x80\x8b" "a");  // U+200B is not
    EXPECT_EQ(helmkit::trim_white_space(" \xc2\xa0 "), "");
    EXPECT_EQ(helmkit::trim_white_space(""), "");
    EXPECT_EQ(helmkit::trim_white_space("a\xc2\xa0" "b"), "a\xc2\xa0" "b");
}
