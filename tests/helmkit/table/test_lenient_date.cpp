#include <gtest/gtest.h>

#include "helmkit/table/lenient_date.hpp"

using helmkit::CellValue;

namespace {

std::string read(const CellValue& value) {
    const auto day = helmkit::read_lenient_date(value);
    return day ? helmkit::format_iso_date(*day) : "missing";
}

std::string read(const char* text) { return read(CellValue(std::string(text))); }

}  // namespace

TEST(LenientDate, AcceptedNotations) {
    const std::vector<std::pair<const char*, const char*>> cases{
        {"2024-01-15", "2024-01-15"},          {" 2024-1-5 ", "2024-01-05"},
        {"2024/01/15", "2024-01-15"},          {"2024.01.15", "2024-01-15"},
        {"2024-01-15T08:30:00", "2024-01-15"}, {"2024-01-15 08:30", "2024-01-15"},
        {"2024-01-15 23:59:59.125", "2024-01-15"},
        {"20240115", "2024-01-15"},            {"01/15/2024", "2024-01-15"},
        {"02/01/2025", "2025-02-01"},          {"15/01/2024", "2024-01-15"},
        {"15.01.2024", "2024-01-15"},          {"5.1.2024", "2024-01-05"},
        {"15 Jan 2024", "2024-01-15"},         {"15 january 2024", "2024-01-15"},
        {"Jan 15, 2024", "2024-01-15"},        {"SEPT 3, 2024", "2024-09-03"},
        {"2024-02-29", "2024-02-29"},
    };
    for (const auto& [input, expected] : cases) EXPECT_EQ(read(input), expected) << input;
}

TEST(LenientDate, AnythingElseIsMissing) {
    for (const char* input :
         {"2024-02-30", "2023-02-29", "2024-13-01", "2024-00-10", "2024-01-32", "", "   ",
          "soon", "2024-01-15x", "2024-01-15T25:00", "2024/01/15 08:30", "24-01-15", "15-01-2024",
          "13/13/2024", "2024-1", "202401150", "15 Foo 2024", "Jan 15 2024", "Jan 15, 24",
          "1.5e3", "0000-01-01"}) {
        EXPECT_EQ(read(input), "missing") << input;
    }
}

TEST(LenientDate, NativeAndNumericCells) {
    using namespace std::chrono;
    const helmkit::DateTime evening =
        helmkit::DateTime(local_days(year(2024) / 12 / 31)) + hours(23) + minutes(59);
    EXPECT_EQ(read(CellValue(evening)), "2024-12-31");
    EXPECT_EQ(read(CellValue(helmkit::DateTime(local_days(year(1899) / 12 / 30)))), "1899-12-30");
    EXPECT_EQ(read(CellValue(std::int64_t{20240115})), "2024-01-15");
    EXPECT_EQ(read(CellValue(std::int64_t{20240230})), "missing");
    EXPECT_EQ(read(CellValue(std::int64_t{45306})), "missing");
    EXPECT_EQ(read(CellValue(45306.0)), "missing");
    EXPECT_EQ(read(CellValue(true)), "missing");
    EXPECT_EQ(read(CellValue()), "missing");
}

TEST(LenientDate, DayFirstReadsSlashedDatesTheEuropeanWay) {
    const auto read_day_first = [](const char* text) {
        const auto day =
            helmkit::read_lenient_date(CellValue(std::string(text)), helmkit::DayOrder::day_first);
        return day ? helmkit::format_iso_date(*day) : "missing";
    };
    EXPECT_EQ(read_day_first("03/04/2026"), "2026-04-03");
    EXPECT_EQ(read("03/04/2026"), "2026-03-04");
    // The other order where the second number cannot be a month.
    EXPECT_EQ(read_day_first("04/13/2026"), "2026-04-13");
    EXPECT_EQ(read_day_first("13/13/2026"), "missing");
    EXPECT_EQ(read_day_first("31/02/2026"), "missing");
    // Only slashed dates depend on the order.
    EXPECT_EQ(read_day_first("2026-03-04"), "2026-03-04");
    EXPECT_EQ(read_day_first("03.04.2026"), "2026-04-03");
}
