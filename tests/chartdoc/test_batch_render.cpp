#include <chrono>
#include <cstdlib>

#include "helmkit/base/child_process.hpp"
#include "site_fixture.hpp"
#include "torvane/chartdoc/batch_render.hpp"
#include "torvane/chartdoc/diagram_cache.hpp"

using namespace chartdoc_test;
using namespace torvane::chartdoc;
using nlohmann::ordered_json;

namespace {

// A stand-in for node that knows the diagram script's job file: it logs its arguments as
// k_standin_mmdc logs them (to node.log), keeps a copy of the job, and for each diagram writes
// <svg>text</svg>, or a one-line message when the text holds FAIL.
const std::string k_standin_node = R"py(#!/usr/bin/python3
import json, os, sys
here = os.path.dirname(os.path.abspath(__file__))
with open(os.path.join(here, "node.log"), "a") as log:
    log.write("--\n" + "".join(arg + "\n" for arg in sys.argv[1:]))
job = json.load(open(sys.argv[3]))
json.dump(job, open(os.path.join(here, "last_job.json"), "w"))
for diagram in job["diagrams"]:
    if "FAIL" in diagram["text"]:
        open(diagram["output"] + ".error", "w").write("Parse error on line 2: FAIL\n")
    else:
        open(diagram["output"], "w").write("<svg>" + diagram["text"] + "</svg>\n")
)py";

// A renderer that is only there to be found: batch rendering must not start it.
const std::string k_unused_mmdc = R"sh(#!/bin/sh
PATH=/usr/bin:/bin
echo -- >> "${0%/*}/mmdc.log"
for arg in "$@"; do printf '%s\n' "$arg" >> "${0%/*}/mmdc.log"; done
{ printf '<svg>alone '; cat "$2"; printf '</svg>\n'; } > "$4"
)sh";

class ChartdocBatch : public SiteTest {
protected:
    RunResult build(const ordered_json& batch_render) {
        write_script(bin() / "mmdc", k_unused_mmdc);
        write_script(bin() / "node", k_standin_node);
        ordered_json section{{"input_folder", "in"}, {"output_folder", "out"}};
        if (!batch_render.is_null()) section["batch_render"] = batch_render;
        write_config(section);
        return run_site();
    }

    std::vector<std::string> node_calls() const {
        std::vector<std::string> calls;
        if (!fs::exists(bin() / "node.log")) return calls;
        for (const auto& line : lines_of(read_file(bin() / "node.log"))) {
            if (line == "--") calls.emplace_back();
            else calls.back() += (calls.back().empty() ? "" : " ") + line;
        }
        return calls;
    }
};

}  // namespace

TEST_F(ChartdocBatch, DiagramTextsTravelAsDataInOneStart) {
    // Texts that would break a Markdown block, a JavaScript literal or a shell command.
    const std::vector<std::string> texts{
        "graph TD\n  A[\"``x``\"] --> B\n```\n", "graph TD\n  A:::\n",
        "graph TD\n  A[\"'); process.exit(1); //\"] --> B[\"$(touch pwned) `id`\"]\n",
        "pie\n  \"\\u0000\" : 1\r\n"};
    for (std::size_t i = 0; i < texts.size(); ++i) {
        write_file(root() / "in" / ("d" + std::to_string(i) + ".mmd"), texts[i]);
    }
    const auto result = build(true);
    ASSERT_EQ(result.status, 0) << result.err;
    ASSERT_EQ(node_calls().size(), 1u);
    EXPECT_FALSE(fs::exists(bin() / "mmdc.log"));
    const auto job = ordered_json::parse(read_file(bin() / "last_job.json"));
    EXPECT_EQ(job["timeout_ms"], 60000);
    ASSERT_EQ(job["diagrams"].size(), texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(job["diagrams"][i]["text"], texts[i]);
        const auto svg = read_file(root() / "out" / ("d" + std::to_string(i) + ".svg"));
        EXPECT_EQ(svg, "<svg>" + texts[i] + "</svg>\n");
    }
    EXPECT_FALSE(fs::exists(root() / "pwned"));
    // The scratch folder is gone, and with it the job.
    EXPECT_EQ(folder_names(root() / "out"),
              (std::vector<std::string>{"d0.html", "d0.svg", "d1.html", "d1.svg", "d2.html",
                                        "d2.svg", "d3.html", "d3.svg", "index.html"}));
}

TEST_F(ChartdocBatch, ABatchFailingAtOneDiagramGoesOnWithoutIt) {
    for (const auto* name : {"d1.mmd", "d2.mmd", "d3.mmd"}) {
        write_file(root() / "in" / name, std::string("graph TD\n  ") + name + "\n");
    }
    write_file(root() / "in/d2.mmd", "graph TD\n  FAIL\n");
    fs::create_directories(root() / "in/d4.mmd");  // cannot be read: fails as it always has
    write_file(root() / "in/a.md", "# A\n");
    const auto result = build(true);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(node_calls().size(), 1u);
    EXPECT_TRUE(renderer_calls().empty());
    const auto errors = log_messages(result.err, "ERROR");
    ASSERT_EQ(errors.size(), 2u) << result.err;
    EXPECT_EQ(errors[0], "Failed to convert d2.mmd: Parse error on line 2: FAIL");
    EXPECT_EQ(errors[1].rfind("Failed to convert d4.mmd: cannot read ", 0), 0u) << errors[1];
    EXPECT_EQ(log_messages(result.err, "INFO").back(),
              "Summary: 3 pages written (1 document, 2 diagrams), 2 failed");
    for (const auto* base : {"d1", "d3"}) {
        const auto svg = "<svg>graph TD\n  " + std::string(base) + ".mmd\n</svg>\n";
        EXPECT_EQ(read_file(root() / "out" / (std::string(base) + ".svg")), svg) << base;
        EXPECT_NE(read_file(root() / "out" / (std::string(base) + ".html")).find(svg),
                  std::string::npos);
    }
    const auto index = read_file(root() / "out/index.html");
    EXPECT_EQ(index.find("d2.html"), std::string::npos);
    expect_links_both_ways(root() / "out");
}

TEST_F(ChartdocBatch, WithoutNodeOrScriptEachDiagramGetsItsOwnMmdc) {
    write_file(root() / "in/x.mmd", "graph TD\n  x\n");
    write_script(bin() / "mmdc", k_unused_mmdc);
    write_config({{"input_folder", "in"}, {"output_folder", "out"}, {"batch_render", true}});
    const auto result = run_site();
    ASSERT_EQ(result.status, 0) << result.err;
    const auto warnings = log_messages(result.err, "WARNING");
    ASSERT_EQ(warnings.size(), 1u) << result.err;
    EXPECT_NE(warnings[0].find("Batch rendering is not available"), std::string::npos);
    EXPECT_NE(warnings[0].find("'node'"), std::string::npos);
    EXPECT_EQ(renderer_calls(),
              (std::vector<std::vector<std::string>>{{"-i", "in/x.mmd", "-o", "out/x.svg"}}));
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

// What makes two SVGs the same diagram: the kinds of element, the classes that name the shapes,
// and the texts of the labels, each counted.
std::map<std::string, int> diagram_features(const std::string& svg) {
    std::map<std::string, int> features;
    for (std::size_t at = svg.find('<'); at != std::string::npos; at = svg.find('<', at + 1)) {
        if (svg[at + 1] == '/') continue;
        const std::size_t end = svg.find_first_of(" >/", at + 1);
        const std::string tag = svg.substr(at + 1, end - at - 1);
        ++features["element " + tag];
        const std::size_t close = svg.find('>', at);
        const std::string attributes = svg.substr(at, close - at);
        const std::size_t klass = attributes.find(" class=\"");
        if (klass != std::string::npos) {
            const std::size_t start = klass + 8;
            ++features["class " + attributes.substr(start, attributes.find('"', start) - start)];
        }
        if (tag == "style") continue;
        const std::size_t next = svg.find('<', close);
        const std::string text = svg.substr(close + 1, next - close - 1);
        if (!text.empty() && text.find_first_not_of(" \n") != std::string::npos) {
            ++features["text " + text];
        }
    }
    return features;
}

TEST_F(ChartdocBatch, RealRendererDrawsWhatMmdcDrawsAndBoundsAHang) {
    const auto mmdc = helmkit::find_program("mmdc");
    if (!mmdc) {
        GTEST_SKIP() << "the Mermaid renderer mmdc is not on PATH (source scripts/mermaid_env.sh)";
    }
    const std::map<std::string, std::string> diagrams{
        {"flow.mmd", "graph TD\n    A[Start] --> B{Is it?}\n    B -->|Yes| C[OK]\n    B -->|No| D((Stop))\n"},
        {"sequence.mmd", "sequenceDiagram\n    Alice->>Bob: Hello Bob\n    Bob-->>Alice: Hi Alice\n    Note over Alice,Bob: A note\n"},
        {"gantt.mmd", "gantt\n    title Plan\n    dateFormat YYYY-MM-DD\n    section Build\n    Design :a1, 2024-01-01, 5d\n    Code :after a1, 10d\n"},
        {"class.mmd", "classDiagram\n    Animal <|-- Duck\n    Animal : +int age\n    Duck : +swim()\n"},
        {"pie.mmd", "pie title Pets\n    \"Dogs\" : 386\n    \"Cats\" : 85\n"},
        {"broken.mmd", "graph TD\n    A --> B -->\n"}};
    for (const auto& [name, text] : diagrams) write_file(root() / "in" / name, text);
    std::map<std::string, std::string> env{{"PATH", bin().string() + ":" + std::getenv("PATH")}};
    write_config({{"input_folder", "in"}, {"output_folder", "batch"}, {"batch_render", true}});
    const auto batch = run_site(env);
    ASSERT_EQ(batch.status, 0) << batch.err;
    const auto errors = log_messages(batch.err, "ERROR");
    ASSERT_EQ(errors.size(), 1u) << batch.err;
    EXPECT_EQ(errors[0].rfind("Failed to convert broken.mmd: Parse error on line ", 0), 0u)
        << errors[0];
    EXPECT_EQ(batch.err.find("    at "), std::string::npos) << "a stack trace: " << batch.err;

    write_config({{"input_folder", "in"}, {"output_folder", "alone"}});
    ASSERT_EQ(run_site(env).status, 0);
    for (const auto& [name, text] : diagrams) {
        if (name == "broken.mmd") continue;
        const std::string svg = name.substr(0, name.size() - 4) + ".svg";
        const auto ours = read_file(root() / "batch" / svg);
        const auto theirs = read_file(root() / "alone" / svg);
        EXPECT_EQ(ours.rfind("<svg", 0), 0u) << svg;
        EXPECT_EQ(diagram_features(ours), diagram_features(theirs)) << svg;
        EXPECT_GT(diagram_features(ours).size(), 5u) << svg;
    }
    EXPECT_NE(read_file(root() / "batch/flow.svg").find("Is it?"), std::string::npos);

    // A Mermaid that never finishes one diagram: that one fails at the bound, the browser goes
    // with it, and the next diagram gets a new one.
    const fs::path fake = root() / "fake";
    const fs::path real_modules = fs::canonical(*mmdc).parent_path().parent_path().parent_path().parent_path();
    fs::create_directories(fake / "node_modules/@mermaid-js/mermaid-cli/src");
    fs::create_directories(fake / "node_modules/@mermaid-js/mermaid-cli/dist");
    fs::create_directories(fake / "node_modules/mermaid/dist");
    for (const auto* package : {"puppeteer", "puppeteer-core", "@puppeteer"}) {
        fs::create_directory_symlink(real_modules / package, fake / "node_modules" / package);
    }
    write_file(fake / "node_modules/@mermaid-js/mermaid-cli/package.json",
               R"({"name": "@mermaid-js/mermaid-cli", "version": "0.0.1"})");
    write_script(fake / "node_modules/@mermaid-js/mermaid-cli/src/cli.js", "#!/usr/bin/env node\n");
    write_file(fake / "node_modules/@mermaid-js/mermaid-cli/dist/index.html",
               "<!doctype html><html><body><div id=\"container\"></div></body></html>");
    write_file(fake / "node_modules/mermaid/package.json",
               R"({"name": "mermaid", "version": "0.0.1", "exports": {"./package.json": "./package.json"}})");
    write_file(fake / "node_modules/mermaid/dist/mermaid.esm.mjs",
               "export default { initialize() {}, registerLayoutLoaders() {},\n"
               "  async registerExternalDiagrams() {},\n"
               "  async render(id, text) { if (text.includes('HANG')) for (;;) {}\n"
               "    return { svg: '<svg xmlns=\"http://www.w3.org/2000/svg\" id=\"' + id + "
               "'\"><text>' + text.trim() + '</text></svg>' }; } };\n");
    fs::remove(bin() / "mmdc");
    fs::create_symlink(fake / "node_modules/@mermaid-js/mermaid-cli/src/cli.js", bin() / "mmdc");
    fs::remove_all(root() / "in");
    write_file(root() / "in/a.mmd", "graph HANG\n");
    write_file(root() / "in/b.mmd", "graph after\n");
    fs::create_directories(root() / "tmp");
    env["TORVANE_RENDER_TIMEOUT"] = "3";
    env["TMPDIR"] = (root() / "tmp").string();
    write_config({{"input_folder", "in"}, {"output_folder", "hang"}, {"batch_render", true}});
    const auto hang = run_site(env);
    ASSERT_EQ(hang.status, 0) << hang.err;
    EXPECT_EQ(log_messages(hang.err, "ERROR"),
              std::vector<std::string>{"Failed to convert a.mmd: the diagram took longer than 3 s"});
    EXPECT_NE(read_file(root() / "hang/b.svg").find("<text>graph after</text>"), std::string::npos);
    // No browser is left: none runs with a profile in this test's temporary folder.
    for (const auto& process : fs::directory_iterator("/proc")) {
        std::error_code ignored;
        const auto cmdline = process.path() / "cmdline";
        if (!fs::exists(cmdline, ignored)) continue;
        std::string text;
        try {
            text = read_file(cmdline);
        } catch (...) {
            continue;
        }
        EXPECT_EQ(text.find((root() / "tmp").string()), std::string::npos) << text;
    }
}

namespace {

// A renderer that wraps the diagram text in <svg>, or fails on a text holding FAIL.
const std::string k_text_mmdc = R"sh(#!/bin/sh
PATH=/usr/bin:/bin
echo -- >> "${0%/*}/mmdc.log"
for arg in "$@"; do printf '%s\n' "$arg" >> "${0%/*}/mmdc.log"; done
if grep -q FAIL "$2"; then exit 1; fi
{ printf '<svg>'; cat "$2"; printf '</svg>\n'; } > "$4"
)sh";

class ChartdocDiagrams : public SiteTest {
protected:
    ChartdocDiagrams() {
        write_script(bin() / "mmdc", k_text_mmdc);
        write_file(root() / "in/guide.md",
                   "# Guide\n\n```mermaid\ngraph TD\n  A --> B\n```\n\nBetween.\n\n"
                   "```mermaid\ngraph TD\n  FAIL\n```\n\n```mermaid\n```\n");
        write_file(root() / "in/flow.mmd", "graph LR\n  X --> Y\n");
    }

    RunResult build(ordered_json keys, const std::string& output = "out") {
        keys["input_folder"] = "in";
        keys["output_folder"] = output;
        write_config(keys);
        return run_site({{"XDG_CACHE_HOME", (root() / "cache").string()}});
    }

    std::size_t starts() const { return renderer_calls().size(); }
};

}  // namespace

TEST_F(ChartdocDiagrams, FencedDiagramsAreEmbeddedAndAFailingOneStaysCode) {
    const auto plain = build({});
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(starts(), 1u);  // only flow.mmd: fences are code without the key
    EXPECT_NE(read_file(root() / "out/guide.html")
                  .find("<pre><code class=\"language-mermaid\">graph TD\n  A --&gt; B\n"),
              std::string::npos);

    fs::remove(bin() / "mmdc.log");
    const auto result = build({{"fenced_diagrams", true}}, "fenced");
    ASSERT_EQ(result.status, 0) << result.err;
    const auto calls = renderer_calls();
    ASSERT_EQ(calls.size(), 3u);  // two fences (the empty one is no diagram), then flow.mmd
    EXPECT_EQ(calls[0][0], "-i");
    EXPECT_EQ(calls[2], (std::vector<std::string>{"-i", "in/flow.mmd", "-o", "fenced/flow.svg"}));
    EXPECT_EQ(log_messages(result.err, "WARNING"),
              std::vector<std::string>{"Diagram in guide.md at line 10 failed, its code block "
                                       "stays: mmdc exited with status 1"});
    EXPECT_TRUE(log_messages(result.err, "ERROR").empty());
    EXPECT_EQ(log_messages(result.err, "INFO").back(),
              "Summary: 2 pages written (1 document, 1 diagram), 0 failed");
    const auto page = read_file(root() / "fenced/guide.html");
    EXPECT_NE(page.find("<h1>Guide</h1>\n<div class=\"diagram\"><svg>graph TD\n  A --> B\n"
                        "</svg>\n</div>\n<p>Between.</p>\n<pre><code class=\"language-mermaid\">"
                        "graph TD\n  FAIL\n</code></pre>\n"),
              std::string::npos)
        << page;
    EXPECT_EQ(folder_names(root() / "fenced"),
              (std::vector<std::string>{"flow.html", "flow.svg", "guide.html", "index.html"}));
}

TEST_F(ChartdocDiagrams, WarmCacheRendersNothingAndGivesTheSamePages) {
    const ordered_json keys{{"fenced_diagrams", true}, {"diagram_cache", true}};
    const auto cold = build(keys, "cold");
    ASSERT_EQ(cold.status, 0) << cold.err;
    EXPECT_EQ(starts(), 3u);
    const auto folder = root() / "cache/torvane/diagrams";
    ASSERT_EQ(folder_names(folder).size(), 2u);  // the failed fence is not kept

    fs::remove(bin() / "mmdc.log");
    const auto warm = build(keys, "warm");
    ASSERT_EQ(warm.status, 0) << warm.err;
    EXPECT_EQ(starts(), 1u);  // only the fence that failed is tried again
    EXPECT_EQ(log_messages(warm.err, "INFO"), [&] {
        auto lines = log_messages(cold.err, "INFO");
        for (auto& line : lines) {
            if (line.rfind("Created output directory: ", 0) == 0) line = "Created output directory: warm";
        }
        return lines;
    }());
    for (const auto* file : {"guide.html", "flow.html", "flow.svg", "index.html"}) {
        EXPECT_EQ(read_file(root() / "warm" / file), read_file(root() / "cold" / file)) << file;
    }

    // A damaged entry is rendered again, never used.
    for (const auto& name : folder_names(folder)) {
        auto bytes = read_file(folder / name);
        bytes[bytes.size() - 3] ^= 1;
        write_file(folder / name, bytes);
    }
    fs::remove(bin() / "mmdc.log");
    const auto damaged = build(keys, "damaged");
    ASSERT_EQ(damaged.status, 0) << damaged.err;
    EXPECT_EQ(starts(), 3u);
    EXPECT_EQ(read_file(root() / "damaged/guide.html"), read_file(root() / "cold/guide.html"));
    EXPECT_EQ(read_file(root() / "damaged/flow.svg"), read_file(root() / "cold/flow.svg"));

    // A cache folder that cannot be made turns the cache off, with one warning.
    write_file(root() / "blocked", "a file where the cache folder would go");
    write_config({{"input_folder", "in"}, {"output_folder", "blocked_out"},
                  {"fenced_diagrams", true}, {"diagram_cache", true}});
    fs::remove(bin() / "mmdc.log");
    const auto blocked = run_site({{"XDG_CACHE_HOME", (root() / "blocked").string()}});
    ASSERT_EQ(blocked.status, 0) << blocked.err;
    const auto warnings = log_messages(blocked.err, "WARNING");
    ASSERT_EQ(warnings.size(), 2u) << blocked.err;
    EXPECT_EQ(warnings[0].rfind("Diagram cache turned off: cannot create '", 0), 0u) << warnings[0];
    EXPECT_EQ(starts(), 3u);
    EXPECT_EQ(read_file(root() / "blocked_out/guide.html"), read_file(root() / "cold/guide.html"));
}

TEST(DiagramCache, KeysAndTheBoundOnItsSize) {
    TempDir dir;
    DiagramCache cache(dir / "c", "renderer 1");
    ASSERT_TRUE(cache.on());
    EXPECT_EQ(cache.find("graph TD"), std::nullopt);
    EXPECT_EQ(cache.store("graph TD", "<svg>1</svg>"), std::nullopt);
    EXPECT_EQ(cache.find("graph TD"), "<svg>1</svg>");
    EXPECT_EQ(cache.find("graph TD "), std::nullopt);
    EXPECT_EQ(DiagramCache(dir / "c", "renderer 2").find("graph TD"), std::nullopt);

    // Each entry's age is set by its content; "a" is the oldest but is used again.
    const std::map<std::string, int> hours_old{{"a", 4}, {"graph TD", 3}, {"b", 2}, {"c", 1}};
    for (const auto* text : {"a", "b", "c"}) {
        ASSERT_EQ(cache.store(text, "<svg>" + std::string(1000, text[0]) + "</svg>"), std::nullopt);
    }
    const auto now = fs::file_time_type::clock::now();
    for (const auto& name : folder_names(dir / "c")) {
        const auto bytes = read_file(dir / "c" / name);
        for (const auto& [text, hours] : hours_old) {
            const bool match = text == "graph TD" ? bytes.find("<svg>1</svg>") != std::string::npos
                                                  : bytes.find(std::string(1000, text[0])) !=
                                                        std::string::npos;
            if (match) fs::last_write_time(dir / "c" / name, now - std::chrono::hours(hours));
        }
    }
    ASSERT_TRUE(cache.find("a"));
    cache.trim(2500);
    EXPECT_EQ(folder_names(dir / "c").size(), 2u);
    EXPECT_TRUE(cache.find("a"));
    EXPECT_TRUE(cache.find("c"));
    cache.trim(0);
    EXPECT_TRUE(folder_names(dir / "c").empty());
}
