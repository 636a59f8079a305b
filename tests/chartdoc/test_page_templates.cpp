#include <gtest/gtest.h>

#include <stdexcept>

#include "torvane/chartdoc/mermaid_converter.hpp"
#include "torvane/chartdoc/page_templates.hpp"
#include "torvane/chartdoc/template_filling.hpp"

using namespace torvane::chartdoc;

TEST(TemplateFilling, PlaceholdersAndDoubledBraces) {
    EXPECT_EQ(fill_template("a {{x}} {v} }}{{ {v}", {{"v", "1"}}), "a {x} 1 }{ 1");
    EXPECT_EQ(fill_template("{a}{b}", {{"a", "{b}"}, {"b", "{{"}}), "{b}{{");
    EXPECT_EQ(fill_template("", {}), "");
    EXPECT_EQ(fill_template("  {v}", {{"v", "line 1\nline 2"}}), "  line 1\nline 2");
}

TEST(TemplateFilling, LoneBracesAndUnknownNamesAreRejected) {
    EXPECT_THROW(fill_template("a } b", {}), std::invalid_argument);
    EXPECT_THROW(fill_template("a { b", {}), std::invalid_argument);
    EXPECT_THROW(fill_template("{nope}", {{"v", "1"}}), std::invalid_argument);
}

TEST(PageTemplate, PageWrapsTitleAndBody) {
    const std::string page = fill_page("T & <b>", "<p>{title} {{x}}</p>");
    EXPECT_EQ(page.rfind("\n<!DOCTYPE html>\n<html>\n<head>\n    <meta charset=\"UTF-8\">\n"
                         "    <title>T & <b></title>\n    <style>\n        body { \n",
                         0),
              0u)
        << page.substr(0, 200);
    const std::string tail =
        "    </style>\n"
        "</head>\n"
        "<body>\n"
        "    <header>\n"
        "        <div class=\"title-text\">T & <b></div>\n"
        "        <a href=\"index.html\" class=\"back-btn\">\u2190 Back</a>\n"
        "    </header>\n"
        "    <div class=\"content\">\n"
        "        <p>{title} {{x}}</p>\n"
        "    </div>\n"
        "    <footer>\n"
        "        <a href=\"index.html\" class=\"back-btn\">\u2190 Back to Index</a>\n"
        "    </footer>\n"
        "</body>\n"
        "</html>\n";
    ASSERT_GT(page.size(), tail.size());
    EXPECT_EQ(page.substr(page.size() - tail.size()), tail);
    EXPECT_NE(page.find("        .content th { background: #f7f6f3; font-weight: 500; }\n"),
              std::string::npos);
    EXPECT_NE(page.find("        .back-btn:hover { background: #e0e0e0; }\n"), std::string::npos);
    EXPECT_EQ(page.find("{{"), page.find("{{x}}"));
}

TEST(PageTemplate, TemplatesHoldOnlyTheirPlaceholders) {
    EXPECT_NO_THROW(fill_template(PAGE_TEMPLATE, {{"title", ""}, {"body_content", ""}}));
    EXPECT_NO_THROW(fill_template(
        INDEX_TEMPLATE, {{"index_title", ""}, {"md_section", ""}, {"chart_section", ""}}));
    EXPECT_THROW(fill_template(PAGE_TEMPLATE, {{"title", ""}}), std::invalid_argument);
}

TEST(IndexTemplate, WorkedExampleByteForByte) {
    const std::string index =
        fill_index("Project Documentation", {doc_entry("README.html", "README (v0.1)")},
                   {chart_entry("ab", "A to B Flow")});
    const std::string expected_body =
        "<body>\n"
        "    <h2>\U0001F4C1 Project Documentation</h2>\n"
        "    <h3>Documentation</h3><ul><li><a href=\"README.html\"><span class=\"icon\">\U0001F4D8"
        "</span> README (v0.1)</a></li></ul>\n"
        "    <h3>Flow Charts</h3><ul><li><a href=\"ab.html\"><span class=\"icon\">\U0001F4CA"
        "</span> A to B Flow</a></li></ul>\n"
        "</body>\n"
        "</html>\n";
    ASSERT_GT(index.size(), expected_body.size());
    EXPECT_EQ(index.substr(index.size() - expected_body.size()), expected_body);
    EXPECT_EQ(index.rfind("\n<!DOCTYPE html>\n<html>\n<head>\n    <meta charset=\"UTF-8\">\n"
                          "    <title>Project Documentation</title>\n    <style>\n"
                          "        body { font-family: -apple-system, BlinkMacSystemFont, "
                          "\"Segoe UI\", Helvetica, Arial, sans-serif; \n",
                          0),
              0u)
        << index.substr(0, 300);
    EXPECT_NE(index.find("        .icon { margin-right: 10px; font-size: 1.2em; }\n"),
              std::string::npos);
}

TEST(IndexTemplate, EntriesJoinWithoutSeparatorsAndEmptySectionsVanish) {
    const std::string index =
        fill_index("T", {doc_entry("a.html", "A"), doc_entry("b.html", "B <&>")}, {});
    EXPECT_NE(index.find("    <h3>Documentation</h3><ul><li><a href=\"a.html\"><span "
                         "class=\"icon\">\U0001F4D8</span> A</a></li><li><a href=\"b.html\"><span "
                         "class=\"icon\">\U0001F4D8</span> B <&></a></li></ul>\n    \n</body>"),
              std::string::npos)
        << index;
    EXPECT_EQ(index.find("Flow Charts"), std::string::npos);
}

TEST(BaseName, LastExtensionUnlessOnlyLeadingDots) {
    EXPECT_EQ(base_name_of("notes.old.md"), "notes.old");
    EXPECT_EQ(base_name_of("README.MD"), "README");
    EXPECT_EQ(base_name_of(".md"), ".md");
    EXPECT_EQ(base_name_of("..md"), "..md");
    EXPECT_EQ(base_name_of(".hidden.md"), ".hidden");
    EXPECT_EQ(base_name_of("x"), "x");
    EXPECT_EQ(base_name_of("a."), "a");
}
