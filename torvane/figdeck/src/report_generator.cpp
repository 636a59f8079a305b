#include "torvane/figdeck/report_generator.hpp"

#include <filesystem>
#include <fmt/format.h>
#include <set>
#include <string_view>

#include "helmkit/base/app_logging.hpp"
#include "helmkit/base/config_value.hpp"
#include "helmkit/base/error.hpp"
#include "helmkit/base/progress.hpp"
#include "helmkit/files/file_mg.hpp"
#include "left_out_files.hpp"
#include "torvane/figdeck/caption_fit.hpp"

namespace torvane::figdeck {

using nlohmann::ordered_json;

namespace {

constexpr const char* k_conf_where = "the \"config\" section";

helmkit::app_logging::Logger& logger() { return helmkit::app_logging::lazy_logger("Figdeck"); }

}  // namespace

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
    m_geometry = page_geometry(m_conf);
    m_pdf.set_auto_page_break(false);
    m_pdf.set_margins(k_margin_lr, m_geometry.top_margin, k_margin_lr);
    m_total_usable_h = m_geometry.usable_h();
    logger().info("[INIT] Total usable height: " + fmt::format("{:.1f}", m_total_usable_h) + "mm");
}

ParsedData ReportGenerator::parse_files() const {
    const auto folder = helmkit::text_or(m_conf, "image_folder", ".", k_conf_where);
    logger().info("Scanning files in " + folder + "...");
    if (helmkit::fileMg::checkFileOrDir(folder) != 0) {
        logger().error("Error: Image folder not found: " + folder);
        logger().info(helmkit::fileMg::where_looked(folder));
        return {};
    }
    const auto listing =
        helmkit::fileMg::find_files_with_extensions(folder, {"png", "jpg", "jpeg", "bmp"});
    logger().info("Total images found: " + std::to_string(listing.paths.size()));
    const auto prefix = helmkit::text_or(m_conf, "file_prefix", "", k_conf_where);
    auto parsed = group_images(listing.paths, listing.names, m_groups_def, prefix);
    std::set<std::string_view> taken_paths;
    for (const auto& group : parsed) {
        for (const auto& image : group.images) taken_paths.insert(image.path);
    }
    std::vector<bool> taken;
    for (const auto& path : listing.paths) taken.push_back(taken_paths.count(path) != 0);
    const auto output = helmkit::text_or(m_conf, "output_file", "report.pdf", k_conf_where);
    log_left_out_files(folder, listing.names, taken, std::filesystem::path(folder) / output,
                       logger());
    return parsed;
}

double ReportGenerator::get_max_ratio_from_images(const std::vector<ImageEntry>& images) const {
    return max_ratio_of(read_pixel_sizes(images));
}

CellSize ReportGenerator::calculate_layout_size(int num_rows, double standard_cell_w,
                                                double max_ratio, double budget_height) const {
    return cell_size(num_rows, standard_cell_w, max_ratio, budget_height, row_spacing(m_conf));
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
    m_fit_captions =
        helmkit::bool_or(m_main_page, "fit_captions", false, "the \"main_page\" section");
    const double caption_room = row_spacing(m_conf).row_gap - k_caption_offset;
    if (m_fit_captions && caption_room < k_smallest_caption_line_h) {
        logger().warning(fmt::format(
            "\"row_gap\" leaves {} mm under the figures, less than one caption line of 5 pt "
            "({} mm): captions are left out",
            caption_room, k_smallest_caption_line_h));
    }
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
        auto layout = group_grid(group.name,
                                 found == definitions.end() ? k_no_definition : *found->second,
                                 m_total_usable_h);
        const auto sizes = read_pixel_sizes(group.images);
        layout.cell = fit_cells(layout, group.name, group.images.size(), max_ratio_of(sizes),
                                row_spacing(m_conf));
        _place_block(layout.budget_h);
        _draw_group(group, layout, sizes, progress);
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
