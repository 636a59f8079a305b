#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

#include "helmkit/base/error.hpp"
#include "manpage/man_page.hpp"
#include "packaging_fixture.hpp"
#include "torvane/front.hpp"

using namespace packaging_test;

namespace {

// The page as `man` shows it on an 80-column terminal, and what it said on standard error.
RunResult rendered_page(const fs::path& page) {
    return run_program("/usr/bin/man", {"--warnings", "-l", page.string()}, page.parent_path(),
                       {{"MANWIDTH", "80"}, {"MANPAGER", "cat"}, {"PAGER", "cat"}, {"LANG", "C.UTF-8"}});
}

// The text between the section heading `name` (a line of its own) and the next heading.
std::string section(const std::string& page, const std::string& name) {
    const auto lines = lines_of(page);
    std::string out;
    bool inside = false;
    for (const auto& line : lines) {
        const bool heading = !line.empty() && line[0] != ' ';
        if (heading) inside = line == name;
        else if (inside) out += line + "\n";
    }
    return out;
}

}  // namespace

TEST(ManPage, GroffAndManFormatThePageWithoutAWarning) {
    const auto groff = run_program("/usr/bin/groff", {"-ww", "-man", "-z", k_man_page.string()},
                                   k_man_page.parent_path());
    EXPECT_EQ(groff.status, 0);
    EXPECT_EQ(groff.err, "");
    const auto man = rendered_page(k_man_page);
    EXPECT_EQ(man.status, 0);
    EXPECT_EQ(man.err, "");
    const auto gzipped = rendered_page(fs::path(k_man_page.string() + ".gz"));
    EXPECT_EQ(gzipped.err, "");
    EXPECT_EQ(gzipped.out, man.out);
}

TEST(ManPage, EveryCommandWithItsOwnHelpOptionsAndConfigurationKeys) {
    const auto page = rendered_page(k_man_page).out;
    for (const auto& heading : {"NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "COMMANDS",
                                "ENVIRONMENT", "EXIT STATUS", "FILES"}) {
        EXPECT_FALSE(section(page, heading).empty()) << heading << " in\n" << page;
    }
    const auto commands = squeezed(section(page, "COMMANDS"));
    for (const auto& command : torvane::front::builtin_commands()) {
        const auto at = commands.find("torvane " + command.name + " ");
        ASSERT_NE(at, std::string::npos) << command.name;
        const auto own = commands.substr(at, commands.find("torvane ", at + 8) - at);
        // The texts the command shows with --help, wrapped anew.
        const auto help = run_torvane({command.name, "--help"}, k_build_dir);
        for (const auto& line : lines_of(help.out)) {
            if (line.empty() || line.starts_with("Usage:") || line == "Options:") continue;
            if (line.starts_with("  ")) continue;  // the option lines, checked below
            if (line.starts_with("See 'man torvane'")) continue;  // the page need not name itself
            EXPECT_NE(own.find(squeezed(line)), std::string::npos) << command.name << ": " << line;
        }
        EXPECT_NE(own.find("-c, --config PATH " + command.config_help), std::string::npos)
            << command.name;
        EXPECT_NE(own.find("--generate-config " + command.generate_config_help), std::string::npos)
            << command.name;
    }
    // A key of each configuration table of the README, with its template value.
    EXPECT_NE(commands.find("config.image_folder folder scanned for images"), std::string::npos);
    EXPECT_NE(commands.find("config.layout.rows rows of cells per sheet"), std::string::npos);
    EXPECT_NE(commands.find("(template: 2; when absent: 1)"), std::string::npos);
    EXPECT_NE(commands.find("excel_in.amount_cell"), std::string::npos);
}

TEST(ManPage, JsonTemplatesOfTheHelpTextsKeepTheirLines) {
    const auto page = rendered_page(k_man_page).out;
    // Filled text would have run these lines together.
    EXPECT_NE(page.find("\n           \"config\": {\n               \"image_folder\": \"./data_figdeck\",\n"),
              std::string::npos)
        << page;
}

TEST(ManPage, EnvironmentAndExitStatusesIncludingTheStrictOnes) {
    const auto page = rendered_page(k_man_page).out;
    const auto environment = squeezed(section(page, "ENVIRONMENT"));
    for (const auto& variable : {"TORVANE_LOG_LEVEL", "TORVANE_DEBUG", "TORVANE_STRICT"}) {
        EXPECT_NE(environment.find(variable), std::string::npos) << variable;
    }
    const auto statuses = squeezed(section(page, "EXIT STATUS"));
    for (const auto& entry : {"0 Default:", "1 Default:", "2 Default: a usage error",
                              "3 Default: not used With TORVANE_STRICT=1: some items failed"}) {
        EXPECT_NE(statuses.find(entry), std::string::npos) << entry << " in " << statuses;
    }
    const auto files = squeezed(section(page, "FILES"));
    for (const auto& file : {"config_gridpage_template.json", "config_expense_template.json",
                             "share/bash-completion/completions/torvane"}) {
        EXPECT_NE(files.find(file), std::string::npos) << file;
    }
}

TEST(ManPage, EveryCommandsExampleRunsOnACopyOfTheSamples) {
    const auto page = rendered_page(k_man_page).out;
    const auto lines = lines_of(section(page, "EXAMPLES"));
    // The "$ " lines in a row make one example.
    std::vector<std::string> scripts;
    bool in_example = false;
    for (const auto& line : lines) {
        const auto start = line.find_first_not_of(' ');
        const bool shell = start != std::string::npos && line.compare(start, 2, "$ ") == 0;
        if (shell && !in_example) scripts.emplace_back();
        if (shell) scripts.back() += line.substr(start + 2) + "\n";
        in_example = shell;
    }
    const std::map<std::string, std::string> made{
        {"figdeck", "report/data_figdeck/test.pdf"},
        {"gridpage", "merge/pdfs/merged_report.pdf"},
        {"chartdoc", "site/docs/html_out/index.html"},
        {"dealmatch", "match/out/result.xlsx"},
        {"claimsort", "data_claimsort/backup/claim_01.xlsx"},
    };
    ASSERT_EQ(scripts.size(), made.size()) << section(page, "EXAMPLES");
    const std::string installed = "/usr/share/doc/torvane/examples";
    const std::string path = torvane_binary().parent_path().string() + ":" + std::getenv("PATH");
    const bool renderer = run_program("/bin/sh", {"-c", "command -v mmdc"}, k_build_dir).status == 0;
    for (auto script : scripts) {
        const auto name_at = script.find("torvane ") + 8;
        const auto command = script.substr(name_at, script.find(' ', name_at) - name_at);
        ASSERT_EQ(made.count(command), 1u) << script;
        if (command == "chartdoc" && !renderer) continue;
        for (auto at = script.find(installed); at != std::string::npos; at = script.find(installed)) {
            script.replace(at, installed.size(), (source_dir() / "examples").string());
        }
        TempDir dir;
        const auto result = run_program("/bin/bash", {"-ec", script}, dir.path(), {{"PATH", path}});
        EXPECT_EQ(result.status, 0) << script << result.out << result.err;
        EXPECT_TRUE(fs::exists(dir / made.at(command))) << script << result.err;
    }
    if (!renderer) GTEST_SKIP() << "mmdc is not on PATH: the chartdoc example did not run";
}

TEST(ManPage, AReadmeWithoutACommandsTableIsAnErrorNamingTheSection) {
    const auto commands = torvane::front::builtin_commands();
    const std::string readme = read_file(source_dir() / "README.md");
    EXPECT_NO_THROW(torvane::manpage::man_page(commands, readme, "1.0"));
    const auto cut = readme.substr(0, readme.find("### gridpage:"));
    try {
        torvane::manpage::man_page(commands, cut + "### gridpage: merge\n\nNo table.\n", "1.0");
        FAIL() << "no error";
    } catch (const helmkit::Error& error) {
        EXPECT_NE(std::string(error.what()).find("### gridpage:"), std::string::npos) << error.what();
    }
}
