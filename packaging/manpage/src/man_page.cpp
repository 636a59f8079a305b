#include "manpage/man_page.hpp"

#include <algorithm>
#include <cctype>
#include <sstream>

#include "helmkit/base/error.hpp"
#include "manpage/examples.hpp"
#include "manpage/readme_tables.hpp"
#include "manpage/roff.hpp"

namespace torvane::manpage {

namespace {

enum class Body { description_first, column_by_column };

std::string bold(std::string_view text) {
    std::string plain(text);
    std::erase(plain, '`');
    return "\\fB" + roff_text(plain) + "\\fR";
}

std::string lower_first(std::string text) {
    if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

// One tagged paragraph per row: the tag joins the first `key_columns` cells with dots.
std::string tagged_rows(const MarkdownTable& table, std::size_t key_columns, Body body) {
    std::string out;
    for (const auto& row : table.rows) {
        std::string tag;
        for (std::size_t i = 0; i < key_columns && i < row.size(); ++i) {
            if (row[i].empty()) continue;
            if (!tag.empty()) tag += '.';
            tag += row[i];
        }
        out += ".TP\n" + bold(tag) + "\n";
        if (body == Body::column_by_column) {
            bool first = true;
            for (std::size_t i = key_columns; i < row.size() && i < table.header.size(); ++i) {
                if (!first) out += ".br\n";
                out += roff_from_markdown(table.header[i] + ": " + row[i]) + "\n";
                first = false;
            }
            continue;
        }
        std::string details;
        for (std::size_t i = key_columns; i + 1 < row.size() && i < table.header.size(); ++i) {
            if (row[i].empty()) continue;
            if (!details.empty()) details += "; ";
            details += lower_first(table.header[i]) + ": " + row[i];
        }
        std::string text = row.size() > key_columns ? row.back() : std::string();
        if (!details.empty()) text += (text.empty() ? "(" : " (") + details + ")";
        out += roff_from_markdown(text) + "\n";
    }
    return out;
}

const MarkdownTable& first_table(const std::vector<MarkdownTable>& tables,
                                 std::string_view heading, bool (*fits)(const MarkdownTable&)) {
    const auto found = std::find_if(tables.begin(), tables.end(), fits);
    if (found == tables.end()) {
        throw helmkit::Error("the README section '" + std::string(heading) +
                             "' has no table of the expected columns");
    }
    return *found;
}

std::string configuration_keys(std::string_view readme, const std::string& command) {
    const std::string heading = "### " + command + ":";
    const auto tables = tables_in(section_of(readme, heading));
    const auto& table = first_table(tables, heading, [](const MarkdownTable& t) {
        return t.column("Key") < t.header.size() && t.column("Template") < t.header.size();
    });
    return tagged_rows(table, table.column("Template"), Body::description_first);
}

std::string readme_table(std::string_view readme, std::string_view heading, Body body) {
    const auto tables = tables_in(section_of(readme, heading));
    const auto& table =
        first_table(tables, heading, [](const MarkdownTable& t) { return t.header.size() >= 2; });
    return tagged_rows(table, 1, body);
}

// The first line of a help text that holds words.
std::string summary_of(const std::string& help) {
    std::istringstream lines(help);
    for (std::string line; std::getline(lines, line);) {
        if (line.find_first_not_of(" \b") != std::string::npos) return line;
    }
    return {};
}

// The template file a command's --generate-config help names, if any.
std::string template_file_of(const CommandEntry& command) {
    std::istringstream words(command.generate_config_help);
    for (std::string word; words >> word;) {
        if (word.starts_with("config_") && word.ends_with(".json")) return word;
    }
    return {};
}

std::string command_section(const CommandEntry& command, std::string_view readme) {
    std::string out = ".SS " + bold("torvane " + command.name) + "\n";
    out += roff_help_text(command.help);
    out += ".PP\n\\fIOptions\\fR\n";
    out += ".TP\n\\fB\\-c\\fR, \\fB\\-\\-config\\fR \\fIPATH\\fR\n" + roff_text(command.config_help) + "\n";
    out += ".TP\n\\fB\\-\\-generate\\-config\\fR\n" + roff_text(command.generate_config_help) + "\n";
    out += ".TP\n\\fB\\-h\\fR, \\fB\\-\\-help\\fR\nShow this message and exit.\n";
    out += ".PP\n\\fIConfiguration keys\\fR (template value, value used when the key is absent)\n";
    out += configuration_keys(readme, command.name);
    return out;
}

}  // namespace

std::string man_page(const std::vector<CommandEntry>& commands, std::string_view readme,
                     std::string_view version) {
    std::string out;
    out += ".TH TORVANE 1 \"\" \"torvane " + roff_text(version) + "\" \"User Commands\"\n";
    out += ".nh\n.SH NAME\ntorvane \\- a toolbox for laboratory and office chores\n";
    out += ".SH SYNOPSIS\n"
           ".B torvane\n.I command\n"
           "[\\fB\\-c\\fR \\fIPATH\\fR | \\fB\\-\\-config\\fR \\fIPATH\\fR] "
           "[\\fB\\-\\-generate\\-config\\fR] [\\fB\\-\\-help\\fR]\n"
           ".br\n.B torvane\n[\\fB\\-\\-help\\fR | \\fB\\-\\-version\\fR]\n";
    out += ".SH DESCRIPTION\n"
           ".B torvane\n"
           "is one front program for several tools: its first argument names the tool, the "
           "command. Each command reads one JSON configuration file, works over a folder of "
           "input files and writes its results into files. Log lines go to standard error, "
           "result lines to standard output. The commands:\n";
    for (const auto& command : commands) {
        out += ".TP\n" + bold(command.name) + "\n" + roff_text(summary_of(command.help)) + "\n";
    }
    out += ".SH OPTIONS\n"
           ".TP\n\\fB\\-c\\fR, \\fB\\-\\-config\\fR \\fIPATH\\fR\n"
           "The command's JSON configuration file. A path that does not exist is a usage "
           "error (status 2).\n"
           ".TP\n\\fB\\-\\-generate\\-config\\fR\n"
           "Write the command's configuration template into the current folder and print its "
           "path. Given with \\fB\\-\\-config\\fR, only the template is written.\n"
           ".TP\n\\fB\\-h\\fR, \\fB\\-\\-help\\fR\n"
           "Show the list of commands, or the help of the command it follows, and exit with "
           "status 0.\n"
           ".TP\n\\fB\\-\\-version\\fR\n"
           "As the only argument: print the version and exit with status 0.\n";
    out += ".SH COMMANDS\n";
    for (const auto& command : commands) out += command_section(command, readme);
    out += ".SH ENVIRONMENT\n" +
           readme_table(readme, "### Environment variables", Body::description_first);
    out += ".SH \"EXIT STATUS\"\n" +
           readme_table(readme, "### Exit statuses", Body::column_by_column);
    out += ".SH FILES\n";
    for (const auto& command : commands) {
        const auto file = template_file_of(command);
        if (file.empty()) continue;
        out += ".TP\n.I " + roff_text(file) + "\nThe template that \\fBtorvane " +
               roff_text(command.name) +
               " \\-\\-generate\\-config\\fR writes into the current folder.\n";
    }
    out += ".TP\n.I /usr/share/fonts/truetype/dejavu/DejaVuSans*.ttf\n"
           "The fonts (package fonts\\-dejavu\\-core) that figdeck embeds for text outside "
           "Windows\\-1252.\n"
           ".TP\n.I share/bash\\-completion/completions/torvane\n"
           "Completion of commands, options and paths for bash, under the installation prefix "
           "(/usr for the Debian package).\n"
           ".TP\n.I share/doc/torvane/examples\n"
           "Sample inputs and a demo.sh for every command, under the installation prefix.\n";
    out += examples_section(commands);
    out += ".SH \"SEE ALSO\"\n"
           "\\fBtorvane\\fR \\fIcommand\\fR \\fB\\-\\-help\\fR for a command's options and "
           "template; the demo.sh beside each command's sample files in "
           "share/doc/torvane/examples.\n"
           ".PP\n"
           "The README (share/doc/torvane/README.md) describes every command in full.\n"
           "chartdoc needs the Mermaid renderer \\fBmmdc\\fR on \\fBPATH\\fR: "
           "\\fBnpm install \\-g @mermaid\\-js/mermaid\\-cli\\fR.\n";
    return out;
}

}  // namespace torvane::manpage
