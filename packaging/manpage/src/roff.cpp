#include "manpage/roff.hpp"

#include <fmt/format.h>

#include <sstream>
#include <vector>

#include "helmkit/text/utf8.hpp"
#include "manpage/text_lines.hpp"

namespace torvane::manpage {

namespace {

void append_escaped(std::string& out, char32_t c) {
    switch (c) {
        case U'\\': out += "\\e"; return;
        case U'-': out += "\\-"; return;
        case U'\n': out += '\n'; return;
        case U'\t': out += ' '; return;
        default: break;
    }
    if (c >= 0x20 && c < 0x7f) {
        out += static_cast<char>(c);
    } else if (c > 0x7f) {
        // Named by code point, so the page needs no input encoding.
        out += fmt::format("\\[u{:04X}]", static_cast<unsigned>(c));
    }
}

// A line that starts with a control character would be read as a request.
std::string protect_line_starts(std::string text) {
    std::string out;
    bool line_start = true;
    for (const char c : text) {
        if (line_start && (c == '.' || c == '\'')) out += "\\&";
        out += c;
        line_start = c == '\n';
    }
    return out;
}

}  // namespace

std::string roff_text(std::string_view text) {
    std::string out;
    for (const char32_t c : helmkit::decode_utf8(text)) append_escaped(out, c);
    return protect_line_starts(std::move(out));
}

std::string roff_from_markdown(std::string_view markdown) {
    std::string out;
    std::string plain;
    const auto flush = [&] {
        for (const char32_t c : helmkit::decode_utf8(plain)) append_escaped(out, c);
        plain.clear();
    };
    std::size_t i = 0;
    while (i < markdown.size()) {
        const char c = markdown[i];
        if (c == '`') {
            const auto end = markdown.find('`', i + 1);
            if (end != std::string_view::npos) {
                flush();
                plain = markdown.substr(i + 1, end - i - 1);
                out += "\\fB";
                flush();
                out += "\\fR";
                i = end + 1;
                continue;
            }
        } else if (c == '[') {
            const auto close = markdown.find("](", i + 1);
            const auto end = close == std::string_view::npos ? close : markdown.find(')', close);
            if (end != std::string_view::npos && markdown.find('\n', i) > end) {
                plain += markdown.substr(i + 1, close - i - 1);
                i = end + 1;
                continue;
            }
        } else if (markdown.compare(i, 4, "<br>") == 0) {
            flush();
            out += "\n.br\n";
            i += 4;
            continue;
        }
        plain += c;
        ++i;
    }
    flush();
    return protect_line_starts(std::move(out));
}

std::string roff_help_text(std::string_view help) {
    std::string out;
    const auto lines = lines_of(help);
    std::size_t i = 0;
    while (i < lines.size()) {
        if (lines[i].empty()) {
            ++i;
            continue;
        }
        const bool verbatim = lines[i] == "\b";
        if (verbatim) ++i;
        std::string paragraph;
        while (i < lines.size() && !lines[i].empty()) {
            if (verbatim) {
                if (!paragraph.empty()) paragraph += '\n';
                paragraph += lines[i];
            } else {
                // groff keeps runs of blanks in filled text; the terminal help does not.
                std::istringstream words{std::string(lines[i])};
                for (std::string word; words >> word;) {
                    if (!paragraph.empty()) paragraph += ' ';
                    paragraph += word;
                }
            }
            ++i;
        }
        if (paragraph.empty()) continue;
        out += verbatim ? ".PP\n.nf\n" + roff_text(paragraph) + "\n.fi\n"
                        : ".PP\n" + roff_text(paragraph) + "\n";
    }
    return out;
}

}  // namespace torvane::manpage
