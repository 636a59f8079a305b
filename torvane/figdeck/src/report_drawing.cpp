// The report's pages: the contents page, where each block starts, and each group's grid of
// figures with their captions.
#include <algorithm>
#include <fmt/format.h>
#include <string>
#include <utility>
#include <vector>

#include "helmkit/base/error.hpp"
#include "helmkit/base/json_value.hpp"
#include "helmkit/base/progress.hpp"
#include "torvane/figdeck/caption_fit.hpp"
#include "torvane/figdeck/report_generator.hpp"

namespace torvane::figdeck {

using nlohmann::ordered_json;

namespace {

constexpr int k_free_rows = 10;
constexpr double k_entry_h = 10;

// Absent, null, false, zero, or an empty text, object or list.
bool is_missing(const ordered_json* value) { return value == nullptr || !helmkit::is_truthy(*value); }

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\n\r\f\v");
    if (first == std::string::npos) return "";
    const auto last = text.find_last_not_of(" \t\n\r\f\v");
    return text.substr(first, last - first + 1);
}

const ordered_json* find_key(const ordered_json& section, const std::string& key) {
    const auto found = section.find(key);
    return found == section.end() ? nullptr : &*found;
}

constexpr std::size_t k_max_text = PageModel::k_max_text_bytes;

// The start of a text too long to show in a message, cut on a character boundary.
std::string start_of(const std::string& text) {
    constexpr std::size_t k_shown = 40;
    if (text.size() <= k_shown) return text;
    std::size_t end = k_shown;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end) + "...";
}

void check_line(const std::string& key, const std::string& line) {
    if (line.size() <= k_max_text) return;
    throw helmkit::Error(fmt::format("\"{}\" is {} bytes long; a line of the report holds at most {} bytes",
                                     key, line.size(), k_max_text));
}

// Every entry is a line of the contents and a bookmark; both are bounded.
void check_group_names(const ParsedData& data) {
    std::size_t number = 1;
    for (const auto& group : data) {
        const auto entry = std::to_string(number++) + ". " + group.name;
        if (entry.size() <= k_max_text && PageModel::bookmark_bytes(group.name) <= k_max_text) continue;
        throw helmkit::Error(fmt::format(
            "the \"name\" of {} is {} bytes long; its contents line and its bookmark hold at most "
            "{} bytes (a bookmark 2 for each character when the name is not all ASCII)",
            group_where(start_of(group.name)), group.name.size(), k_max_text));
    }
}

}  // namespace

void ReportGenerator::add_toc(const ParsedData& data) {
    const auto* title_value = find_key(m_main_page, "title_of_report");
    const std::string title = title_value ? helmkit::display_text(*title_value) : "Lab Report";
    check_line("title_of_report", title);
    check_group_names(data);
    m_pdf.add_page();
    m_pdf.set_font("helvetica", "B", 20);
    m_pdf.cell(0, 20, title, {Ln::next_line, Align::center, 0});
    m_pdf.set_font("helvetica", "B", 10);
    m_pdf.set_text_color(0);

    std::vector<std::pair<std::string, std::string>> info_list;
    const auto add_row = [&](const std::string& label_key, const std::string& value_key,
                             const std::string* fixed_label) {
        const auto* value = find_key(m_main_page, value_key);
        if (is_missing(value)) return;
        auto shown = helmkit::display_text(*value);
        if (fixed_label != nullptr) {
            check_line(value_key, ":   " + shown);
            info_list.emplace_back(*fixed_label, std::move(shown));
            return;
        }
        const auto* label = find_key(m_main_page, label_key);
        if (is_missing(label)) return;
        if (!label->is_string()) {
            throw helmkit::Error("'" + label_key +
                                 "' in the \"main_page\" section must be a text, not " +
                                 label->dump());
        }
        auto label_text = trimmed(label->get<std::string>());
        check_line(label_key, label_text);
        check_line(value_key, ":   " + shown);
        info_list.emplace_back(std::move(label_text), std::move(shown));
    };
    const std::string dut = "DUT";
    const std::string environment = "ENVIRONMENT";
    add_row("", "dut_inform", &dut);
    add_row("", "environment", &environment);
    for (int n = 1; n <= k_free_rows; ++n) {
        add_row("user_title_" + std::to_string(n), "user_content_" + std::to_string(n), nullptr);
    }
    for (const auto& [label, value] : info_list) {
        m_pdf.set_x(18);
        m_pdf.cell(35, 4, label, {Ln::right, Align::left, 0});
        m_pdf.cell(0, 4, ":   " + value, {Ln::next_line, Align::left, 0});
    }
    m_pdf.ln(10);

    m_pdf.set_font("helvetica", "U", 12);
    m_pdf.set_text_color(0, 0, 255);
    // The entries go on over as many pages as they need; a new page keeps their font.
    const double contents_bottom = m_geometry.page_height - m_geometry.bottom_margin;
    int number = 1;
    for (const auto& group : data) {
        if (m_pdf.get_y() + k_entry_h > contents_bottom) m_pdf.add_page();
        const int link = m_pdf.add_link();
        m_links[group.name] = link;
        m_pdf.add_bookmark(group.name, link);
        m_pdf.cell(0, k_entry_h, std::to_string(number++) + ". " + group.name,
                   {Ln::next_line, Align::left, link});
    }
    m_pdf.set_text_color(0);
}

void ReportGenerator::_place_block(double budget_h) {
    const double start_y = m_pdf.get_y();
    switch (block_start(start_y, budget_h, m_geometry)) {
    case BlockStart::new_page: m_pdf.add_page(); break;
    case BlockStart::under_separator: {
        const double separator_y = start_y + k_separator_distance;
        m_pdf.set_draw_color(200);
        m_pdf.line(k_margin_lr, separator_y, k_page_w - k_margin_lr, separator_y);
        m_pdf.set_y(separator_y + k_separator_distance);
        break;
    }
    case BlockStart::here: break;
    }
}

void ReportGenerator::_check_on_page(const std::string& name, const Box& box) const {
    if (box.y >= 0 && box.y + box.h <= k_page_h) return;
    const auto spacing = row_spacing(m_conf);
    throw helmkit::Error(fmt::format(
        "{}: a figure would be drawn from {:.1f} to {:.1f} mm down the page, outside its {} mm "
        "(\"page_height\" {}, \"bottom_margin\" {}, \"title_buffer\" {}, \"row_gap\" {})",
        group_where(name), box.y, box.y + box.h, k_page_h, m_geometry.page_height,
        m_geometry.bottom_margin, spacing.title_buffer, spacing.row_gap));
}

void ReportGenerator::_draw_group(const GroupImages& group, const GroupLayout& layout,
                                  const PixelSizes& sizes, helmkit::Progress& progress) {
    const auto link = m_links.find(group.name);
    if (link != m_links.end()) m_pdf.set_link(link->second, m_pdf.get_y(), m_pdf.page_no());
    m_pdf.set_font("helvetica", "B", 14);
    m_pdf.set_text_color(0, 51, 102);
    m_pdf.cell(0, 8, group.name, {Ln::next_line, Align::left, 0});
    m_pdf.ln(1);

    const double row_gap = row_spacing(m_conf).row_gap;
    const auto [cell_w, cell_h] = layout.cell;
    double row_start_y = m_pdf.get_y();
    for (std::size_t first = 0; first < group.images.size(); first += layout.cols) {
        const std::size_t end = std::min(group.images.size(), first + layout.cols);
        for (std::size_t k = first; k < end; ++k) {
            const auto i = k - first;
            const double x_pos = k_margin_lr + static_cast<double>(i) * (cell_w + k_gutter);
            const auto& size = sizes[k];
            Box box{x_pos, row_start_y, cell_w, cell_h};
            if (m_keep_aspect && size && size->width > 0 && size->height > 0) {
                box = fitted_box(*size, x_pos, row_start_y, cell_w, cell_h);
            }
            _check_on_page(group.name, box);
            m_pdf.image(group.images[k].path, box.x, box.y, box.w, box.h);
            progress.advance();
            m_pdf.set_xy(x_pos, row_start_y + cell_h + k_caption_offset);
            m_pdf.set_text_color(0);
            const std::string caption =
                "Figure " + std::to_string(i + 1) + ":  " + group.images[k].caption;
            if (m_fit_captions) {
                _draw_fitted_caption(caption, x_pos, cell_w, row_gap - k_caption_offset);
            } else {
                m_pdf.set_font("helvetica", "B", 8);
                m_pdf.multi_cell(cell_w, k_caption_line_h, caption, Align::center);
            }
        }
        row_start_y += cell_h + row_gap;
    }
}

void ReportGenerator::_draw_fitted_caption(const std::string& caption, double x, double w,
                                           double room_h) {
    const auto fitted =
        fit_caption(caption, w - 2 * k_cell_margin, room_h, [&](std::string_view text, double size) {
            m_pdf.set_font("helvetica", "B", size);
            return m_pdf.string_width(text);
        });
    m_pdf.set_font("helvetica", "B", fitted.size);
    for (const auto& line : fitted.lines) {
        m_pdf.set_x(x);
        m_pdf.cell(w, fitted.line_h, line, {Ln::below, Align::center, 0});
    }
    m_pdf.set_x(k_margin_lr);
}

}  // namespace torvane::figdeck
