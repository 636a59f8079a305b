#include <cstdlib>

#include "helmkit/base/child_process.hpp"
#include "site_fixture.hpp"
#include "torvane/chartdoc/batch_render.hpp"

using namespace chartdoc_test;
using namespace torvane::chartdoc;
using nlohmann::ordered_json;

namespace {

// A stand-in renderer that knows both ways it is started: alone ("-i <mmd> -o <svg>") it wraps
// the diagram in <svg>; given "--quiet --jobs N -i <md> -o <stem>.svg" it writes <stem>-N.svg per
// mermaid block, in order, until a block holding FAIL, where it leaves the next block's file cut
// short (as a parallel job stopped mid-way would) and exits 1. Calls are logged as
// k_standin_mmdc logs them, a batch's with a last line "blocks=N".
const std::string k_batch_standin = R"sh(#!/bin/sh
PATH=/usr/bin:/bin
log="${0%/*}/mmdc.log"
echo -- >> "$log"
for arg in "$@"; do printf '%s\n' "$arg" >> "$log"; done
if [ "$1" = "--quiet" ]; then
    echo "blocks=$(grep -c '^```mermaid$' "$5")" >> "$log"
    awk -v stem="${7%.svg}" '
        /^```mermaid$/ { n++; body = ""; inside = 1; next }
        /^```$/ && inside {
            if (body ~ /FAIL/) {
                cut = stem "-" (n + 1) ".svg"; printf "<svg>cut short" > cut; exit 1
            }
            file = stem "-" n ".svg"; printf "<svg>%s</svg>\n", body > file; close(file)
            inside = 0; next
        }
        inside { body = body $0 "\n" }' "$5"
    exit $?
fi
if grep -q FAIL "$2"; then exit 1; fi
{ printf '<svg>'; cat "$2"; printf '</svg>\n'; } > "$4"
)sh";

class ChartdocBatch : public SiteTest {
protected:
    RunResult build(const ordered_json& batch_render) {
        write_script(bin() / "mmdc", k_batch_standin);
        ordered_json section{{"input_folder", "in"}, {"output_folder", "out"}};
        if (!batch_render.is_null()) section["batch_render"] = batch_render;
        write_config(section);
        return run_site();
    }

    // The diagrams each renderer start was given: a batch as "batch of N", a single render by
    // its source.
    std::vector<std::string> starts() const {
        std::vector<std::string> seen;
        for (const auto& call : renderer_calls()) {
            if (call.size() == 8 && call[0] == "--quiet") {
                seen.push_back("batch of " + call[7].substr(call[7].find('=') + 1));
            } else {
                seen.push_back(call.size() == 4 ? call[1] : "unexpected call");
            }
        }
        return seen;
    }
};

}  // namespace

TEST(BatchMarkdown, BlocksHoldEachDiagramAsWritten) {
    EXPECT_EQ(batch_markdown({"graph TD\n  A --> B\n", "pie\n  \"x\" : 1", ""}),
              "```mermaid\ngraph TD\n  A --> B\n```\n\n"
              "```mermaid\npie\n  \"x\" : 1\n```\n\n"
              "```mermaid\n\n```\n\n");
    EXPECT_TRUE(fits_in_a_block("graph TD\n  A:::warm --> B\n  classDef warm fill:#f96\n"));
    EXPECT_TRUE(fits_in_a_block("graph TD\n  A[\"``x``\"] --> B\n"));
    for (const auto* text : {"graph TD\n  A --> B\n```\n", "graph TD\n  A:::\n",
                             "graph TD\n  note ``` \t\n", "x\r:::\rgraph", "a\xe2\x80\xa8```",
                             "```"}) {
        EXPECT_FALSE(fits_in_a_block(text)) << text;
    }
}

TEST_F(ChartdocBatch, ABatchFailingAtOneDiagramGoesOnWithoutIt) {
    for (const auto* name : {"d1.mmd", "d2.mmd", "d3.mmd", "d4.mmd", "d5.mmd"}) {
        write_file(root() / "in" / name, std::string("graph TD\n  ") + name + "\n");
    }
    write_file(root() / "in/d2.mmd", "graph TD\n  FAIL\n");
    write_file(root() / "in/d4.mmd", "graph TD\n```\n");  // cannot travel in a block
    write_file(root() / "in/a.md", "# A\n");
    const auto result = build(true);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(starts(), (std::vector<std::string>{"batch of 4", "in/d2.mmd", "batch of 2",
                                                  "in/d4.mmd"}));
    EXPECT_EQ(log_messages(result.err, "ERROR"),
              std::vector<std::string>{
                  "Failed to convert d2.mmd: mmdc -i in/d2.mmd -o out/d2.svg exited with status 1"});
    EXPECT_EQ(log_messages(result.err, "INFO").back(),
              "Summary: 5 pages written (1 document, 4 diagrams), 1 failed");
    for (const auto* base : {"d1", "d3", "d5"}) {
        const auto svg = "<svg>graph TD\n  " + std::string(base) + ".mmd\n</svg>\n";
        EXPECT_EQ(read_file(root() / "out" / (std::string(base) + ".svg")), svg) << base;
        EXPECT_NE(read_file(root() / "out" / (std::string(base) + ".html")).find(svg),
                  std::string::npos);
    }
    EXPECT_EQ(read_file(root() / "out/d4.svg"), "<svg>graph TD\n```\n</svg>\n");
    EXPECT_EQ(folder_names(root() / "out"),
              (std::vector<std::string>{"a.html", "d1.html", "d1.svg", "d3.html", "d3.svg",
                                        "d4.html", "d4.svg", "d5.html", "d5.svg", "index.html"}));
    const auto index = read_file(root() / "out/index.html");
    EXPECT_EQ(index.find("d2.html"), std::string::npos);
    expect_links_both_ways(root() / "out");
}

TEST_F(ChartdocBatch, OffByDefaultAndWhenFalse) {
    write_file(root() / "in/x.mmd", "graph TD\n  x\n");
    write_file(root() / "in/y.mmd", "graph TD\n  y\n");
    for (const auto& value : {ordered_json(), ordered_json(false)}) {
        fs::remove(bin() / "mmdc.log");
        const auto result = build(value);
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(renderer_calls(),
                  (std::vector<std::vector<std::string>>{{"-i", "in/x.mmd", "-o", "out/x.svg"},
                                                         {"-i", "in/y.mmd", "-o", "out/y.svg"}}));
    }
    const auto result = build("yes");
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(lines_of(result.err).back().find("'batch_render'"), std::string::npos)
        << result.err;
}

TEST_F(ChartdocBatch, RealRendererGivesTheSameSvgAsOneAtATime) {
    const auto mmdc = helmkit::find_program("mmdc");
    if (!mmdc) {
        GTEST_SKIP() << "the Mermaid renderer mmdc is not on PATH (source scripts/mermaid_env.sh)";
    }
    // A wrapper that logs each start, then hands over to the real renderer.
    write_script(bin() / "mmdc", "#!/bin/sh\nlog=\"${0%/*}/mmdc.log\"\necho -- >> \"$log\"\n"
                                 "for arg in \"$@\"; do printf '%s\\n' \"$arg\" >> \"$log\"; done\n"
                                 "exec '" + mmdc->string() + "' \"$@\"\n");
    write_file(root() / "in/a_good.mmd", "graph TD\n    Start --> Finish\n");
    write_file(root() / "in/b_bad.mmd", "graph TD\n    A --> B -->\n");
    write_config({{"input_folder", "in"}, {"output_folder", "out"}, {"batch_render", true}});
    std::map<std::string, std::string> env{{"PATH", bin().string() + ":" + std::getenv("PATH")}};
    const auto result = run_site(env);
    ASSERT_EQ(result.status, 0) << result.err;
    // The renderer works on both diagrams at once, so the failure may stop it before the good
    // one is written: that one is then rendered alone too.
    const auto calls = renderer_calls();
    ASSERT_GE(calls.size(), 2u);
    ASSERT_LE(calls.size(), 3u);
    EXPECT_EQ(calls[0][0], "--quiet");
    if (calls.size() == 3) {
        EXPECT_EQ(calls[1],
                  (std::vector<std::string>{"-i", "in/a_good.mmd", "-o", "out/a_good.svg"}));
    }
    EXPECT_EQ(calls.back(),
              (std::vector<std::string>{"-i", "in/b_bad.mmd", "-o", "out/b_bad.svg"}));
    EXPECT_EQ(log_messages(result.err, "ERROR"),
              std::vector<std::string>{"Failed to convert b_bad.mmd: mmdc -i in/b_bad.mmd -o "
                                       "out/b_bad.svg exited with status 1"});

    // The same diagram rendered on its own.
    write_config({{"input_folder", "in"}, {"output_folder", "single"}});
    ASSERT_EQ(run_site(env).status, 0);
    const auto svg = read_file(root() / "out/a_good.svg");
    EXPECT_EQ(svg.rfind("<svg", 0), 0u) << svg.substr(0, 200);
    EXPECT_EQ(svg, read_file(root() / "single/a_good.svg"));
    EXPECT_EQ(read_file(root() / "out/a_good.html"), read_file(root() / "single/a_good.html"));
    EXPECT_EQ(folder_names(root() / "out"),
              (std::vector<std::string>{"a_good.html", "a_good.svg", "index.html"}));
}
