#include "torvane/figdeck/report_generator.hpp"

#include <stb_image.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fmt/format.h>
#include <memory>

#include "helmkit/base/app_logging.hpp"
#include "helmkit/base/config_value.hpp"
#include "helmkit/base/json_value.hpp"
#include "helmkit/base/error.hpp"
#include "helmkit/base/progress.hpp"
#include "helmkit/files/file_mg.hpp"
#include "helmkit/text/parse_tools.hpp"

namespace torvane::figdeck {

using nlohmann::ordered_json;

namespace {

// Absent, null, false, zero, or an empty text, object or list.
bool is_missing(const nlohmann::ordered_json* value) {
    return value == nullptr || !helmkit::is_truthy(*value);
}

constexpr const char* k_conf_where = "the \"config\" section";
constexpr double k_page_w = 210;
constexpr double k_margin_lr = 15;
constexpr double k_available_w = k_page_w - 2 * k_margin_lr;
constexpr double k_gutter = 5;
constexpr double k_fallback_ratio = 0.75;
constexpr double k_separator_distance = 5;
constexpr double k_crowding_threshold = 10;
constexpr double k_caption_offset = 1;
constexpr double k_caption_line_h = 4;
constexpr int k_free_rows = 10;

helmkit::app_logging::Logger& logger() { return helmkit::app_logging::lazy_logger("Figdeck"); }

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

bool is_blank(const std::string& text) {
    return text.find_first_not_of(" \t\n\r\f\v") == std::string::npos;
}

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

std::string group_where(const std::string& name) { return "group '" + name + "'"; }

std::string format_mm(double value) { return fmt::format("{:.1f}", value); }

}  // namespace

struct ReportGenerator::GroupLayout {
    double budget_h = 0;
    int cols = 1;
    CellSize cell;
    std::vector<std::optional<PixelSize>> sizes;  // per image; none when unreadable
};

ReportGenerator::ReportGenerator(ordered_json conf, ordered_json main_page, ordered_json groups_def)
    : m_conf(std::move(conf)), m_main_page(std::move(main_page)), m_groups_def(std::move(groups_def)) {
    if (!m_conf.is_object()) {
        throw helmkit::Error(std::string("the \"config\" section must be a JSON object, not ") +
                             m_conf.type_name());
    }
    if (!m_main_page.is_object()) {
        throw helmkit::Error(std::string("the \"main_page\" section must be a JSON object, not ") +
                             m_main_page.type_name());
    }
    if (!m_groups_def.is_array()) {
        throw helmkit::Error(std::string("the \"groups\" section must be a JSON list, not ") +
                             m_groups_def.type_name());
    }
    m_pdf.set_auto_page_break(false);
    m_pdf.set_margins(k_margin_lr, _conf_number("top_margin", 15), k_margin_lr);
    m_total_usable_h = _conf_number("page_height", 297) - _conf_number("top_margin", 15) -
                       _conf_number("bottom_margin", 15);
    logger().info("[INIT] Total usable height: " + format_mm(m_total_usable_h) + "mm");
}

double ReportGenerator::_conf_number(const char* key, double fallback) const {
    return helmkit::number_or(m_conf, key, fallback, k_conf_where);
}

ParsedData ReportGenerator::parse_files() const {
    const auto folder = helmkit::text_or(m_conf, "image_folder", ".", k_conf_where);
    logger().info("Scanning files in " + folder + "...");
    if (helmkit::fileMg::checkFileOrDir(folder) != 0) {
        logger().error("Error: Image folder not found: " + folder);
        return {};
    }
    const auto listing =
        helmkit::fileMg::find_files_with_extensions(folder, {"png", "jpg", "jpeg", "bmp"});
    logger().info("Total images found: " + std::to_string(listing.paths.size()));
    const auto prefix = helmkit::text_or(m_conf, "file_prefix", "", k_conf_where);

    ParsedData parsed;
    for (std::size_t index = 0; index < m_groups_def.size(); ++index) {
        const auto& definition = m_groups_def[index];
        const auto where = "entry " + std::to_string(index + 1) + " of \"groups\"";
        if (!definition.is_object()) {
            throw helmkit::Error(where + " must be a JSON object, not " + definition.dump());
        }
        if (find_key(definition, "name") == nullptr) {
            throw helmkit::Error(where + " has no \"name\"");
        }
        const auto name = helmkit::text_or(definition, "name", "", where);
        const auto pattern = helmkit::text_or(definition, "pattern", "", group_where(name));
        if (is_blank(pattern)) continue;

        auto group = std::find_if(parsed.begin(), parsed.end(),
                                  [&](const GroupImages& g) { return g.name == name; });
        if (group == parsed.end()) {
            parsed.push_back({name, {}});
            group = parsed.end() - 1;
        } else {
            group->images.clear();
        }
        logger().info("Matching for Group: " + name + " (Pattern: " + pattern + ")");
        const auto count = std::min(listing.paths.size(), listing.names.size());
        for (std::size_t i = 0; i < count; ++i) {
            auto [matches, caption] =
                helmkit::parseTools::parseFn_pattern(listing.names[i], pattern, prefix);
            if (matches) group->images.push_back({listing.paths[i], std::move(caption)});
        }
        logger().info("  -> Matched " + std::to_string(group->images.size()) + " images.");
    }
    return parsed;
}

std::vector<std::optional<ReportGenerator::PixelSize>> ReportGenerator::_image_sizes(
    const std::vector<ImageEntry>& images) const {
    std::vector<std::optional<PixelSize>> sizes;
    for (const auto& entry : images) {
        sizes.emplace_back();
        std::unique_ptr<std::FILE, FileCloser> file(std::fopen(entry.path.c_str(), "rb"));
        if (!file) {
            logger().warning("Cannot read image ratio for " + entry.path + ": " +
                             std::strerror(errno));
            continue;
        }
        int width = 0;
        int height = 0;
        int channels = 0;
        if (stbi_info_from_file(file.get(), &width, &height, &channels) == 0) {
            logger().warning("Cannot read image ratio for " + entry.path + ": " +
                             stbi_failure_reason());
            continue;
        }
        sizes.back() = PixelSize{width, height};
    }
    return sizes;
}

namespace {

template <typename Sizes>
double max_ratio_of(const Sizes& sizes) {
    if (sizes.empty()) return k_fallback_ratio;
    double max_ratio = 0;
    for (const auto& size : sizes) {
        if (size && size->width > 0) {
            max_ratio = std::max(max_ratio, static_cast<double>(size->height) / size->width);
        }
    }
    return max_ratio > 0 ? max_ratio : k_fallback_ratio;
}

// The box of an image of `size` scaled to fit the cell at (x, y) with its own proportions,
// centred in it.
struct Box {
    double x, y, w, h;
};

template <typename Size>
Box fitted_box(const Size& size, double x, double y, double cell_w, double cell_h) {
    const double ratio = static_cast<double>(size.height) / size.width;
    double w = cell_w;
    double h = cell_w * ratio;
    if (h > cell_h) {
        h = cell_h;
        w = cell_h / ratio;
    }
    return {x + (cell_w - w) / 2, y + (cell_h - h) / 2, w, h};
}

}  // namespace

double ReportGenerator::get_max_ratio_from_images(const std::vector<ImageEntry>& images) const {
    return max_ratio_of(_image_sizes(images));
}

CellSize ReportGenerator::calculate_layout_size(int num_rows, double standard_cell_w,
                                                double max_ratio, double budget_height) const {
    const double title_buffer = _conf_number("title_buffer", 25);
    const double row_gap = _conf_number("row_gap", 10);
    const double img_budget_h_total = budget_height - title_buffer;
    if (num_rows == 0) return {standard_cell_w, 0};
    const double max_allowed_h_per_row = img_budget_h_total / num_rows - row_gap;
    const double calc_h = standard_cell_w * max_ratio;
    if (calc_h > max_allowed_h_per_row) {
        return {max_allowed_h_per_row / max_ratio, max_allowed_h_per_row};
    }
    return {standard_cell_w, calc_h};
}

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

ReportGenerator::GroupLayout ReportGenerator::_group_layout(const GroupImages& group,
                                                            const ordered_json& definition) const {
    const auto where = group_where(group.name);
    const double exp_per_page = helmkit::number_or(definition, "experiments_per_page", 1, where);
    const double cols = helmkit::number_or(definition, "cols_per_row", 1, where);
    if (!(exp_per_page > 0)) {
        throw helmkit::Error(where + ": \"experiments_per_page\" must be a positive number, not " +
                             definition["experiments_per_page"].dump());
    }
    if (!(cols >= 1) || cols != std::floor(cols)) {
        throw helmkit::Error(where + ": \"cols_per_row\" must be a positive whole number, not " +
                             definition["cols_per_row"].dump());
    }
    GroupLayout layout;
    layout.budget_h = m_total_usable_h / exp_per_page;
    const double standard_cell_w = (k_available_w - (cols - 1) * k_gutter) / cols;
    if (standard_cell_w <= 0) {
        throw helmkit::Error(where + ": \"cols_per_row\" " + definition["cols_per_row"].dump() +
                             " leaves no width for a figure; at most 36 columns fit the page");
    }
    layout.cols = static_cast<int>(cols);
    const auto count = static_cast<int>(group.images.size());
    const int num_rows = (count + layout.cols - 1) / layout.cols;
    layout.sizes = _image_sizes(group.images);
    layout.cell = calculate_layout_size(num_rows, standard_cell_w, max_ratio_of(layout.sizes),
                                        layout.budget_h);
    if (layout.cell.h <= 0) {
        throw helmkit::Error(
            where + ": its " + std::to_string(num_rows) + " rows of figures do not fit its " +
            format_mm(layout.budget_h) + " mm height budget (\"experiments_per_page\" " +
            fmt::format("{}", exp_per_page) + ", \"title_buffer\" " +
            fmt::format("{}", _conf_number("title_buffer", 25)) + ", \"row_gap\" " +
            fmt::format("{}", _conf_number("row_gap", 10)) +
            "); lower \"experiments_per_page\" or raise \"cols_per_row\"");
    }
    return layout;
}

void ReportGenerator::_place_block(double budget_h) {
    const double bottom_limit = _conf_number("page_height", 297) - _conf_number("bottom_margin", 15);
    const double start_y = m_pdf.get_y();
    if (start_y + budget_h > bottom_limit) {
        m_pdf.add_page();
    } else if (start_y > _conf_number("top_margin", 15) + k_crowding_threshold) {
        const double separator_y = start_y + k_separator_distance;
        m_pdf.set_draw_color(200);
        m_pdf.line(k_margin_lr, separator_y, k_page_w - k_margin_lr, separator_y);
        m_pdf.set_y(separator_y + k_separator_distance);
    }
}

void ReportGenerator::_draw_group(const GroupImages& group, const GroupLayout& layout,
                                  helmkit::Progress& progress) {
    const auto link = m_links.find(group.name);
    if (link != m_links.end()) m_pdf.set_link(link->second, m_pdf.get_y(), m_pdf.page_no());
    m_pdf.set_font("helvetica", "B", 14);
    m_pdf.set_text_color(0, 51, 102);
    m_pdf.cell(0, 8, group.name, {Ln::next_line, Align::left, 0});
    m_pdf.ln(1);

    const double row_gap = _conf_number("row_gap", 10);
    const auto [cell_w, cell_h] = layout.cell;
    double row_start_y = m_pdf.get_y();
    for (std::size_t first = 0; first < group.images.size(); first += layout.cols) {
        const std::size_t end = std::min(group.images.size(), first + layout.cols);
        for (std::size_t k = first; k < end; ++k) {
            const auto i = k - first;
            const double x_pos = k_margin_lr + static_cast<double>(i) * (cell_w + k_gutter);
            const auto& size = layout.sizes[k];
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

void ReportGenerator::_log_summary() const {
    const auto& s = m_summary;
    std::string line = "[DONE] " + std::to_string(s.images) + (s.images == 1 ? " image, " : " images, ") +
                       std::to_string(s.groups) + (s.groups == 1 ? " group, " : " groups, ") +
                       std::to_string(s.pages) + (s.pages == 1 ? " page" : " pages");
    if (s.empty_groups > 0) {
        line += " (" + std::to_string(s.empty_groups) +
                (s.empty_groups == 1 ? " group without images)" : " groups without images)");
    }
    if (s.pages == 0) line += "; no report written";
    logger().info(line);
}

void ReportGenerator::generate() {
    m_summary = {};
    m_keep_aspect = helmkit::bool_or(m_conf, "keep_aspect", false, k_conf_where);
    const auto data = parse_files();
    if (data.empty()) {
        logger().warning("No data found matching patterns. Aborting.");
        m_summary.outcome = helmkit::RunOutcome::failed;
        _log_summary();
        return;
    }
    add_toc(data);
    std::map<std::string, const ordered_json*> definitions;
    for (const auto& definition : m_groups_def) {
        definitions[definition.at("name").get<std::string>()] = &definition;
    }
    if (m_pdf.page_no() == 0) m_pdf.add_page();
    static const ordered_json k_no_definition = ordered_json::object();
    std::size_t total_images = 0;
    for (const auto& group : data) total_images += group.images.size();
    helmkit::Progress progress("Figdeck images", total_images);
    for (const auto& group : data) {
        ++m_summary.groups;
        if (group.images.empty()) {
            ++m_summary.empty_groups;
            continue;
        }
        logger().info("Processing layout: " + group.name);
        const auto found = definitions.find(group.name);
        const auto layout = _group_layout(
            group, found == definitions.end() ? k_no_definition : *found->second);
        _place_block(layout.budget_h);
        _draw_group(group, layout, progress);
        m_summary.images += group.images.size();
    }

    const auto name = helmkit::text_or(m_conf, "output_file", "report.pdf", k_conf_where);
    const auto folder = helmkit::text_or(m_conf, "image_folder", ".", k_conf_where);
    const auto path = std::filesystem::path(folder) / name;
    m_pdf.output(path);
    m_summary.pages = m_pdf.page_no();
    logger().info("Success! Custom Report Generated: " + path.string());
    _log_summary();
}

}  // namespace torvane::figdeck
