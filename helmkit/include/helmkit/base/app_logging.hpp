#pragma once

#include <fmt/format.h>

#include <exception>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>

#include "helmkit/base/json.hpp"

namespace spdlog {
class logger;
}

namespace helmkit::app_logging {

enum class Level { debug, info, warning, error };

// Returns the text form of any value a log method accepts: texts as they are, JSON values
// as compact JSON, anything else through fmt or its stream operator (classic locale).
template <class T>
std::string to_log_text(const T& value) {
    if constexpr (std::is_convertible_v<const T&, std::string_view>) {
        return std::string(std::string_view(value));
    } else if constexpr (nlohmann::detail::is_basic_json<T>::value) {
        return value.dump();
    } else if constexpr (fmt::is_formattable<T>::value) {
        return fmt::format("{}", value);
    } else {
        std::ostringstream out;
        out.imbue(std::locale::classic());
        out << value;
        return out.str();
    }
}

// A tool's logger. Lines go to standard error as
// "2026-12-08 14:05:09 INFO    Figdeck: message", coloured by level only on a terminal.
class Logger {
public:
    explicit Logger(std::string name);

    template <class T> void debug(const T& value) { write(Level::debug, value); }
    template <class T> void info(const T& value) { write(Level::info, value); }
    template <class T> void warning(const T& value) { write(Level::warning, value); }
    template <class T> void error(const T& value) { write(Level::error, value); }
    // Logs at error level; inside a catch block the current exception's message follows.
    template <class T> void exception(const T& value) {
        log_text(Level::error, to_log_text(value) + current_exception_suffix());
    }

    bool enabled(Level level) const;
    void log_text(Level level, const std::string& text);

private:
    template <class T> void write(Level level, const T& value) {
        if (enabled(level)) log_text(level, to_log_text(value));
    }
    static std::string current_exception_suffix();

    std::shared_ptr<spdlog::logger> m_logger;
};

// Returns the logger of the tool `name` ("Figdeck", "Gridpage", ...), creating it on the
// first call with the level of TORVANE_LOG_LEVEL (debug, info, warning, error; default info).
Logger& lazy_logger(const std::string& name);

// Parses a TORVANE_LOG_LEVEL value; returns info for an absent or unknown value.
Level level_from_text(const char* text);

}  // namespace helmkit::app_logging
