#include <gtest/gtest.h>

#include <regex>

#include "helmkit/base/app_logging.hpp"

namespace app_logging = helmkit::app_logging;

namespace {

struct Point {
    int x;
};
std::ostream& operator<<(std::ostream& out, const Point& p) { return out << "P(" << p.x << ")"; }

std::string capture(const std::function<void()>& action) {
    testing::internal::CaptureStderr();
    action();
    return testing::internal::GetCapturedStderr();
}

}  // namespace

TEST(AppLogging, LineHasTimeLevelToolAndMessage) {
    auto& log = app_logging::lazy_logger("Loggertest");
    const auto err = capture([&] {
        log.info("hello there");
        log.warning("careful");
        log.error("broken");
    });
    const std::regex line(
        R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2} (INFO   |WARNING|ERROR  ) Loggertest: [a-z ]+)");
    std::istringstream lines(err);
    std::string text;
    int count = 0;
    while (std::getline(lines, text)) {
        EXPECT_TRUE(std::regex_match(text, line)) << text;
        ++count;
    }
    EXPECT_EQ(count, 3);
    EXPECT_NE(err.find(" INFO    Loggertest: hello there\n"), std::string::npos);
    EXPECT_NE(err.find(" WARNING Loggertest: careful\n"), std::string::npos);
}

TEST(AppLogging, ControlCharactersOfAMessageAreWrittenAsEscapes) {
    auto& log = app_logging::lazy_logger("Escapetest");
    const auto err = capture([&] {
        log.info("Processing: a\x1b]0;owned\x07" "b\x7f.xlsx\rhidden\nsecond line");
        log.info("tab\tand \xc3\xa9t\xc3\xa9 and \xc2\xa0 stay; \xc2\x85 goes");
    });
    EXPECT_EQ(err.find('\x1b'), std::string::npos) << err;
    EXPECT_NE(err.find("Escapetest: Processing: a\\x1b]0;owned\\x07b\\x7f.xlsx\\rhidden\nsecond "
                       "line\n"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("Escapetest: tab\tand \xc3\xa9t\xc3\xa9 and \xc2\xa0 stay; \\u0085 goes\n"),
              std::string::npos)
        << err;
}

TEST(AppLogging, OneLoggerPerName) {
    EXPECT_EQ(&app_logging::lazy_logger("Samename"), &app_logging::lazy_logger("Samename"));
    EXPECT_NE(&app_logging::lazy_logger("Samename"), &app_logging::lazy_logger("Othername"));
}

TEST(AppLogging, AnyValueWithATextFormIsAccepted) {
    auto& log = app_logging::lazy_logger("Valuetest");
    const auto err = capture([&] {
        log.info(nlohmann::ordered_json{{"b", 1}, {"a", {true, nullptr}}});
        log.info(42);
        log.info(2.5);
        log.info(Point{3});
        log.info(std::string("text"));
    });
    EXPECT_NE(err.find("Valuetest: {\"b\":1,\"a\":[true,null]}\n"), std::string::npos) << err;
    EXPECT_NE(err.find("Valuetest: 42\n"), std::string::npos);
    EXPECT_NE(err.find("Valuetest: 2.5\n"), std::string::npos);
    EXPECT_NE(err.find("Valuetest: P(3)\n"), std::string::npos);
    EXPECT_NE(err.find("Valuetest: text\n"), std::string::npos);
}

TEST(AppLogging, ExceptionAddsTheCurrentExceptionsMessage) {
    auto& log = app_logging::lazy_logger("Exceptiontest");
    const auto err = capture([&] {
        try {
            throw std::runtime_error("disk full");
        } catch (...) {
            log.exception("Saving failed");
        }
        log.exception("No exception");
    });
    EXPECT_NE(err.find(" ERROR   Exceptiontest: Saving failed: disk full\n"), std::string::npos)
        << err;
    EXPECT_NE(err.find(" ERROR   Exceptiontest: No exception\n"), std::string::npos) << err;
}

TEST(AppLogging, LevelNamesFromTheEnvironment) {
    EXPECT_EQ(app_logging::level_from_text(nullptr), app_logging::Level::info);
    EXPECT_EQ(app_logging::level_from_text("debug"), app_logging::Level::debug);
    EXPECT_EQ(app_logging::level_from_text("warning"), app_logging::Level::warning);
    EXPECT_EQ(app_logging::level_from_text("error"), app_logging::Level::error);
    EXPECT_EQ(app_logging::level_from_text("loud"), app_logging::Level::info);
}

TEST(AppLogging, LevelIsReadFromTorvaneLogLevelWhenTheLoggerIsCreated) {
    ::setenv("TORVANE_LOG_LEVEL", "warning", 1);
    auto& log = app_logging::lazy_logger("Quiettest");
    ::unsetenv("TORVANE_LOG_LEVEL");
    const auto err = capture([&] {
        log.debug("d");
        log.info("i");
        log.warning("w");
    });
    EXPECT_EQ(err.find("Quiettest: d"), std::string::npos);
    EXPECT_EQ(err.find("Quiettest: i"), std::string::npos);
    EXPECT_NE(err.find("Quiettest: w"), std::string::npos);
}
