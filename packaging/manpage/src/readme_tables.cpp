#include "manpage/readme_tables.hpp"

#include "helmkit/base/error.hpp"
#include "helmkit/text/utf8.hpp"
#include "manpage/text_lines.hpp"

namespace torvane::manpage {

namespace {

std::size_t heading_level(std::string_view line) {
    std::size_t level = 0;
    while (level < line.size() && line[level] == '#') ++level;
    return level > 0 && level < line.size() && line[level] == ' ' ? level : 0;
}

bool is_row(std::string_view line) {
    line = helmkit::trim_white_space(line);
    return line.size() >= 2 && line.front() == '|' && line.back() == '|';
}

std::vector<std::string> cells_of(std::string_view line) {
    line = helmkit::trim_white_space(line);
    line = line.substr(1, line.size() - 2);
    std::vector<std::string> cells;
    std::string cell;
    bool in_code = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\\' && i + 1 < line.size() && line[i + 1] == '|') {
            cell += '|';
            ++i;
        } else if (c == '|' && !in_code) {
            cells.emplace_back(helmkit::trim_white_space(cell));
            cell.clear();
        } else {
            if (c == '`') in_code = !in_code;
            cell += c;
        }
    }
    cells.emplace_back(helmkit::trim_white_space(cell));
    return cells;
}

bool is_separator(std::string_view line) {
    if (!is_row(line)) return false;
    for (const auto& cell : cells_of(line)) {
        if (cell.find_first_not_of(":-") != std::string::npos || cell.find('-') == std::string::npos) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::size_t MarkdownTable::column(std::string_view name) const {
    std::size_t i = 0;
    while (i < header.size() && header[i] != name) ++i;
    return i;
}

std::string_view section_of(std::string_view markdown, std::string_view heading_start) {
    std::size_t offset = 0;
    std::size_t start = std::string_view::npos;
    std::size_t level = 0;
    for (const auto line : lines_of(markdown)) {
        const auto line_level = heading_level(line);
        if (start == std::string_view::npos) {
            if (line_level > 0 && line.starts_with(heading_start)) {
                start = offset + line.size() + 1;
                level = line_level;
            }
        } else if (line_level > 0 && line_level <= level) {
            return markdown.substr(start, offset - start);
        }
        offset += line.size() + 1;
    }
    if (start == std::string_view::npos) {
        throw helmkit::Error("the README has no heading starting with '" +
                             std::string(heading_start) + "'");
    }
    return start >= markdown.size() ? std::string_view() : markdown.substr(start);
}

std::vector<MarkdownTable> tables_in(std::string_view markdown) {
    std::vector<MarkdownTable> tables;
    const auto lines = lines_of(markdown);
    bool in_fence = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (helmkit::trim_white_space(lines[i]).starts_with("```")) {
            in_fence = !in_fence;
            continue;
        }
        if (in_fence || !is_row(lines[i]) || i + 1 >= lines.size() || !is_separator(lines[i + 1])) {
            continue;
        }
        MarkdownTable table;
        table.header = cells_of(lines[i]);
        i += 2;
        while (i < lines.size() && is_row(lines[i])) table.rows.push_back(cells_of(lines[i++]));
        tables.push_back(std::move(table));
        --i;  // the line after the table is looked at again: it may open a fence
    }
    return tables;
}

}  // namespace torvane::manpage
