#include "helmkit/base/progress.hpp"

#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "helmkit/base/run_outcome.hpp"

namespace {

// A pseudo-terminal whose output side the test reads back.
class PseudoTerminal {
public:
    PseudoTerminal() {
        if (openpty(&m_controller, &m_terminal, nullptr, nullptr, nullptr) != 0) {
            ADD_FAILURE() << "openpty failed";
        }
    }
    ~PseudoTerminal() {
        ::close(m_controller);
        ::close(m_terminal);
    }
    int terminal() const { return m_terminal; }
    std::string drain() const {
        std::string text;
        char buffer[4096];
        fd_set ready;
        timeval none{};
        for (;;) {
            FD_ZERO(&ready);
            FD_SET(m_controller, &ready);
            if (select(m_controller + 1, &ready, nullptr, nullptr, &none) <= 0) break;
            const auto n = ::read(m_controller, buffer, sizeof buffer);
            if (n <= 0) break;
            text.append(buffer, static_cast<std::size_t>(n));
        }
        return text;
    }

private:
    int m_controller = -1;
    int m_terminal = -1;
};

TEST(Progress, WritesNothingWhenTheDescriptorIsNoTerminal) {
    FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    {
        helmkit::Progress progress("Figdeck images", 3, fileno(file));
        progress.advance();
        progress.advance(2);
        progress.restart("Figdeck pages", 1);
        progress.advance();
    }
    std::fflush(file);
    EXPECT_EQ(std::ftell(file), 0);
    std::fseek(file, 0, SEEK_END);
    EXPECT_EQ(std::ftell(file), 0);
    std::fclose(file);
}

TEST(Progress, DrawsCountsOnATerminalAndClearsTheLineAtTheEnd) {
    PseudoTerminal pty;
    std::string shown;
    {
        helmkit::Progress progress("Claimsort workbooks", 4, pty.terminal());
        progress.advance(4);  // the last item always redraws
        shown = pty.drain();
        EXPECT_NE(shown.find("Claimsort workbooks 4/4"), std::string::npos) << shown;
    }
    const std::string after = pty.drain();
    EXPECT_NE(after.find("\r\033[K"), std::string::npos);
}

TEST(Progress, TextShowsRateAndTimeLeftOnceWorkIsUnderWay) {
    PseudoTerminal pty;
    helmkit::Progress progress("Chartdoc documents", 1000, pty.terminal());
    EXPECT_EQ(progress.text(), "Chartdoc documents 0/1000");
    usleep(120000);
    progress.advance(10);
    const auto text = progress.text();
    EXPECT_EQ(text.rfind("Chartdoc documents 10/1000  ", 0), 0u) << text;
    EXPECT_NE(text.find("/s  "), std::string::npos) << text;
    EXPECT_NE(text.find(" left"), std::string::npos) << text;
}

TEST(Progress, UnknownTotalShowsOnlyTheCount) {
    PseudoTerminal pty;
    helmkit::Progress progress("Dealmatch CSV rows", 0, pty.terminal());
    usleep(60000);
    progress.advance(7);
    const auto text = progress.text();
    EXPECT_EQ(text.rfind("Dealmatch CSV rows 7  ", 0), 0u) << text;
    EXPECT_EQ(text.find("left"), std::string::npos) << text;
}

TEST(RunOutcome, DefaultKeepsTheBehavioursStatusAndStrictModeTellsFailuresApart) {
    unsetenv("TORVANE_STRICT");
    EXPECT_FALSE(helmkit::strict_outcomes());
    EXPECT_EQ(helmkit::outcome_status(helmkit::RunOutcome::failed, 0), 0);
    EXPECT_EQ(helmkit::outcome_status(helmkit::RunOutcome::partly_done, 0), 0);
    EXPECT_EQ(helmkit::outcome_status(helmkit::RunOutcome::failed, 1), 1);

    setenv("TORVANE_STRICT", "1", 1);
    EXPECT_TRUE(helmkit::strict_outcomes());
    EXPECT_EQ(helmkit::outcome_status(helmkit::RunOutcome::done, 0), 0);
    EXPECT_EQ(helmkit::outcome_status(helmkit::RunOutcome::failed, 0), 1);
    EXPECT_EQ(helmkit::outcome_status(helmkit::RunOutcome::partly_done, 0), 3);
    EXPECT_EQ(helmkit::outcome_status(helmkit::RunOutcome::partly_done, 2), 2);

    setenv("TORVANE_STRICT", "0", 1);
    EXPECT_FALSE(helmkit::strict_outcomes());
    unsetenv("TORVANE_STRICT");
}

}  // namespace
