#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

#include "table/cell_builders.hpp"
#include "helmkit/table/cell_order.hpp"
#include "helmkit/base/error.hpp"
#include "helmkit/table/table.hpp"

using helmkit::CellValue;
using helmkit::Table;
using namespace cell_builders;

TEST(TableSort, MixedColumnSortsNumbersThenDatesBooleansTextsAndMissingLast) {
    const auto day = helmkit::DateTime(std::chrono::local_days(std::chrono::year(2024) / 1 / 2));
    const std::vector<CellValue> values{text("b"),  CellValue(std::int64_t{10}), CellValue(),
                                        CellValue(2.5), text("B"), CellValue(std::int64_t{2}),
                                        text("é"),  text("a"), CellValue(10.0), CellValue(true),
                                        CellValue(day), CellValue(std::nan("")), CellValue(false),
                                        CellValue(std::int64_t{-3})};
    std::vector<CellValue> ids;
    for (std::int64_t i = 0; i < static_cast<std::int64_t>(values.size()); ++i) ids.push_back(i);
    const auto sorted = table_of({{"value", values}, {"id", ids}}).sorted_by({"value"});
    std::vector<std::int64_t> order;
    for (const auto& id : sorted.column("id")) order.push_back(std::get<std::int64_t>(id));
    // 10 and 10.0 are equal and keep their order; NaN counts as missing.
    EXPECT_EQ(order, (std::vector<std::int64_t>{13, 5, 3, 1, 8, 10, 12, 9, 4, 7, 0, 6, 2, 11}));
}

TEST(TableSort, LaterKeysBreakTiesAndEqualRowsKeepTheirOrder) {
    const auto table = table_of({
        {"po", {text("P2"), text("P1"), text("P2"), text("P1"), text("P1")}},
        {"pos", {CellValue(std::int64_t{10}), CellValue(), CellValue(std::int64_t{5}),
                 CellValue(std::int64_t{20}), CellValue(std::int64_t{20})}},
        {"id", {text("a"), text("b"), text("c"), text("d"), text("e")}},
    });
    const auto sorted = table.sorted_by({"po", "pos"});
    EXPECT_EQ(sorted.column("id"),
              (std::vector<CellValue>{text("d"), text("e"), text("b"), text("c"), text("a")}));
    EXPECT_EQ(sorted.column_names(), table.column_names());
    EXPECT_THROW(table.sorted_by({"nope"}), helmkit::Error);
}

TEST(TableSort, WholeAndRealNumbersCompareByExactValue) {
    const std::int64_t big = (std::int64_t{1} << 53) + 1;
    EXPECT_GT(helmkit::compare_cells(CellValue(big), CellValue(static_cast<double>(big))), 0);
    EXPECT_LT(helmkit::compare_cells(CellValue(-0.5), CellValue(std::int64_t{0})), 0);
    EXPECT_EQ(helmkit::compare_cells(CellValue(std::int64_t{3}), CellValue(3.0)), 0);
    EXPECT_EQ(helmkit::compare_cells(CellValue(), CellValue(std::nan(""))), 0);
}

TEST(TableColumns, RenameSelectAndShapeChecks) {
    auto table = table_of({{"RDD_SYS", {text("x")}}, {"PO", {text("p")}}, {"other", {text("o")}}});
    table.rename_columns({{"RDD_SYS", "SYSTEM_RDD"}, {"absent", "ignored"}});
    EXPECT_EQ(table.column_names(), (std::vector<std::string>{"SYSTEM_RDD", "PO", "other"}));
    const auto selected = table.select_columns({"PO", "SO", "SYSTEM_RDD"});
    EXPECT_EQ(selected.column_names(), (std::vector<std::string>{"PO", "SYSTEM_RDD"}));
    EXPECT_EQ(selected.row_count(), 1u);
    EXPECT_THROW(table.rename_columns({{"other", "PO"}}), helmkit::Error);
    EXPECT_EQ(table.column_names()[2], "other");
    EXPECT_THROW(table.add_column("PO", {text("q")}), helmkit::Error);
    EXPECT_THROW(table.add_column("two", {text("a"), text("b")}), helmkit::Error);
    EXPECT_THROW(table.column("SO"), helmkit::Error);
    EXPECT_THROW(table.set_row_labels({"a", "b"}), helmkit::Error);
}

TEST(TableColumns, EmptyMeansNoRowsOrNoColumns) {
    EXPECT_TRUE(Table().empty());
    auto no_rows = table_of({{"PO", {}}});
    EXPECT_TRUE(no_rows.empty());
    Table labels_only;
    labels_only.set_row_labels({"SYS_RDD", "CUS_RDD"});
    EXPECT_TRUE(labels_only.empty());
    EXPECT_EQ(labels_only.row_count(), 2u);
    labels_only.add_column("24-Jan", {CellValue(std::int64_t{1}), CellValue(std::int64_t{0})});
    EXPECT_FALSE(labels_only.empty());
}
