#include "helmkit/base/child_process.hpp"
#include "site_fixture.hpp"

using namespace chartdoc_test;
using nlohmann::ordered_json;

namespace {

class ChartdocSite : public SiteTest {
protected:
    // Runs the tool on the folder "in" with the stand-in renderer, expecting success.
    RunResult build(const ordered_json& extra = ordered_json::object()) {
        install_standin();
        ordered_json section{{"input_folder", "in"}, {"output_folder", "out"}};
        section.update(extra);
        write_config(section);
        auto result = run_site();
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out,
                  report("DONE", "Successfully generated documentation in: out/index.html"));
        return result;
    }

    std::string body_of_index() const {
        const auto index = read_file(root() / "out/index.html");
        const auto start = index.find("<body>\n");
        const auto end = index.find("</body>");
        return index.substr(start + 7, end - start - 7);
    }
};

std::string doc_link(const std::string& href, const std::string& title) {
    return "<li><a href=\"" + href + "\"><span class=\"icon\">\U0001F4D8</span> " + title +
           "</a></li>";
}

std::string chart_link(const std::string& href, const std::string& title) {
    return "<li><a href=\"" + href + "\"><span class=\"icon\">\U0001F4CA</span> " + title +
           "</a></li>";
}

}  // namespace

TEST_F(ChartdocSite, BaseNamesAndExtensionCase) {
    for (const auto* name :
         {"notes.old.md", ".md", "README.MD", "x.MMD", "x.mmd.txt", "y.markdown"}) {
        write_file(root() / "in" / name, "# doc\n");
    }
    const auto result = build({{"doc_titles", {{"README.md", "not for README.MD"}}}});
    EXPECT_EQ(body_of_index(),
              "    <h2>\U0001F4C1 Project Documentation</h2>\n"
              "    <h3>Documentation</h3><ul>" +
                  doc_link(".md.html", ".md") + doc_link("README.html", "README") +
                  doc_link("notes.old.html", "notes.old") +
                  "</ul>\n"
                  "    <h3>Flow Charts</h3><ul>" +
                  chart_link("x.html", "x") + "</ul>\n");
    EXPECT_TRUE(fs::exists(root() / "out/.md.html"));
    EXPECT_TRUE(fs::exists(root() / "out/notes.old.html"));
    EXPECT_TRUE(fs::exists(root() / "out/x.svg"));
    EXPECT_EQ(renderer_calls(),
              (std::vector<std::vector<std::string>>{{"-i", "in/x.MMD", "-o", "out/x.svg"}}));
}

TEST_F(ChartdocSite, DiagramPageReplacesTheDocumentPageOfTheSameName) {
    write_file(root() / "in/a.md", "# The document\n");
    write_file(root() / "in/a.mmd", "graph TD\n");
    build({{"doc_titles", {{"a.md", "Doc A"}}}, {"chart_titles", {{"a.mmd", "Chart A"}}}});
    EXPECT_EQ(body_of_index(),
              "    <h2>\U0001F4C1 Project Documentation</h2>\n"
              "    <h3>Documentation</h3><ul>" +
                  doc_link("a.html", "Doc A") + "</ul>\n    <h3>Flow Charts</h3><ul>" +
                  chart_link("a.html", "Chart A") + "</ul>\n");
    const auto page = read_file(root() / "out/a.html");
    EXPECT_NE(page.find("<title>Chart A</title>"), std::string::npos);
    EXPECT_EQ(page.find("The document"), std::string::npos);
}

TEST_F(ChartdocSite, EntriesFollowNaturalOrderAndSectionsCanBeEmpty) {
    for (const auto* name : {"doc10.md", "doc2.md", "Doc1.md", "doc1.md"}) {
        write_file(root() / "in" / name, "text\n");
    }
    build();
    EXPECT_EQ(body_of_index(),
              "    <h2>\U0001F4C1 Project Documentation</h2>\n"
              "    <h3>Documentation</h3><ul>" +
                  doc_link("Doc1.html", "Doc1") + doc_link("doc1.html", "doc1") +
                  doc_link("doc2.html", "doc2") + doc_link("doc10.html", "doc10") +
                  "</ul>\n    \n");

    fs::remove_all(root() / "in");
    write_file(root() / "in/only.mmd", "graph TD\n");
    fs::remove_all(root() / "out");
    build();
    EXPECT_EQ(body_of_index(),
              "    <h2>\U0001F4C1 Project Documentation</h2>\n    \n"
              "    <h3>Flow Charts</h3><ul>" +
                  chart_link("only.html", "only") + "</ul>\n");
}

TEST_F(ChartdocSite, AwkwardFileNamesReachTheRendererIntact) {
    const std::vector<std::string> names{"-dash.mmd", "it's \"quoted\".mmd", "two  blanks.mmd",
                                         "\xc3\xa9t\xc3\xa9 \xe5\x9b\xb3.mmd"};
    for (const auto& name : names) write_file(root() / "in dir" / name, "graph TD\n");
    install_standin();
    write_config({{"input_folder", "in dir"}, {"output_folder", "out dir"}});
    const auto result = run_site();
    ASSERT_EQ(result.status, 0) << result.err;
    std::vector<std::vector<std::string>> expected;
    for (const auto& name : names) {
        const auto base = name.substr(0, name.size() - 4);
        expected.push_back({"-i", "in dir/" + name, "-o", "out dir/" + base + ".svg"});
        const auto page = read_file(root() / "out dir" / (base + ".html"));
        EXPECT_NE(page.find(standin_svg("in dir/" + name)), std::string::npos) << name;
    }
    std::sort(expected.begin(), expected.end(),
              [](const auto& a, const auto& b) { return a[1] < b[1]; });
    auto calls = renderer_calls();
    std::sort(calls.begin(), calls.end(), [](const auto& a, const auto& b) { return a[1] < b[1]; });
    EXPECT_EQ(calls, expected);
}

TEST_F(ChartdocSite, ValuesAreInsertedVerbatim) {
    write_file(root() / "in/code.md",
               "# Code\n\n```c\nint main() { return {title}; } {{x}}\n```\n\n"
               "<div class=\"raw\">kept <b>as is</b></div>\n");
    write_file(root() / "in/flow.mmd", "graph TD\n");
    const std::string title = "R&D <draft> {title}";
    build({{"doc_titles", {{"code.md", title}}},
           {"chart_titles", {{"flow.mmd", 42}}},
           {"index_title", "Docs & <Charts>"}});
    const auto page = read_file(root() / "out/code.html");
    EXPECT_EQ(page.rfind("\n<!DOCTYPE html>\n", 0), 0u);
    EXPECT_NE(page.find("<title>" + title + "</title>"), std::string::npos);
    EXPECT_NE(page.find("<div class=\"title-text\">" + title + "</div>"), std::string::npos);
    EXPECT_NE(page.find("<pre><code class=\"language-c\">int main() { return {title}; } {{x}}\n"
                        "</code></pre>"),
              std::string::npos)
        << page;
    EXPECT_NE(page.find("<div class=\"raw\">kept <b>as is</b></div>"), std::string::npos);

    const auto chart = read_file(root() / "out/flow.html");
    EXPECT_NE(chart.find("<title>42</title>"), std::string::npos);
    EXPECT_NE(chart.find("    <div class=\"content\">\n        " + standin_svg("in/flow.mmd") +
                         "\n    </div>\n"),
              std::string::npos)
        << chart;

    const auto index = read_file(root() / "out/index.html");
    EXPECT_NE(index.find("<title>Docs & <Charts></title>"), std::string::npos);
    EXPECT_NE(index.find("<h2>\U0001F4C1 Docs & <Charts></h2>"), std::string::npos);
    EXPECT_NE(index.find(doc_link("code.html", title)), std::string::npos);
    EXPECT_NE(index.find(chart_link("flow.html", "42")), std::string::npos);
}

TEST_F(ChartdocSite, TitlesMadeFromFileNamesAreTextInPagesAndIndex) {
    write_file(root() / "in/<b>.md", "# bold\n");
    write_file(root() / "in/R&D \"x\".md", "# quoted\n");
    write_file(root() / "in/it's plain.md", "# plain\n");
    write_file(root() / "in/a<i>.mmd", "graph TD\n");
    const auto result = build();
    const auto bold = read_file(root() / "out/<b>.html");
    EXPECT_NE(bold.find("<title>&lt;b&gt;</title>"), std::string::npos) << bold;
    EXPECT_NE(bold.find("<div class=\"title-text\">&lt;b&gt;</div>"), std::string::npos);
    EXPECT_EQ(bold.find("<title><b>"), std::string::npos);
    const auto quoted = read_file(root() / "out/R&D \"x\".html");
    EXPECT_NE(quoted.find("<title>R&amp;D &quot;x&quot;</title>"), std::string::npos);
    // An apostrophe needs no escaping in text: ordinary names keep their bytes.
    const auto plain = read_file(root() / "out/it's plain.html");
    EXPECT_NE(plain.find("<title>it's plain</title>"), std::string::npos);
    const auto chart = read_file(root() / "out/a<i>.html");
    EXPECT_NE(chart.find("<title>a&lt;i&gt;</title>"), std::string::npos);

    const auto index = body_of_index();
    EXPECT_NE(index.find("</span> &lt;b&gt;</a></li>"), std::string::npos) << index;
    EXPECT_NE(index.find("</span> R&amp;D &quot;x&quot;</a></li>"), std::string::npos);
    EXPECT_NE(index.find("</span> it's plain</a></li>"), std::string::npos);
    EXPECT_NE(index.find("</span> a&lt;i&gt;</a></li>"), std::string::npos);
    // The log names the file as it is.
    EXPECT_NE(result.err.find("Processing Markdown: <b>.md -> <b>\n"), std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find("Converting diagram: a<i>.mmd -> a<i> ...\n"), std::string::npos);
}

TEST_F(ChartdocSite, DocumentsAreReadWithNormalisedLineBreaks) {
    write_file(root() / "in/crlf.md",
               "\xef\xbb\xbf# Title\r\n\r\n| a | b |\r\n|---|---|\r\n| 1 | 2 |\r"
               "\r~~not struck~~ www.example.com\r\n");
    build();
    const auto page = read_file(root() / "out/crlf.html");
    EXPECT_EQ(page.find('\r'), std::string::npos);
    EXPECT_NE(page.find("<h1>Title</h1>"), std::string::npos) << page;
    EXPECT_NE(page.find("<table>\n<thead>\n<tr>\n<th>a</th>\n<th>b</th>\n</tr>\n</thead>"),
              std::string::npos);
    EXPECT_NE(page.find("<td>1</td>"), std::string::npos);
    // Only tables are switched on: no strike-through, no bare-URL links.
    EXPECT_NE(page.find("<p>~~not struck~~ www.example.com</p>"), std::string::npos) << page;
}

TEST_F(ChartdocSite, RealRendererEmbedsTheDiagram) {
    if (!helmkit::find_program("mmdc")) {
        GTEST_SKIP() << "the Mermaid renderer mmdc is not on PATH (source scripts/mermaid_env.sh)";
    }
    write_file(root() / "in/flow.mmd", "graph TD\n    Start --> Finish\n");
    write_config({{"input_folder", "in"}, {"output_folder", "out"}});
    const auto result = run_torvane({"chartdoc", "-c", "site.json"}, root());
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(
        result.out.find(report("DONE", "Successfully generated documentation in: out/index.html")),
        std::string::npos)
        << result.out;
    const auto svg = read_file(root() / "out/flow.svg");
    EXPECT_EQ(svg.rfind("<svg", 0), 0u) << svg.substr(0, 200);
    EXPECT_NE(svg.find("Start"), std::string::npos);
    EXPECT_NE(svg.find("Finish"), std::string::npos);
    const auto page = read_file(root() / "out/flow.html");
    EXPECT_NE(page.find("<div class=\"content\">\n        " + svg), std::string::npos);
    expect_links_both_ways(root() / "out");
}

TEST(ChartdocFacilityMissing, EveryStepFailsNamingTheMarkdownPackage) {
    const auto minimal = minimal_binary();
    if (!minimal) GTEST_SKIP() << "no minimal build configured (TORVANE_MINIMAL_BINARY)";
    TempDir dir;
    write_file(dir / "site.json", R"({"config": {}})");
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"chartdoc", "--generate-config"}, {"chartdoc"}, {"chartdoc", "-c", "site.json"}}) {
        const auto result = run_program(*minimal, args, dir.path());
        EXPECT_EQ(result.status, 1);
        const auto errors = log_messages(result.err, "ERROR");
        ASSERT_EQ(errors.size(), 1u) << result.err;
        EXPECT_NE(errors[0].find("Markdown"), std::string::npos);
        EXPECT_NE(errors[0].find("libmd4c-html0-dev"), std::string::npos);
        EXPECT_NE(errors[0].find("-DTORVANE_MARKDOWN=ON"), std::string::npos);
        EXPECT_EQ(result.out, "");
    }
    EXPECT_FALSE(fs::exists(dir / "config_chartdoc_template.json"));
    EXPECT_FALSE(fs::exists(dir / "data_chartdoc"));
}
