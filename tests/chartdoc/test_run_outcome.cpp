#include "site_fixture.hpp"

using namespace chartdoc_test;
using nlohmann::ordered_json;

namespace {

class ChartdocOutcome : public SiteTest {
protected:
    ChartdocOutcome() {
        install_standin();
        write_config({{"input_folder", "in"}, {"output_folder", "out"}});
    }

    // The run's status by default and under TORVANE_STRICT=1, and the closing summary line.
    struct Outcome {
        int status;
        int strict_status;
        std::string summary;
    };

    Outcome outcome(std::map<std::string, std::string> env = {}) const {
        const auto plain = run_site(env);
        env["TORVANE_STRICT"] = "1";
        const auto strict = run_site(env);
        EXPECT_EQ(plain.out, strict.out);
        const auto infos = log_messages(plain.err, "INFO");
        return {plain.status, strict.status, infos.empty() ? "" : infos.back()};
    }
};

}  // namespace

TEST_F(ChartdocOutcome, EverythingDone) {
    write_file(root() / "in/a.md", "# A\n");
    write_file(root() / "in/b.md", "# B\n");
    write_file(root() / "in/c.mmd", "graph TD\n");
    const auto result = outcome();
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.strict_status, 0);
    EXPECT_EQ(result.summary, "Summary: 3 pages written (2 documents, 1 diagram), 0 failed");
}

TEST_F(ChartdocOutcome, SomeSourcesFailedOthersWereDone) {
    write_file(root() / "in/a.md", "# A\n");
    write_file(root() / "in/bad.md", "caf\xe9\n");
    write_file(root() / "in/bad.mmd", "graph TD\n");
    write_file(root() / "in/good.mmd", "graph TD\n");
    const auto result = outcome({{"STANDIN_FAIL_ON", "bad"}});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.strict_status, 3);
    EXPECT_EQ(result.summary, "Summary: 2 pages written (1 document, 1 diagram), 2 failed");
}

TEST_F(ChartdocOutcome, EverySourceFailed) {
    write_file(root() / "in/bad.md", "caf\xe9\n");
    write_file(root() / "in/bad.mmd", "graph TD\n");
    const auto result = outcome({{"STANDIN_STATUS", "2"}});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.strict_status, 1);
    EXPECT_EQ(result.summary, "Summary: 0 pages written (0 documents, 0 diagrams), 2 failed");
}

TEST_F(ChartdocOutcome, NothingToDoIsNoFailure) {
    fs::create_directories(root() / "in");
    const auto result = outcome();
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.strict_status, 0);
    EXPECT_EQ(result.summary, "Summary: 0 pages written (0 documents, 0 diagrams), 0 failed");
}

TEST_F(ChartdocOutcome, RunThatStoppedOrNeverStarted) {
    write_file(root() / "in/a.md", "# A\n");
    write_file(root() / "in/d.mmd", "graph TD\n");
    fs::create_directories(root() / "out/d.html");  // the diagram page cannot be written
    auto result = outcome();
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.strict_status, 1);
    EXPECT_EQ(result.summary, "Summary: 1 page written (1 document, 0 diagrams), 0 failed");

    // A configuration the loader refuses ends with status 0, unless strict.
    write_file(root() / "site.json", R"({"settings": {}})");
    result = outcome();
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.strict_status, 1);
}

TEST_F(ChartdocOutcome, ProgressLineOnlyOnATerminal) {
    write_file(root() / "in/a.md", "# A\n");
    write_file(root() / "in/b.md", "# B\n");
    write_file(root() / "in/c.mmd", "graph TD\n");
    const auto piped = run_site();
    ASSERT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(piped.err.find("Chartdoc documents"), std::string::npos) << piped.err;

    // script(1) gives the program a terminal as its standard error.
    const std::string command = "PATH='" + bin().string() + "' '" + torvane_binary().string() +
                                "' chartdoc -c site.json";
    const auto on_terminal =
        run_program("/usr/bin/script", {"-qec", command, "/dev/null"}, root());
    ASSERT_EQ(on_terminal.status, 0) << on_terminal.out << on_terminal.err;
    EXPECT_NE(on_terminal.out.find("Chartdoc documents 2/2"), std::string::npos)
        << on_terminal.out;
    EXPECT_NE(on_terminal.out.find("Chartdoc diagrams 1/1"), std::string::npos) << on_terminal.out;
    EXPECT_NE(on_terminal.out.find("Summary: 3 pages written (2 documents, 1 diagram), 0 failed"),
              std::string::npos)
        << on_terminal.out;
}
