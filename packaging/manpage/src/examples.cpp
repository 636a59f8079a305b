#include "manpage/examples.hpp"

#include <string_view>

#include "manpage/roff.hpp"

namespace torvane::manpage {

namespace {

struct Example {
    std::string_view command;
    std::string_view what;
    std::vector<std::string_view> lines;
};

// Each runs on a copy, so the installed samples stay as they are.
const std::vector<Example>& examples() {
    static const std::vector<Example> all{
        {"figdeck",
         "A lab report of two groups, four PNG plots and two JPEG photos, written to "
         "data_figdeck/test.pdf:",
         {"cp -r /usr/share/doc/torvane/examples/figdeck report", "cd report",
          "torvane figdeck -c report.json"}},
        {"gridpage",
         "Four sample PDF files on portrait A4 sheets of 2 by 2 cells with red cell frames, "
         "written to pdfs/merged_report.pdf:",
         {"cp -r /usr/share/doc/torvane/examples/gridpage merge", "cd merge",
          "torvane gridpage -c merge.json"}},
        {"chartdoc",
         "A site of two Markdown documents and two Mermaid diagrams, docs/html_out/index.html "
         "(the renderer mmdc must be on PATH):",
         {"cp -r /usr/share/doc/torvane/examples/chartdoc site", "cd site",
          "torvane chartdoc -c site.json"}},
        {"dealmatch",
         "Sample system orders (CSV) matched with customer orders (a workbook), written to "
         "out/result.xlsx:",
         {"cp -r /usr/share/doc/torvane/examples/dealmatch match", "cd match",
          "torvane dealmatch -c match.json"}},
        {"claimsort",
         "Sample expense workbooks renamed into data_claimsort/results, with backups in "
         "data_claimsort/backup, by the settings of the template; claim_04.xlsx, whose name "
         "cell is empty, stays where it is:",
         {"cp -r /usr/share/doc/torvane/examples/claimsort/data_claimsort .",
          "torvane claimsort --generate-config",
          "torvane claimsort -c config_expense_template.json"}},
    };
    return all;
}

}  // namespace

std::string examples_section(const std::vector<CommandEntry>& commands) {
    std::string out =
        ".SH EXAMPLES\n"
        "The sample files are installed in share/doc/torvane/examples under the installation "
        "prefix; the lines below use /usr, the prefix of the Debian package.\n";
    for (const auto& command : commands) {
        for (const auto& example : examples()) {
            if (example.command != command.name) continue;
            out += ".PP\n" + roff_text(example.what) + "\n.PP\n.nf\n.RS 4\n";
            for (const auto line : example.lines) out += roff_text("$ " + std::string(line)) + "\n";
            out += ".RE\n.fi\n";
        }
    }
    return out;
}

}  // namespace torvane::manpage
