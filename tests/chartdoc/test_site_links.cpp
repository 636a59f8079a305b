#include <algorithm>

#include "helmkit/text/utf8.hpp"
#include "site_fixture.hpp"

using namespace chartdoc_test;
using nlohmann::ordered_json;

namespace {

class ChartdocLinks : public SiteTest {
protected:
    RunResult build() {
        install_standin();
        write_config({{"input_folder", "in"}, {"output_folder", "out"}});
        return run_site();
    }
};

}  // namespace

TEST_F(ChartdocLinks, IndexLinksArePercentEncodedAndFileNameTitlesAreText) {
    write_file(root() / "in/release notes #2.md", "# Notes\n");
    write_file(root() / "in/100% done.md", "# Done\n");
    write_file(root() / "in/flow & <more>.mmd", "graph TD\n");
    const auto result = build();
    ASSERT_EQ(result.status, 0) << result.err;
    const auto index = read_file(root() / "out/index.html");
    EXPECT_NE(index.find("<li><a href=\"100%25%20done.html\"><span class=\"icon\">\U0001F4D8</span> "
                         "100% done</a></li>"),
              std::string::npos)
        << index;
    EXPECT_NE(index.find("<li><a href=\"release%20notes%20%232.html\"><span "
                         "class=\"icon\">\U0001F4D8</span> release notes #2</a></li>"),
              std::string::npos)
        << index;
    EXPECT_NE(index.find("<li><a href=\"flow%20%26%20%3Cmore%3E.html\"><span "
                         "class=\"icon\">\U0001F4CA</span> flow &amp; &lt;more&gt;</a></li>"),
              std::string::npos)
        << index;
    expect_links_both_ways(root() / "out");
}

TEST_F(ChartdocLinks, LinksBetweenDocumentsLeadToTheirPages) {
    write_file(root() / "in/guide.md",
               "See [the notes](release%20notes.md#part-2), [the FAQ](<faq.md>), "
               "[again](./faq.md?x=1), [a chart](flow.mmd), [elsewhere](../other/faq.md), "
               "[web](https://example.com/faq.md), [home](index.md) and [gone](missing.md).\n");
    write_file(root() / "in/release notes.md", "Back to [the guide](guide.md).\n");
    write_file(root() / "in/faq.md", "# FAQ\n");
    write_file(root() / "in/index.md", "# Not a page of the site\n");
    write_file(root() / "in/flow.mmd", "graph TD\n");
    const auto result = build();
    ASSERT_EQ(result.status, 0) << result.err;
    const auto guide = read_file(root() / "out/guide.html");
    for (const auto* link :
         {"<a href=\"release%20notes.html#part-2\">the notes</a>", "<a href=\"faq.html\">the FAQ</a>",
          "<a href=\"faq.html?x=1\">again</a>", "<a href=\"flow.mmd\">a chart</a>",
          "<a href=\"../other/faq.md\">elsewhere</a>",
          "<a href=\"https://example.com/faq.md\">web</a>", "<a href=\"index.md\">home</a>",
          "<a href=\"missing.md\">gone</a>"}) {
        EXPECT_NE(guide.find(link), std::string::npos) << link << "\n" << guide;
    }
    EXPECT_NE(read_file(root() / "out/release notes.html").find("<a href=\"guide.html\">the guide</a>"),
              std::string::npos);
}

TEST_F(ChartdocLinks, PageBeyondTheLimitFailsItsDocumentOnly) {
    // 107 KB that would make a page of 100 MB: one long destination used a thousand times.
    std::string bomb = "[r]: /" + std::string(100000, 'a') + "\n\n";
    for (int i = 0; i < 1000; ++i) bomb += "[x][r] ";
    write_file(root() / "in/bomb.md", bomb);
    write_file(root() / "in/fine.md", "# Fine\n");
    write_file(root() / "out/bomb.html", "earlier page");
    const auto result = build();
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out,
              report("DONE", "Successfully generated documentation in: out/index.html"));
    EXPECT_EQ(log_messages(result.err, "ERROR"),
              std::vector<std::string>{
                  "Failed to process bomb.md: its page would be larger than 64 MiB, the most a "
                  "page may hold"});
    EXPECT_EQ(read_file(root() / "out/bomb.html"), "earlier page");
    EXPECT_EQ(folder_names(root() / "out"),
              (std::vector<std::string>{"bomb.html", "fine.html", "index.html"}));
    const auto index = read_file(root() / "out/index.html");
    EXPECT_EQ(index.find("bomb"), std::string::npos);
    EXPECT_NE(index.find("fine.html"), std::string::npos);
}

TEST_F(ChartdocLinks, NamesThatAreNotUtf8AreShownWithReplacementCharactersAndStillLinked) {
    const std::string odd = "\xff\xfe";
    const std::string latin1 = "caf\xe9 menu";
    write_file(root() / "in" / (odd + ".md"), "# Odd\n");
    write_file(root() / "in" / (latin1 + ".md"), "[odd](%FF%FE.md)\n");
    write_file(root() / "in/bad\x80.mmd", "graph TD\n");
    install_standin();
    write_config({{"input_folder", "in"}, {"output_folder", "out"}});
    const auto result = run_site({{"STANDIN_FAIL_ON", "bad"}});
    ASSERT_EQ(result.status, 0) << result.err;

    const auto index = read_file(root() / "out/index.html");
    EXPECT_EQ(helmkit::find_invalid_utf8(index), std::string::npos) << index;
    EXPECT_NE(index.find("<li><a href=\"%FF%FE.html\"><span class=\"icon\">\U0001F4D8</span> "
                         "\uFFFD\uFFFD</a></li>"),
              std::string::npos)
        << index;
    EXPECT_NE(index.find("<li><a href=\"caf%E9%20menu.html\"><span "
                         "class=\"icon\">\U0001F4D8</span> caf\uFFFD menu</a></li>"),
              std::string::npos)
        << index;
    expect_links_both_ways(root() / "out");
    const auto page = read_file(root() / "out" / (odd + ".html"));
    EXPECT_EQ(helmkit::find_invalid_utf8(page), std::string::npos) << page;
    EXPECT_NE(page.find("\uFFFD\uFFFD"), std::string::npos) << page;
    EXPECT_NE(
        read_file(root() / "out" / (latin1 + ".html")).find("<a href=\"%FF%FE.html\">odd</a>"),
        std::string::npos);

    EXPECT_EQ(helmkit::find_invalid_utf8(result.err), std::string::npos) << result.err;
    const auto infos = log_messages(result.err, "INFO");
    EXPECT_NE(std::find(infos.begin(), infos.end(),
                        "Processing Markdown: \uFFFD\uFFFD.md -> \uFFFD\uFFFD"),
              infos.end())
        << result.err;
    EXPECT_NE(std::find(infos.begin(), infos.end(),
                        "Converting diagram: bad\uFFFD.mmd -> bad\uFFFD ..."),
              infos.end())
        << result.err;
    const auto errors = log_messages(result.err, "ERROR");
    ASSERT_EQ(errors.size(), 1u) << result.err;
    EXPECT_EQ(errors[0].rfind("Failed to convert bad\uFFFD.mmd: mmdc -i ", 0), 0u)
        << errors[0];
}

TEST_F(ChartdocLinks, DeadLinksAreWarnedAboutAndChangeNothingElse) {
    write_file(root() / "in/guide.md",
               "# Guide\n\n## Set up\n\nSee [setup](#set-up), [faq](faq.md#common-questions), "
               "[gone](missing.md), [old](old.html), [nowhere](faq.md#nowhere), "
               "[self](#no-such), [index](index.html), [chart](flow.html#x), "
               "[web](https://example.com/missing.md), [mail](mailto:a@b.c), "
               "[up](../x.md), [image](pic.png).\n");
    write_file(root() / "in/faq.md", "# FAQ\n\n## Common questions\n\n<a id=\"raw\"></a>\n"
                                     "[raw anchor](#raw), [guide](guide.md#set-up)\n");
    write_file(root() / "in/flow.mmd", "graph TD\n");
    install_standin();
    const std::vector<std::string> dead_pages{
        "Broken link in guide.md: 'missing.md' leads to no page of the site",
        "Broken link in guide.md: 'old.html' leads to no page of the site"};

    for (const bool rich : {false, true}) {
        ordered_json section{{"input_folder", "in"}, {"output_folder", rich ? "rich" : "plain"}};
        if (rich) section["rich_markdown"] = true;
        write_config(section);
        for (const auto& strict : std::vector<std::map<std::string, std::string>>{
                 {}, {{"TORVANE_STRICT", "1"}}}) {
            const auto result = run_site(strict);
            EXPECT_EQ(result.status, 0) << result.err;
            auto expected = dead_pages;
            if (rich) {
                expected.push_back(
                    "Broken link in guide.md: 'faq.md#nowhere' leads to faq.html, which has no "
                    "anchor 'nowhere'");
                expected.push_back(
                    "Broken link in guide.md: '#no-such' leads to guide.html, which has no anchor "
                    "'no-such'");
            }
            expected.push_back("Link check: " + std::to_string(expected.size()) +
                               " broken links found");
            EXPECT_EQ(log_messages(result.err, "WARNING"), expected) << result.err;
            EXPECT_TRUE(log_messages(result.err, "ERROR").empty());
            EXPECT_EQ(log_messages(result.err, "INFO").back(),
                      "Summary: 3 pages written (2 documents, 1 diagram), 0 failed");
        }
    }
    // The check only reads: without rich_markdown the pages are what they always were.
    EXPECT_EQ(read_file(root() / "plain/guide.html").find(" id="), std::string::npos);
    EXPECT_NE(read_file(root() / "rich/guide.html").find("<h2 id=\"set-up\">Set up</h2>"),
              std::string::npos);
    EXPECT_NE(read_file(root() / "rich/faq.html")
                  .find("<a href=\"guide.html#set-up\">guide</a>"),
              std::string::npos);
}

TEST_F(ChartdocLinks, SiteWithoutDeadLinksLogsNoWarning) {
    write_file(root() / "in/a.md", "[b](b.md) [top](#a) [index](index.html)\n\n# A\n");
    write_file(root() / "in/b.md", "[a](./a.md#a)\n");
    install_standin();
    write_config({{"input_folder", "in"}, {"output_folder", "out"}, {"rich_markdown", true}});
    const auto result = run_site();
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(log_messages(result.err, "WARNING").empty()) << result.err;
}
