#include "helmkit/text/cell_text.hpp"

#include <fmt/format.h>

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string_view>

namespace helmkit {

namespace {

std::string date_time_text(const DateTime& value) {
    using namespace std::chrono;
    const auto day = floor<days>(value);
    const year_month_day date{day};
    const hh_mm_ss clock{value - day};
    std::string text = fmt::format("{:04}-{:02}-{:02} {:02}:{:02}:{:02}", int(date.year()),
                                   unsigned(date.month()), unsigned(date.day()),
                                   clock.hours().count(), clock.minutes().count(),
                                   clock.seconds().count());
    if (clock.subseconds().count() != 0) text += fmt::format(".{:06}", clock.subseconds().count());
    return text;
}

std::string real_text_form(double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    char buffer[64];
    // Shortest digits that read back as the same double, as d.ddde±XX.
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    std::string_view scientific(buffer, static_cast<std::size_t>(result.ptr - buffer));
    std::string text;
    if (scientific.front() == '-') {
        text = "-";
        scientific.remove_prefix(1);
    }
    const auto e = scientific.find('e');
    const int exponent = std::atoi(std::string(scientific.substr(e + 1)).c_str());
    std::string digits(scientific.substr(0, e));
    if (digits.size() > 1) digits.erase(1, 1);  // the point after the first digit

    if (exponent < -4 || exponent >= 16) {
        text += digits.front();
        if (digits.size() > 1) text += "." + digits.substr(1);
        text += fmt::format("e{}{:02}", exponent < 0 ? '-' : '+', std::abs(exponent));
    } else if (exponent < 0) {
        text += "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
    } else {
        const auto point = static_cast<std::size_t>(exponent + 1);
        if (digits.size() <= point) {
            text += digits + std::string(point - digits.size(), '0') + ".0";
        } else {
            text += digits.substr(0, point) + "." + digits.substr(point);
        }
    }
    return text;
}

}  // namespace

std::string cell_to_text(const CellValue& value) {
    switch (value.index()) {
        case 1: return fmt::format("{}", std::get<std::int64_t>(value));
        case 2: return fmt::format("{}", std::get<double>(value));
        case 3: return std::get<std::string>(value);
        case 4: return std::get<bool>(value) ? "TRUE" : "FALSE";
        case 5: return date_time_text(std::get<DateTime>(value));
        default: return "";
    }
}

std::string cell_text_form(const CellValue& value) {
    switch (value.index()) {
        case 1: return std::to_string(std::get<std::int64_t>(value));
        case 2: return real_text_form(std::get<double>(value));
        case 3: return std::get<std::string>(value);
        case 4: return std::get<bool>(value) ? "True" : "False";
        case 5: return date_time_text(std::get<DateTime>(value));
        default: return "";
    }
}

}  // namespace helmkit
