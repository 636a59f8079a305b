#include <gtest/gtest.h>

#include "cell_builders.hpp"
#include "helmkit/base/error.hpp"
#include "helmkit/workbook/excel_tools.hpp"

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
