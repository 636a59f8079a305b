#include <gtest/gtest.h>

#include "table/cell_builders.hpp"
#include "helmkit/base/error.hpp"
#include "helmkit/table/exact_match.hpp"

using helmkit::CellValue;
using helmkit::Table;
using helmkit::excelTools::merge_exact_match;
using helmkit::excelTools::MergeOptions;
using namespace cell_builders;

namespace {

MergeOptions on_po_qty() {
    MergeOptions options;
    options.num_keys = {"PO", "QTY"};
    options.suffixes = {"_SYS", "_CUST"};
    return options;
}

}  // namespace

TEST(MergeExactMatch, NumericKeysMatchAcrossTypesAndTextsMatchTrimmed) {
    const auto left = table_of({
        {"PO", {whole(12), CellValue(12.0), text("12"), text(" A-1 "), text("0012"), CellValue(12.5),
                text("a-1")}},
        {"QTY", {whole(1), whole(1), text("1.0"), whole(2), whole(1), whole(3), whole(2)}},
        {"L", {text("l0"), text("l1"), text("l2"), text("l3"), text("l4"), text("l5"), text("l6")}},
    });
    const auto right = table_of({
        {"PO", {text("12 "), text("A-1"), text("12.50")}},
        {"QTY", {CellValue(1.0), whole(2), whole(3)}},
        {"R", {text("r0"), text("r1"), text("r2")}},
    });
    const auto merged = merge_exact_match(left, right, on_po_qty());
    EXPECT_EQ(merged.column("L"), (std::vector<CellValue>{text("l0"), text("l1"), text("l2"), text("l3"),
                                                          text("l4"), text("l5")}));
    EXPECT_EQ(merged.column("R"), (std::vector<CellValue>{text("r0"), text("r0"), text("r0"), text("r1"),
                                                          text("r0"), text("r2")}));
    // Key values come from the left side.
    EXPECT_EQ(merged.column("PO")[2], text("12"));
}

TEST(MergeExactMatch, MissingOrBlankKeysMatchNothing) {
    const auto left = table_of({{"PO", {CellValue(), text("  "), text("P")}},
                                {"QTY", {whole(1), whole(1), CellValue()}}});
    const auto right = table_of({{"PO", {CellValue(), text(""), text("P"), text(" ")}},
                                 {"QTY", {whole(1), whole(1), CellValue(), whole(1)}}});
    const auto merged = merge_exact_match(left, right, on_po_qty());
    EXPECT_TRUE(merged.empty());
    EXPECT_EQ(merged.column_names(), (std::vector<std::string>{"PO", "QTY"}));
}

TEST(MergeExactMatch, EveryPairInLeftThenRightOrderWithColumnsAndSuffixes) {
    const auto left = table_of({
        {"SO", {text("s1"), text("s2"), text("s3")}},
        {"PO", {whole(2), whole(1), whole(2)}},
        {"RDD", {text("d1"), text("d2"), text("d3")}},
        {"QTY", {whole(5), whole(5), whole(5)}},
    });
    const auto right = table_of({
        {"QTY", {whole(5), whole(5), whole(5)}},
        {"RDD", {text("c1"), text("c2"), text("c3")}},
        {"PO", {whole(2), whole(3), whole(2)}},
        {"NOTE", {text("n1"), text("n2"), text("n3")}},
    });
    const auto merged = merge_exact_match(left, right, on_po_qty());
    EXPECT_EQ(merged.column_names(),
              (std::vector<std::string>{"PO", "QTY", "SO", "RDD_SYS", "RDD_CUST", "NOTE"}));
    EXPECT_EQ(merged.column("SO"), (std::vector<CellValue>{text("s1"), text("s1"), text("s3"), text("s3")}));
    EXPECT_EQ(merged.column("RDD_CUST"),
              (std::vector<CellValue>{text("c1"), text("c3"), text("c1"), text("c3")}));
    EXPECT_EQ(merged.column("NOTE"), (std::vector<CellValue>{text("n1"), text("n3"), text("n1"), text("n3")}));
}

TEST(MergeExactMatch, KeysOutsideNumKeysCompareAsText) {
    MergeOptions options;
    options.on = {"PO"};
    const auto left = table_of({{"PO", {whole(12), text("12.0")}}});
    const auto right = table_of({{"PO", {text("12"), CellValue(12.0)}}});
    const auto merged = merge_exact_match(left, right, options);
    // 12 reads as "12" on both sides; "12.0" and 12.0 ("12") are different texts.
    EXPECT_EQ(merged.row_count(), 2u);
    EXPECT_EQ(merged.column("PO"), (std::vector<CellValue>{whole(12), whole(12)}));
}

TEST(MergeExactMatch, MissingKeyColumnOrOtherJoinIsAnError) {
    const auto with_keys = table_of({{"PO", {whole(1)}}, {"QTY", {whole(1)}}});
    const auto without_qty = table_of({{"PO", {whole(1)}}});
    EXPECT_THROW(merge_exact_match(with_keys, without_qty, on_po_qty()), helmkit::Error);
    EXPECT_THROW(merge_exact_match(without_qty, with_keys, on_po_qty()), helmkit::Error);
    auto outer = on_po_qty();
    outer.how = "outer";
    EXPECT_THROW(merge_exact_match(with_keys, with_keys, outer), helmkit::Error);
    EXPECT_THROW(merge_exact_match(with_keys, with_keys, MergeOptions{}), helmkit::Error);
}

TEST(MergeExactMatch, LargeTablesKeepLeftThenRightOrderAndCollidingKeysApart) {
    // Enough left rows to be matched in parts; keys of every kind, many that match nothing,
    // and a right key that occurs twice.
    std::vector<CellValue> po;
    std::vector<CellValue> qty;
    std::vector<CellValue> row_number;
    for (std::int64_t i = 0; i < 150'001; ++i) {
        const auto kind = i % 4;
        po.push_back(kind == 0   ? whole(i % 1000)
                     : kind == 1 ? text(("P-" + std::to_string(i % 1000)).c_str())
                     : kind == 2 ? CellValue(static_cast<double>(i % 1000) + 0.5)
                                 : CellValue());
        qty.push_back(whole(i % 3));
        row_number.push_back(whole(i));
    }
    const auto left = table_of({{"PO", po}, {"QTY", qty}, {"ROW", row_number}});
    const auto right = table_of({{"PO", {whole(4), text("P-5"), CellValue(6.5), whole(4), text("4")}},
                                 {"QTY", {whole(1), whole(2), whole(0), whole(1), whole(1)}},
                                 {"R", {text("a"), text("b"), text("c"), text("d"), text("e")}}});
    std::vector<CellValue> expected_rows;
    std::vector<CellValue> expected_right;
    for (std::int64_t i = 0; i < 150'001; ++i) {
        const auto kind = i % 4;
        const auto number = i % 1000;
        const auto q = i % 3;
        std::vector<const char*> matches;
        // "4" is a number text: it matches the whole number 4 like the other two.
        if (kind == 0 && number == 4 && q == 1) matches = {"a", "d", "e"};
        if (kind == 1 && number == 5 && q == 2) matches = {"b"};
        if (kind == 2 && number == 6 && q == 0) matches = {"c"};
        for (const char* match : matches) {
            expected_rows.push_back(whole(i));
            expected_right.push_back(text(match));
        }
    }
    helmkit::excelTools::MatchedRows matched;
    const auto merged = merge_exact_match(left, right, on_po_qty(), &matched);
    ASSERT_FALSE(expected_rows.empty());
    EXPECT_EQ(merged.column("ROW"), expected_rows);
    EXPECT_EQ(merged.column("R"), expected_right);
    // The pairs name the rows each record was made of, in record order.
    ASSERT_EQ(matched.left.size(), expected_rows.size());
    ASSERT_EQ(matched.right.size(), expected_rows.size());
    for (std::size_t i = 0; i < matched.left.size(); ++i) {
        EXPECT_EQ(whole(static_cast<std::int64_t>(matched.left[i])), expected_rows[i]) << i;
        EXPECT_EQ(right.column("R")[matched.right[i]], expected_right[i]) << i;
    }
}

// Repeated keys multiply: the pairs are counted before any is made, and a join beyond the
// bound is refused naming the total and the key that pairs the most rows.
TEST(MergeExactMatch, AJoinBeyondTheRowBoundIsRefusedBeforeAnyPairIsMade) {
    std::vector<CellValue> left_po;
    std::vector<CellValue> left_qty;
    for (int i = 0; i < 30; ++i) {
        left_po.push_back(whole(i < 20 ? 7 : 8));
        left_qty.push_back(whole(1));
    }
    std::vector<CellValue> right_po;
    std::vector<CellValue> right_qty;
    for (int i = 0; i < 15; ++i) {
        right_po.push_back(whole(i < 10 ? 7 : 8));
        right_qty.push_back(text("1"));
    }
    const auto left = table_of({{"PO", left_po}, {"QTY", left_qty}});
    const auto right = table_of({{"PO", right_po}, {"QTY", right_qty}});
    auto options = on_po_qty();
    // 20 x 10 pairs for PO 7, 10 x 5 for PO 8.
    options.max_rows = 250;
    EXPECT_EQ(merge_exact_match(left, right, options).row_count(), 250u);
    options.max_rows = 249;
    try {
        merge_exact_match(left, right, options);
        FAIL() << "a join beyond its bound was made";
    } catch (const helmkit::Error& error) {
        EXPECT_EQ(std::string(error.what()),
                  "the match would make 250 rows, more than the 249 a sheet can hold; the most "
                  "come from PO '7', QTY '1', which 20 left rows and 10 right rows share (200 rows)");
    }
    EXPECT_EQ(MergeOptions{}.max_rows, 1'048'575u);
}
