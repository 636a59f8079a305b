#include "helmkit/cell_text.hpp"

#include <fmt/chrono.h>
#include <fmt/format.h>

namespace helmkit {

std::string cell_to_text(const CellValue& value) {
    switch (value.index()) {
        case 1: return fmt::format("{}", std::get<std::int64_t>(value));
        case 2: return fmt::format("{}", std::get<double>(value));
        case 3: return std::get<std::string>(value);
        case 4: return std::get<bool>(value) ? "TRUE" : "FALSE";
        case 5: {
            const auto time = std::get<DateTime>(value).time_since_epoch();
            const auto days = std::chrono::floor<std::chrono::days>(time);
            const std::chrono::year_month_day date{std::chrono::sys_days{days}};
            const std::chrono::hh_mm_ss clock{time - days};
            std::string text = fmt::format(
                "{:04}-{:02}-{:02} {:02}:{:02}:{:02}", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                clock.hours().count(), clock.minutes().count(), clock.seconds().count());
            if (clock.subseconds().count() != 0) {
                text += fmt::format(".{:06}", clock.subseconds().count());
            }
            return text;
        }
        default: return "";
    }
}

}  // namespace helmkit
