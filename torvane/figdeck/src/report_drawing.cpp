// The report's pages: the contents page, where each block starts, and each group's grid of
// figures with their captions.
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "helmkit/base/error.hpp"
#include "helmkit/base/json_value.hpp"
#include "helmkit/base/progress.hpp"
#include "torvane/figdeck/report_generator.hpp"

namespace torvane::figdeck {

using nlohmann::ordered_json;

namespace {

constexpr int k_free_rows = 10;

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

}  // namespace

void ReportGenerator::add_toc(const ParsedData& data) {
    const auto* title_value = find_key(m_main_page, "title_of_report");
    const std::string title = title_value ? helmkit::display_text(*title_value) : "Lab Report";
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
        if (fixed_label != nullptr) {
            info_list.emplace_back(*fixed_label, helmkit::display_text(*value));
            return;
        }
        const auto* label = find_key(m_main_page, label_key);
        if (is_missing(label)) return;
        if (!label->is_string()) {
            throw helmkit::Error("'" + label_key +
                                 "' in the \"main_page\" section must be a text, not " +
                                 label->dump());
        }
        info_list.emplace_back(trimmed(label->get<std::string>()), helmkit::display_text(*value));
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
    int number = 1;
    for (const auto& group : data) {
        const int link = m_pdf.add_link();
        m_links[group.name] = link;
        m_pdf.add_bookmark(group.name, link);
        m_pdf.cell(0, 10, std::to_string(number++) + ". " + group.name,
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
            if (m_keep_aspect && size && size->width > 0 && size->height > 0) {
                const auto box = fitted_box(*size, x_pos, row_start_y, cell_w, cell_h);
                m_pdf.image(group.images[k].path, box.x, box.y, box.w, box.h);
            } else {
                m_pdf.image(group.images[k].path, x_pos, row_start_y, cell_w, cell_h);
            }
            progress.advance();
            m_pdf.set_xy(x_pos, row_start_y + cell_h + k_caption_offset);
            m_pdf.set_font("helvetica", "B", 8);
            m_pdf.set_text_color(0);
            m_pdf.multi_cell(cell_w, k_caption_line_h,
                             "Figure " + std::to_string(i + 1) + ":  " + group.images[k].caption,
                             Align::center);
        }
        row_start_y += cell_h + row_gap;
    }
}

}  // namespace torvane::figdeck
