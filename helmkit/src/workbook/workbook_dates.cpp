#include "workbook_dates.hpp"

#include <charconv>
#include <chrono>
#include <cmath>

namespace helmkit {

namespace {

using namespace std::chrono;

constexpr double k_ms_per_day = 86'400'000.0;
// 9999-12-31 23:59:59.999 in the 1900 system; the 1904 system ends 1462 days earlier.
constexpr double k_last_serial_1900 = 2'958'465.999'999;
constexpr double k_last_serial_1904 = k_last_serial_1900 - 1462.0;

bool read_number(std::string_view& text, std::size_t digits, int& value) {
    if (text.size() < digits) return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + digits, value);
    if (error != std::errc() || end != text.data() + digits) return false;
    text.remove_prefix(digits);
    return true;
}

bool read_char(std::string_view& text, char wanted) {
    if (text.empty() || text.front() != wanted) return false;
    text.remove_prefix(1);
    return true;
}

}  // namespace

bool is_builtin_date_format(std::uint32_t id) {
    // 14-22 and 45-47 everywhere; 27-36 and 50-58 are the East Asian date formats.
    return (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) ||
           (id >= 50 && id <= 58);
}

bool is_date_format_code(std::string_view code) {
    for (std::size_t i = 0; i < code.size(); ++i) {
        const char c = code[i];
        switch (c) {
            case '"': {
                const auto close = code.find('"', i + 1);
                if (close == std::string_view::npos) return false;
                i = close;
                break;
            }
            case '[': {
                const auto close = code.find(']', i + 1);
                if (close == std::string_view::npos) return false;
                i = close;
                break;
            }
            case '\\':
            case '_':
            case '*':
                ++i;  // the next character is literal, a width or a fill
                break;
            case 'd': case 'D': case 'm': case 'M': case 'y': case 'Y':
            case 'h': case 'H': case 's': case 'S':
                return true;
            default: break;
        }
    }
    return false;
}

std::optional<DateTime> serial_to_date_time(double serial, bool date1904) {
    if (!(serial >= 0.0) || serial > (date1904 ? k_last_serial_1904 : k_last_serial_1900)) {
        return std::nullopt;
    }
    const auto total_ms = static_cast<std::int64_t>(std::llround(serial * k_ms_per_day));
    const std::int64_t day_count = total_ms / static_cast<std::int64_t>(k_ms_per_day);
    const std::int64_t ms_of_day = total_ms % static_cast<std::int64_t>(k_ms_per_day);
    local_days epoch = date1904 ? local_days(1904y / January / 1) : local_days(1899y / December / 31);
    if (!date1904 && day_count >= 60) epoch -= days(1);
    return DateTime(epoch + days(day_count)) + milliseconds(ms_of_day);
}

std::optional<DateTime> parse_iso_date_time(std::string_view text) {
    int year = 0;
    int month = 0;
    int day = 0;
    if (!read_number(text, 4, year) || !read_char(text, '-') || !read_number(text, 2, month) ||
        !read_char(text, '-') || !read_number(text, 2, day)) {
        return std::nullopt;
    }
    const year_month_day date{std::chrono::year(year), std::chrono::month(month),
                              std::chrono::day(day)};
    if (!date.ok()) return std::nullopt;
    DateTime result{local_days(date)};
    if (text.empty()) return result;
    int hour = 0;
    int minute = 0;
    int second = 0;
    if (!read_char(text, 'T') || !read_number(text, 2, hour) || !read_char(text, ':') ||
        !read_number(text, 2, minute) || !read_char(text, ':') || !read_number(text, 2, second) ||
        hour > 23 || minute > 59 || second > 59) {
        return std::nullopt;
    }
    result += hours(hour) + minutes(minute) + seconds(second);
    if (read_char(text, '.')) {
        std::int64_t micros = 0;
        int scale = 100'000;
        while (!text.empty() && text.front() >= '0' && text.front() <= '9') {
            micros += (text.front() - '0') * scale;
            scale /= 10;
            text.remove_prefix(1);
        }
        result += microseconds(micros);
    }
    if (text == "Z") text.remove_prefix(1);
    if (!text.empty()) return std::nullopt;
    return result;
}

}  // namespace helmkit
