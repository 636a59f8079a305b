#include "helmkit/table/lenient_date.hpp"

#include <array>
#include <cctype>
#include <cstdio>
#include <string_view>
#include <vector>

#include "helmkit/text/ascii_case.hpp"
#include "helmkit/text/number_text.hpp"

namespace helmkit {

namespace {

using date::year_month_day;

std::optional<year_month_day> make_day(int year, int month, int day) {
    if (year < 1 || year > 9999) return std::nullopt;
    const year_month_day result{date::year{year}, date::month{static_cast<unsigned>(month)},
                                date::day{static_cast<unsigned>(day)}};
    if (month < 1 || month > 12 || day < 1 || day > 31 || !result.ok()) return std::nullopt;
    return result;
}

// Reads 1 to `max_digits` digits at `pos`; returns -1 when there is none.
int read_number(std::string_view text, std::size_t& pos, std::size_t min_digits,
                std::size_t max_digits) {
    int value = 0;
    std::size_t count = 0;
    while (pos < text.size() && is_ascii_digit(text[pos]) && count < max_digits) {
        value = value * 10 + (text[pos] - '0');
        ++pos;
        ++count;
    }
    if (count < min_digits || (pos < text.size() && is_ascii_digit(text[pos]))) return -1;
    return value;
}

// A time of day after a date: hh:mm, hh:mm:ss or hh:mm:ss.fraction, each part in range.
bool is_time_of_day(std::string_view text) {
    std::size_t pos = 0;
    const int hour = read_number(text, pos, 1, 2);
    if (hour < 0 || hour > 23 || pos >= text.size() || text[pos] != ':') return false;
    ++pos;
    const int minute = read_number(text, pos, 2, 2);
    if (minute < 0 || minute > 59) return false;
    if (pos == text.size()) return true;
    if (text[pos] != ':') return false;
    ++pos;
    const int second = read_number(text, pos, 2, 2);
    if (second < 0 || second > 59) return false;
    if (pos == text.size()) return true;
    if (text[pos] != '.' || pos + 1 == text.size()) return false;
    for (++pos; pos < text.size(); ++pos) {
        if (!is_ascii_digit(text[pos])) return false;
    }
    return true;
}

// Dates made of numbers: year first with "-", "/" or "."; yyyymmdd; m/d/y; d.m.y.
std::optional<year_month_day> read_numeric_date(std::string_view text, DayOrder order) {
    if (text.size() == 8 && text.find_first_not_of("0123456789") == std::string_view::npos) {
        std::size_t pos = 0;
        const int year = read_number(text.substr(0, 4), pos, 4, 4);
        pos = 0;
        const int month = read_number(text.substr(4, 2), pos, 2, 2);
        pos = 0;
        const int day = read_number(text.substr(6, 2), pos, 2, 2);
        return make_day(year, month, day);
    }
    std::size_t pos = 0;
    const int first = read_number(text, pos, 1, 4);
    if (first < 0 || pos >= text.size()) return std::nullopt;
    const char separator = text[pos];
    if (separator != '-' && separator != '/' && separator != '.') return std::nullopt;
    const std::size_t first_digits = pos;
    ++pos;
    const int second = read_number(text, pos, 1, 2);
    if (second < 0 || pos >= text.size() || text[pos] != separator) return std::nullopt;
    ++pos;
    if (first_digits == 4) {
        const int day = read_number(text, pos, 1, 2);
        if (day < 0) return std::nullopt;
        if (pos < text.size()) {
            const char between = text[pos];
            if (separator != '-' || (between != 'T' && between != ' ')) return std::nullopt;
            if (!is_time_of_day(text.substr(pos + 1))) return std::nullopt;
        }
        return make_day(first, second, day);
    }
    if (first_digits > 2) return std::nullopt;
    const int year = read_number(text, pos, 4, 4);
    if (year < 0 || pos != text.size()) return std::nullopt;
    if (separator == '.') return make_day(year, second, first);
    if (separator == '/') {
        const bool day_first = order == DayOrder::day_first ? second <= 12 : first > 12;
        if (day_first) return make_day(year, second, first);
        return make_day(year, first, second);
    }
    return std::nullopt;
}

constexpr std::array<std::string_view, 12> k_month_names{
    "january", "february", "march",     "april",   "may",      "june",
    "july",    "august",   "september", "october", "november", "december"};

// Returns 1..12 for an English month name, short ("Jan", "Sept") or long, any case; else 0.
int month_from_name(std::string_view word) {
    std::string lower;
    for (const char c : word) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower.size() < 3) return 0;
    for (std::size_t i = 0; i < k_month_names.size(); ++i) {
        const auto name = k_month_names[i];
        if (lower == name || lower == name.substr(0, 3) || (i == 8 && lower == "sept")) {
            return static_cast<int>(i) + 1;
        }
    }
    return 0;
}

// "15 Jan 2024" and "Jan 15, 2024".
std::optional<year_month_day> read_named_month_date(std::string_view text) {
    std::vector<std::string_view> words;
    std::size_t pos = 0;
    while (pos < text.size()) {
        if (text[pos] == ' ') {
            ++pos;
            continue;
        }
        const auto end = text.find(' ', pos);
        words.push_back(text.substr(pos, end == std::string_view::npos ? end : end - pos));
        if (end == std::string_view::npos) break;
        pos = end;
    }
    if (words.size() != 3) return std::nullopt;
    auto number_of = [](std::string_view word, std::size_t min_digits, std::size_t max_digits) {
        std::size_t at = 0;
        const int value = read_number(word, at, min_digits, max_digits);
        return at == word.size() ? value : -1;
    };
    if (const int month = month_from_name(words[1]); month != 0) {
        return make_day(number_of(words[2], 4, 4), month, number_of(words[0], 1, 2));
    }
    if (const int month = month_from_name(words[0]); month != 0 && words[1].size() > 1 &&
                                                     words[1].back() == ',') {
        words[1].remove_suffix(1);
        return make_day(number_of(words[2], 4, 4), month, number_of(words[1], 1, 2));
    }
    return std::nullopt;
}

std::optional<year_month_day> read_date_text(std::string_view text, DayOrder order) {
    text = trim_blanks(text);
    if (text.empty()) return std::nullopt;
    if (is_ascii_digit(text.front())) {
        if (auto day = read_numeric_date(text, order)) return day;
    }
    return read_named_month_date(text);
}

}  // namespace

std::optional<year_month_day> read_lenient_date(const CellValue& value, DayOrder order) {
    switch (value.index()) {
        case 1: {
            const auto number = std::get<std::int64_t>(value);
            if (number < 10000101 || number > 99991231) return std::nullopt;
            return make_day(static_cast<int>(number / 10000), static_cast<int>(number / 100 % 100),
                            static_cast<int>(number % 100));
        }
        case 3:
            return read_date_text(std::get<std::string>(value), order);
        case 5: {
            const auto days = std::chrono::floor<std::chrono::days>(std::get<DateTime>(value));
            return year_month_day{date::local_days{date::days{days.time_since_epoch().count()}}};
        }
        default: return std::nullopt;
    }
}

std::string format_iso_date(const year_month_day& day) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(day.year()),
                  static_cast<unsigned>(day.month()), static_cast<unsigned>(day.day()));
    return text;
}

}  // namespace helmkit
