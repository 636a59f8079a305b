#include <gtest/gtest.h>

#include "helmkit/base/error.hpp"
#include "manpage/readme_tables.hpp"
#include "manpage/roff.hpp"

using namespace torvane::manpage;

TEST(Roff, TextIsEscapedSoGroffPrintsItAsWritten) {
    EXPECT_EQ(roff_text("a\\b -c"), "a\\eb \\-c");
    EXPECT_EQ(roff_text(".hidden\n'quote\nx.y"), "\\&.hidden\n\\&'quote\nx.y");
    EXPECT_EQ(roff_text("Ω ≤ é"), "\\[u03A9] \\[u2264] \\[u00E9]");
    EXPECT_EQ(roff_text("tab\there"), "tab here");
}

TEST(Roff, MarkdownCodeSpansAreBoldAndLinksTheirText) {
    EXPECT_EQ(roff_from_markdown("the `--config` file"), "the \\fB\\-\\-config\\fR file");
    EXPECT_EQ(roff_from_markdown("see [Exit statuses](#exit-statuses) below"),
              "see Exit statuses below");
    EXPECT_EQ(roff_from_markdown("an unclosed ` stays"), "an unclosed ` stays");
    EXPECT_EQ(roff_from_markdown(".hidden `.tmp` file"), "\\&.hidden \\fB.tmp\\fR file");
}

TEST(Roff, HelpParagraphsAfterTheMarkerKeepTheirLines) {
    const auto roff = roff_help_text("First  line\nwraps on.\n\n\b\n{\n    \"a\": 1\n}\n\nLast.");
    EXPECT_EQ(roff, ".PP\nFirst line wraps on.\n.PP\n.nf\n{\n    \"a\": 1\n}\n.fi\n.PP\nLast.\n");
}

TEST(ReadmeTables, SectionRunsToTheNextHeadingOfItsLevel) {
    const std::string readme =
        "# Top\n## Tools\n### one: first\nbody 1\n#### detail\nmore\n### two: second\nbody 2\n## End\n";
    EXPECT_EQ(section_of(readme, "### one:"), "body 1\n#### detail\nmore\n");
    EXPECT_EQ(section_of(readme, "### two:"), "body 2\n");
    EXPECT_THROW(section_of(readme, "### three:"), helmkit::Error);
    // "#### detail" does not start a section "### " looks for.
    EXPECT_THROW(section_of(readme, "### detail"), helmkit::Error);
}

TEST(ReadmeTables, TablesKeepPipesInCodeAndSkipFencedBlocks) {
    const std::string text =
        "| Key | Meaning |\n|---|:---:|\n| a | `x | y` |\n| b | c \\| d |\nafter\n"
        "```\n| not | a table |\n|---|---|\n```\n"
        "| Only | header |\n| no | separator |\n"
        "| K | V |\n|---|---|\n| k | |\n";
    const auto tables = tables_in(text);
    ASSERT_EQ(tables.size(), 2u);
    EXPECT_EQ(tables[0].header, (std::vector<std::string>{"Key", "Meaning"}));
    EXPECT_EQ(tables[0].rows, (std::vector<std::vector<std::string>>{{"a", "`x | y`"}, {"b", "c | d"}}));
    EXPECT_EQ(tables[0].column("Meaning"), 1u);
    EXPECT_EQ(tables[0].column("Template"), 2u);
    EXPECT_EQ(tables[1].rows, (std::vector<std::vector<std::string>>{{"k", ""}}));
}
