#include "torvane/dealmatch/monthly_summary.hpp"

#include <array>
#include <cstdio>
#include <map>
#include <optional>

#include "helmkit/text/cell_text.hpp"
#include "helmkit/base/error.hpp"
#include "helmkit/table/lenient_date.hpp"
#include "helmkit/text/number_text.hpp"

namespace torvane::dealmatch {

namespace {

using helmkit::CellValue;

// A sum that stays a whole number until a real number joins it.
struct Quantity {
    std::int64_t whole = 0;
    double real = 0;
    bool is_real = false;

    void add(const CellValue& number) {
        if (const auto* value = std::get_if<std::int64_t>(&number)) {
            whole += *value;
        } else {
            is_real = true;
            real += std::get<double>(number);
        }
    }
    CellValue value() const {
        return is_real ? CellValue(real + static_cast<double>(whole)) : CellValue(whole);
    }
};

using MonthSums = std::map<date::year_month, Quantity>;

MonthSums sums_by_month(const std::vector<CellValue>& dates, const std::vector<CellValue>& qty) {
    MonthSums sums;
    for (std::size_t row = 0; row < dates.size(); ++row) {
        const auto day = helmkit::read_lenient_date(dates[row]);
        if (!day) continue;
        if (helmkit::is_missing(qty[row])) continue;
        const auto number = helmkit::read_as_number(qty[row]);
        if (!number) {
            throw helmkit::Error("QTY '" + helmkit::cell_to_text(qty[row]) + "' is not a number");
        }
        sums[day->year() / day->month()].add(*number);
    }
    return sums;
}

constexpr std::array<const char*, 12> k_month_abbreviations{
    "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::string month_label(const date::year_month& month) {
    char label[8];
    std::snprintf(label, sizeof label, "%02d-%s", static_cast<int>(month.year()) % 100,
                  k_month_abbreviations[static_cast<unsigned>(month.month()) - 1]);
    return label;
}

}  // namespace

std::vector<std::size_t> normalise_dates(helmkit::Table& table, const std::string& name,
                                         helmkit::DayOrder order) {
    std::vector<std::size_t> unreadable;
    if (!table.has_column(name)) return unreadable;
    auto& cells = table.column(name);
    for (std::size_t row = 0; row < cells.size(); ++row) {
        auto& cell = cells[row];
        const auto day = helmkit::read_lenient_date(cell, order);
        if (!day && !helmkit::is_missing(cell)) unreadable.push_back(row);
        cell = day ? CellValue(helmkit::format_iso_date(*day)) : CellValue();
    }
    return unreadable;
}

helmkit::Table monthly_summary(const helmkit::Table& result) {
    const auto& qty = result.column("QTY");
    const MonthSums system = sums_by_month(result.column("SYSTEM_RDD"), qty);
    const MonthSums customer = sums_by_month(result.column("CUSTOMER_RDD"), qty);
    std::map<date::year_month, std::array<CellValue, 2>> months;
    for (const auto& [month, sum] : system) months[month][0] = sum.value();
    for (const auto& [month, sum] : customer) months[month][1] = sum.value();

    helmkit::Table summary;
    summary.set_row_labels({"SYS_RDD", "CUS_RDD"});
    for (auto& [month, cells] : months) {
        for (auto& cell : cells) {
            if (helmkit::is_missing(cell)) cell = std::int64_t{0};
        }
        summary.add_column(month_label(month), {cells[0], cells[1]});
    }
    return summary;
}

}  // namespace torvane::dealmatch
