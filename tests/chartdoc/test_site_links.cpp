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

TEST_F(ChartdocLinks, IndexLinksArePercentEncodedAndTitlesKeptAsWritten) {
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
                         "class=\"icon\">\U0001F4CA</span> flow & <more></a></li>"),
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
