#include <gtest/gtest.h>
#include <md4c-html.h>

#include <string>
#include <vector>

#include "helmkit/base/error.hpp"
#include "torvane/chartdoc/markdown_html.hpp"
#include "torvane/chartdoc/page_output.hpp"
#include "torvane/chartdoc/site_links.hpp"

using namespace torvane::chartdoc;

namespace {

// What md4c's own HTML renderer makes of `markdown`, with the options pages were made with
// before they were rendered as they are parsed.
std::string md4c_html(const std::string& markdown) {
    std::string html;
    md_html(
        markdown.data(), static_cast<MD_SIZE>(markdown.size()),
        [](const MD_CHAR* text, MD_SIZE size, void* out) {
            static_cast<std::string*>(out)->append(text, size);
        },
        &html, MD_FLAG_TABLES, MD_HTML_FLAG_SKIP_UTF8_BOM);
    return html;
}

std::string rendered(const std::string& markdown, const SiteLinks& links) {
    std::string html;
    PageOutput out([&html](std::string_view piece) { html.append(piece); });
    render_markdown(markdown, out, links);
    out.finish();
    return html;
}

const SiteLinks k_site({{"other.md", "other.html"},
                        {"release notes #2.md", "release notes #2.html"},
                        {"100% done.md", "100% done.html"},
                        {"README.MD", "README.html"}});

}  // namespace

TEST(MarkdownHtml, RendersEveryConstructAsMd4cHtmlDoes) {
    std::vector<std::string> documents{
        "# H1\n## H2 ##\n### H3\n#### H4\n##### H5\n###### H6\nSetext\n===\nTwo\n---\n",
        "*em* **strong** ***both*** _u_ `code <&>` ``a ` b`` \\*escaped\\*\n",
        "[plain](http://example.com/a?b=1&c=2#frag \"T &amp; <t>\") "
        "[ref][r] [Ref] <https://auto.example/x y> <me@example.com>\n\n"
        "[r]: /path/with%20space/\xc3\xa9t\xc3\xa9 'ref title'\n[ref]: <a b> (paren)\n",
        "![alt *em* `c` ![inner](i.png) [l](x)](img.png \"title\") ![](empty.png)\n"
        "![line\nbreak  \nhard](b.png)\n",
        "&amp; &lt; &copy; &nbsp; &#35; &#x1F600; &#0; &NotAnEntity; &ngE; &#X41;\n"
        "[e](&#x61;&amp;b \"&quot;q&quot;\")\n",
        "```c&amp;++ {.x}\nint main() { return 0; } // <&>\n```\n\n~~~\nplain\n~~~\n\n"
        "    indented code\n\n```\n\n```\n",
        "| Left | Center | Right | None |\n|:-----|:------:|------:|------|\n"
        "| a | *b* | `c|d` | e \\| f |\n| only |\n",
        "1. one\n2. two\n\n7) seven\n8) eight\n\n- a\n- b\n\n  loose\n- c\n\n* x\n  > quote\n  > more\n",
        "> quote\n>\n> > nested\n\n---\n***\n___\n",
        "<div class=\"raw\">\n*not emphasis*\n</div>\n\ninline <span a=\"1\">html</span> "
        "<!-- comment --> <?pi?>\n",
        std::string("nul \0 here [n\0](a\0b \"t\0\")\n", 27),
        "line one  \nline two\\\nline three\nsoft\n",
        "\xef\xbb\xbf# after a byte-order mark\n",
        "",
        "plain text with \"quotes\" & <angle brackets>\n",
    };
    // Text is searched for what needs escaping many bytes at a time, and a page is collected
    // in pieces of 64 KiB: escapes at every place of a line, long runs, and a page of several
    // pieces whose pieces break inside what is written.
    std::string escapes;
    for (std::size_t at = 0; at < 40; ++at) {
        escapes += std::string(at, 'x') + "\"&<>"[at % 4] + std::string(39 - at, 'y') + "\n";
    }
    documents.push_back(escapes);
    documents.push_back(std::string(10000, 'z') + " & " + std::string(5000, 'w') + "<\n");
    documents.push_back("```\n" + std::string(6000, 'c') + "<>\n" + escapes + "```\n");
    std::string pieces;
    for (int i = 0; i < 60; ++i) pieces += escapes + "\n";
    documents.push_back(pieces);
    for (const auto& markdown : documents) {
        EXPECT_EQ(rendered(markdown, SiteLinks({})), md4c_html(markdown)) << markdown;
        EXPECT_EQ(markdown_to_html(markdown), md4c_html(markdown)) << markdown;
    }
}

TEST(MarkdownHtml, LinksToDocumentsOfTheSiteLeadToTheirPages) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"[x](other.md)", "<a href=\"other.html\">x</a>"},
        {"[x](other.md#part)", "<a href=\"other.html#part\">x</a>"},
        {"[x](./other.md?v=1#p \"T\")", "<a href=\"other.html?v=1#p\" title=\"T\">x</a>"},
        {"[x](release%20notes%20%232.md)", "<a href=\"release%20notes%20%232.html\">x</a>"},
        {"[x](<100%25 done.md>)", "<a href=\"100%25%20done.html\">x</a>"},
        {"[x](README.MD)", "<a href=\"README.html\">x</a>"},
        {"[x][r]\n\n[r]: other.md#r", "<a href=\"other.html#r\">x</a>"},
        // Everything else stays as written.
        {"[x](readme.md)", "<a href=\"readme.md\">x</a>"},
        {"[x](missing.md)", "<a href=\"missing.md\">x</a>"},
        {"[x](sub/other.md)", "<a href=\"sub/other.md\">x</a>"},
        {"[x](../other.md)", "<a href=\"../other.md\">x</a>"},
        {"[x](/other.md)", "<a href=\"/other.md\">x</a>"},
        {"[x](https://example.com/other.md)", "<a href=\"https://example.com/other.md\">x</a>"},
        {"[x](other:md)", "<a href=\"other:md\">x</a>"},
        {"[x](#other.md)", "<a href=\"#other.md\">x</a>"},
        {"![x](other.md)", "<img src=\"other.md\" alt=\"x\">"},
        {"<a href=\"other.md\">raw</a>", "<a href=\"other.md\">raw</a>"},
    };
    for (const auto& [markdown, link] : cases) {
        const auto html = rendered(markdown + "\n", k_site);
        EXPECT_NE(html.find(link), std::string::npos) << markdown << " gave " << html;
    }
}

TEST(SiteLinks, PercentEncodingKeepsOnlyUnreservedBytes) {
    EXPECT_EQ(percent_encoded("release notes #2.html"), "release%20notes%20%232.html");
    EXPECT_EQ(percent_encoded("100% done.html"), "100%25%20done.html");
    EXPECT_EQ(percent_encoded("a-b_c.d~E9.html"), "a-b_c.d~E9.html");
    EXPECT_EQ(percent_encoded("it's \"q\" & <b>:?/.html"),
              "it%27s%20%22q%22%20%26%20%3Cb%3E%3A%3F%2F.html");
    EXPECT_EQ(percent_encoded("\xc3\xa9t\xc3\xa9"), "%C3%A9t%C3%A9");
    EXPECT_EQ(percent_encoded(""), "");
}

TEST(SiteLinks, OnlyRelativeLinksToListedDocumentsAreReplaced) {
    EXPECT_EQ(k_site.page_href("other.md"), "other.html");
    EXPECT_EQ(k_site.page_href("release notes "), std::nullopt);
    EXPECT_EQ(k_site.page_href("release%20notes%20%232.md#top"), "release%20notes%20%232.html#top");
    EXPECT_EQ(k_site.page_href("100%25%20done.md"), "100%25%20done.html");
    EXPECT_EQ(k_site.page_href("./other.md"), "other.html");
    EXPECT_EQ(k_site.page_href(".//other.md"), std::nullopt);
    EXPECT_EQ(k_site.page_href("OTHER.md"), std::nullopt);
    EXPECT_EQ(k_site.page_href("file:other.md"), std::nullopt);
    EXPECT_EQ(k_site.page_href(""), std::nullopt);
    EXPECT_EQ(SiteLinks({}).page_href("other.md"), std::nullopt);
}

TEST(PageOutput, HandsOnLargePiecesAndRefusesToPassItsLimit) {
    std::vector<std::size_t> pieces;
    PageOutput out([&pieces](std::string_view piece) { pieces.push_back(piece.size()); },
                   std::size_t{1} << 20);
    const std::string line(1000, 'x');
    for (int i = 0; i < 1000; ++i) out.write(line);
    out.finish();
    std::size_t total = 0;
    for (const auto size : pieces) total += size;
    EXPECT_EQ(total, 1000000u);
    EXPECT_GE(pieces.size(), 10u);
    EXPECT_LE(pieces.size(), 20u);

    PageOutput small([](std::string_view) {}, 1500);
    small.write(line);
    try {
        small.write(line);
        small.finish();
        FAIL() << "a page past its limit was accepted";
    } catch (const helmkit::Error& error) {
        EXPECT_STREQ(error.what(), "its page would be larger than 1500 bytes, the most a page may hold");
    }
}

TEST(MarkdownHtml, RenderingStopsWhenTheOutputRefusesMore) {
    // One long destination used many times: the page would be about 100 MB.
    std::string markdown = "[r]: /" + std::string(100000, 'a') + "\n\n";
    for (int i = 0; i < 1000; ++i) markdown += "[x][r] ";
    std::size_t delivered = 0;
    PageOutput out([&delivered](std::string_view piece) { delivered += piece.size(); });
    EXPECT_THROW(render_markdown(markdown, out, SiteLinks({})), helmkit::Error);
    EXPECT_LE(delivered, k_page_limit);
    EXPECT_GT(delivered, k_page_limit / 2);
}

// A document that the fuzzer found: it ends inside a link destination. The renderer must not
// look at what lies after the text it was given, here a ")" that would close the link.
TEST(MarkdownHtml, ReadsNothingPastTheEndOfTheText) {
    constexpr std::string_view memory = "| a |\n| - |\n[](&mp)";
    const auto document = memory.substr(0, memory.size() - 1);
    EXPECT_EQ(markdown_to_html(document), "<p>| a |\n| - |\n[](&amp;mp</p>\n");
    EXPECT_EQ(markdown_to_html("[](&mp"), "<p>[](&amp;mp</p>\n");
}

TEST(RichMarkdown, HeadingsGetUniqueIdsAndExtensionsWork) {
    MarkdownOptions rich;
    rich.rich = true;
    DocumentAnchors anchors;
    rich.anchors = &anchors;
    const auto html = markdown_to_html(
        "# Install & Run!\n## Install & Run!\n### Install & Run!\n## install--run-1\n"
        "## \"Quotes\" <b>and</b> `code` &amp; <tags>\n##\n## \xc3\x89t\xc3\xa9 \xe2\x80\x94 "
        "\xce\x91\xce\xb2\n## *Em* [link](x.md)\nSetext\n---\n\n"
        "~~gone~~ https://example.com/a www.example.org me@example.com\n\n"
        "| L | C | R | N |\n|:--|:-:|--:|---|\n| a | b | c | d |\n\n<a id=\"raw\"></a>\n",
        rich);
    for (const auto* piece : {
             "<h1 id=\"install--run\">Install &amp; Run!</h1>\n",
             "<h2 id=\"install--run-1\">Install &amp; Run!</h2>\n",
             "<h3 id=\"install--run-2\">Install &amp; Run!</h3>\n",
             // A heading whose own text is a repeat's id gets the next free one.
             "<h2 id=\"install--run-1-1\">install--run-1</h2>\n",
             "<h2 id=\"quotes-and-code--\">&quot;Quotes&quot; <b>and</b> <code>code</code> "
             "&amp; <tags></h2>\n",
             "<h2 id=\"section\"></h2>\n",
             "<h2 id=\"\xc3\xa9t\xc3\xa9--\xce\xb1\xce\xb2\">",
             "<h2 id=\"em-link\"><em>Em</em> <a href=\"x.md\">link</a></h2>\n",
             "<h2 id=\"setext\">Setext</h2>\n",
             "<del>gone</del>",
             "<a href=\"https://example.com/a\">https://example.com/a</a>",
             ">www.example.org</a>",
             "<a href=\"mailto:me@example.com\">me@example.com</a>",
             "<th align=\"left\" style=\"text-align: left\">L</th>",
             "<th align=\"center\" style=\"text-align: center\">C</th>",
             "<td align=\"right\" style=\"text-align: right\">c</td>",
             "<td>d</td>",
         }) {
        EXPECT_NE(html.find(piece), std::string::npos) << piece << "\n" << html;
    }
    EXPECT_EQ(anchors.ids,
              (std::vector<std::string>{"install--run", "install--run-1", "install--run-2",
                                        "install--run-1-1", "quotes-and-code--", "section",
                                        "\xc3\xa9t\xc3\xa9--\xce\xb1\xce\xb2", "em-link", "setext",
                                        "raw"}));
    ASSERT_EQ(anchors.links.size(), 4u);
    EXPECT_EQ(anchors.links[0].written, "x.md");

    // Without the option the same text renders exactly as md4c-html does.
    const std::string plain = "# A\n~~b~~ https://c.example\n\n| x |\n|:-:|\n| y |\n";
    EXPECT_EQ(markdown_to_html(plain), md4c_html(plain));
}

TEST(RichMarkdown, HeadingSlugs) {
    EXPECT_EQ(heading_slug("Installation"), "installation");
    EXPECT_EQ(heading_slug("What's new in 2.0?"), "whats-new-in-20");
    EXPECT_EQ(heading_slug("snake_case and-dash"), "snake_case-and-dash");
    EXPECT_EQ(heading_slug("  "), "--");
    EXPECT_EQ(heading_slug("!!!"), "section");
    EXPECT_EQ(heading_slug("\xe2\x80\x9cQuoted\xe2\x80\x9d \xc2\xa9 \xe2\x86\x92 x"), "quoted---x");
    EXPECT_EQ(heading_slug("\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82"),
              "\xd0\xbf\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82");
    EXPECT_EQ(heading_slug("\xc5\x81\xc3\xb3" "d\xc5\xba"), "\xc5\x82\xc3\xb3" "d\xc5\xba");
    EXPECT_EQ(heading_slug("\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e\xe3\x80\x82"),
              "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e");
}

TEST(MermaidFences, FoundWithTheirLinesAndReplacedByTheirDiagrams) {
    const std::string markdown =
        "# Doc\n\n```mermaid\ngraph TD\n  A --> B\n```\n\ntext\n\n"
        "- item\n\n  ```mermaid\n  pie\n    \"x\" : 1\n  ```\n\n"
        "```mermaidx\nnot one\n```\n\n~~~ mermaid extra\n\nsequenceDiagram\n~~~\n\n"
        "    indented code\n\n```mermaid\n```\n";
    const auto fences = mermaid_fences(markdown);
    ASSERT_EQ(fences.size(), 4u);
    EXPECT_EQ(fences[0].text, "graph TD\n  A --> B\n");
    EXPECT_EQ(fences[0].line, 3u);
    EXPECT_EQ(fences[1].text, "pie\n  \"x\" : 1\n");
    EXPECT_EQ(fences[1].line, 12u);
    EXPECT_EQ(fences[2].text, "\nsequenceDiagram\n");
    EXPECT_EQ(fences[2].line, 21u);
    EXPECT_EQ(fences[3].text, "");

    std::vector<std::size_t> asked;
    MarkdownOptions options;
    options.diagram = [&](std::size_t n) -> std::optional<std::string> {
        asked.push_back(n);
        if (n == 1) return std::nullopt;
        return "<svg>" + std::to_string(n) + "</svg>";
    };
    const auto html = markdown_to_html(markdown, options);
    // An empty fence is no diagram: it is never asked for and stays a code block.
    EXPECT_EQ(asked, (std::vector<std::size_t>{0, 1, 2}));
    EXPECT_NE(html.find("<h1>Doc</h1>\n<div class=\"diagram\"><svg>0</svg></div>\n<p>text</p>"),
              std::string::npos)
        << html;
    EXPECT_NE(html.find("<pre><code class=\"language-mermaid\">pie\n  &quot;x&quot; : 1\n"
                        "</code></pre>"),
              std::string::npos)
        << html;
    EXPECT_NE(html.find("<code class=\"language-mermaidx\">not one"), std::string::npos);
    EXPECT_NE(html.find("<div class=\"diagram\"><svg>2</svg></div>\n<pre><code>indented"),
              std::string::npos)
        << html;
    EXPECT_NE(html.find("<pre><code class=\"language-mermaid\"></code></pre>\n"),
              std::string::npos);
    EXPECT_EQ(markdown_to_html(markdown), md4c_html(markdown));
}
