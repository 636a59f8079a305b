#include "helmkit/base/app_logging.hpp"

#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/stdout_color_sinks.h>
#include <spdlog/spdlog.h>

#include <cstdlib>
#include <map>
#include <mutex>

#include "helmkit/base/progress.hpp"
#include "helmkit/text/terminal_text.hpp"

namespace helmkit::app_logging {

namespace {

// Upper-case level names padded to the longest, so messages line up.
class LevelNameFlag : public spdlog::custom_flag_formatter {
public:
    void format(const spdlog::details::log_msg& msg, const std::tm&,
                spdlog::memory_buf_t& dest) override {
        std::string_view name = "INFO";
        switch (msg.level) {
            case spdlog::level::trace:
            case spdlog::level::debug: name = "DEBUG"; break;
            case spdlog::level::warn: name = "WARNING"; break;
            case spdlog::level::err: name = "ERROR"; break;
            case spdlog::level::critical: name = "CRITICAL"; break;
            default: break;
        }
        dest.append(name.data(), name.data() + name.size());
        for (std::size_t i = name.size(); i < 7; ++i) dest.push_back(' ');
    }
    std::unique_ptr<custom_flag_formatter> clone() const override {
        return std::make_unique<LevelNameFlag>();
    }
};

spdlog::level::level_enum to_spdlog(Level level) {
    switch (level) {
        case Level::debug: return spdlog::level::debug;
        case Level::info: return spdlog::level::info;
        case Level::warning: return spdlog::level::warn;
        case Level::error: return spdlog::level::err;
    }
    return spdlog::level::info;
}

}  // namespace

Level level_from_text(const char* text) {
    if (text == nullptr) return Level::info;
    const std::string_view value(text);
    if (value == "debug" || value == "DEBUG") return Level::debug;
    if (value == "warning" || value == "WARNING" || value == "warn") return Level::warning;
    if (value == "error" || value == "ERROR") return Level::error;
    return Level::info;
}

Logger::Logger(std::string name) {
    auto sink = std::make_shared<spdlog::sinks::stderr_color_sink_st>(spdlog::color_mode::automatic);
    auto formatter = std::make_unique<spdlog::pattern_formatter>();
    formatter->add_flag<LevelNameFlag>('*').set_pattern("%Y-%m-%d %H:%M:%S %^%*%$ %n: %v");
    sink->set_formatter(std::move(formatter));
    m_logger = std::make_shared<spdlog::logger>(std::move(name), std::move(sink));
    m_logger->set_level(to_spdlog(level_from_text(std::getenv("TORVANE_LOG_LEVEL"))));
    m_logger->flush_on(spdlog::level::trace);
}

bool Logger::enabled(Level level) const { return m_logger->should_log(to_spdlog(level)); }

void Logger::log_text(Level level, const std::string& text) {
    if (!enabled(level)) return;
    const Progress::Pause pause;
    // Messages carry file names and cell texts from the inputs; some messages are two lines
    // on purpose, so line feeds stay.
    const std::string safe = terminal_safe(text);
    m_logger->log(to_spdlog(level), spdlog::string_view_t(safe.data(), safe.size()));
}

std::string Logger::current_exception_suffix() {
    const auto current = std::current_exception();
    if (!current) return {};
    try {
        std::rethrow_exception(current);
    } catch (const std::exception& error) {
        return std::string(": ") + error.what();
    } catch (...) {
        return ": unknown error";
    }
}

Logger& lazy_logger(const std::string& name) {
    static std::mutex guard;
    static std::map<std::string, std::unique_ptr<Logger>> loggers;
    const std::lock_guard lock(guard);
    auto& slot = loggers[name];
    if (!slot) slot = std::make_unique<Logger>(name);
    return *slot;
}

}  // namespace helmkit::app_logging
