#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "helmkit/base/json.hpp"
#include "test_support.hpp"

namespace chartdoc_test {

using namespace torvane_test;

// A stand-in renderer that needs no other program: records its arguments (one per line, after a
// "--" line per call) in mmdc.log beside itself, writes an SVG that holds braces and a "{title}",
// and exits 0. STANDIN_STATUS makes it exit with that status without writing; a diagram whose path
// contains STANDIN_FAIL_ON fails with status 3.
inline const std::string k_standin_mmdc = R"sh(#!/bin/sh
log="${0%/*}/mmdc.log"
echo -- >> "$log"
for arg in "$@"; do printf '%s\n' "$arg" >> "$log"; done
if [ -n "$STANDIN_FAIL_ON" ]; then
    case "$2" in *"$STANDIN_FAIL_ON"*) exit 3 ;; esac
fi
if [ -n "$STANDIN_STATUS" ]; then exit "$STANDIN_STATUS"; fi
printf '<svg id="x"><style>#x {{ fill: red; }} .a { b: c; }</style><text>{title} %s</text></svg>\n' "$2" > "$4"
)sh";

// The SVG the stand-in writes for the diagram source path `mmd_path`.
inline std::string standin_svg(const std::string& mmd_path) {
    return "<svg id=\"x\"><style>#x {{ fill: red; }} .a { b: c; }</style><text>{title} " +
           mmd_path + "</text></svg>\n";
}

// A folder for one chartdoc run: bin/ holds the renderer on a PATH of its own.
class SiteTest : public ::testing::Test {
protected:
    SiteTest() { fs::create_directories(m_dir / "bin"); }

    const fs::path& root() const { return m_dir.path(); }
    fs::path bin() const { return m_dir / "bin"; }

    void install_standin() const { write_script(bin() / "mmdc", k_standin_mmdc); }

    // Writes site.json holding {"config": section}.
    void write_config(const nlohmann::ordered_json& section) const {
        write_file(m_dir / "site.json", nlohmann::ordered_json{{"config", section}}.dump());
    }

    RunResult run_site(std::map<std::string, std::string> env = {}) const {
        env.emplace("PATH", bin().string());
        env.emplace("TORVANE_LOG_LEVEL", "debug");
        return run_torvane({"chartdoc", "-c", "site.json"}, root(), env);
    }

    // The argument lists the stand-in renderer received, one per call.
    std::vector<std::vector<std::string>> renderer_calls() const {
        std::vector<std::vector<std::string>> calls;
        if (!fs::exists(bin() / "mmdc.log")) return calls;
        for (const auto& line : lines_of(read_file(bin() / "mmdc.log"))) {
            if (line == "--") {
                calls.emplace_back();
            } else {
                calls.back().push_back(line);
            }
        }
        return calls;
    }

private:
    TempDir m_dir;
};

// The file name an href names: each %XX becomes its byte.
inline std::string percent_decoded(const std::string& href) {
    std::string name;
    for (std::size_t i = 0; i < href.size(); ++i) {
        if (href[i] == '%' && i + 2 < href.size()) {
            name += static_cast<char>(std::stoi(href.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            name += href[i];
        }
    }
    return name;
}

// Checks that every link of `folder`/index.html leads to a page there, and that each such
// page links back to the index from its header and its footer.
inline void expect_links_both_ways(const fs::path& folder) {
    const auto index = read_file(folder / "index.html");
    std::size_t links = 0;
    for (auto at = index.find("href=\""); at != std::string::npos; at = index.find("href=\"", at)) {
        at += 6;
        const auto page = percent_decoded(index.substr(at, index.find('"', at) - at));
        ++links;
        ASSERT_TRUE(fs::is_regular_file(folder / page)) << page;
        const auto text = read_file(folder / page);
        const auto back = text.find("<a href=\"index.html\" class=\"back-btn\">\u2190 Back</a>");
        EXPECT_NE(back, std::string::npos) << page;
        EXPECT_NE(text.find("<a href=\"index.html\" class=\"back-btn\">\u2190 Back to Index</a>"),
                  std::string::npos)
            << page;
    }
    EXPECT_GT(links, 0u);
}

// The lines the command prints after a run: an empty line, then the tagged line.
inline std::string report(const std::string& tag, const std::string& message) {
    return "\n[" + tag + "] " + message + "\n";
}

}  // namespace chartdoc_test
