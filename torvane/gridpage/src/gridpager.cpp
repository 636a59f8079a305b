#include "torvane/gridpage/gridpager.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <filesystem>
#include <numeric>
#include <system_error>

#include "helmkit/files/atomic_file.hpp"
#include "helmkit/base/config_value.hpp"
#include "helmkit/base/console.hpp"
#include "helmkit/base/error.hpp"
#include "helmkit/files/file_mg.hpp"
#include "helmkit/base/json_value.hpp"
#include "helmkit/base/progress.hpp"
#include "torvane/gridpage/transformation.hpp"

namespace fs = std::filesystem;
using nlohmann::ordered_json;

namespace torvane::gridpage {

namespace {

constexpr double k_a4_width = 595;
constexpr double k_a4_height = 842;
// Beyond this a cell is narrower than a point; the limit also keeps cols × rows in range.
constexpr int k_max_cells_per_side = 1000;

helmkit::app_logging::Logger& logger() { return helmkit::app_logging::lazy_logger("Gridpage"); }

constexpr const char* k_section = "the \"config\" section";
constexpr const char* k_layout = "the \"layout\" section";

const ordered_json* find_key(const ordered_json& object, const char* key) {
    const auto found = object.find(key);
    return found == object.end() ? nullptr : &*found;
}

std::string read_path(const ordered_json& section, const char* key, const char* fallback) {
    auto path = helmkit::text_or(section, key, fallback, k_section);
    if (path.empty()) {
        throw helmkit::Error("'" + std::string(key) + "' in " + k_section + " must not be empty");
    }
    return path;
}

int read_cell_count(const ordered_json& layout, const char* key, int fallback) {
    const double number = helmkit::number_or(layout, key, fallback, k_layout);
    if (number != std::floor(number) || number < 1 || number > k_max_cells_per_side) {
        throw helmkit::Error("'" + std::string(key) + "' in " + k_layout +
                             " must be a whole number from 1 to " +
                             std::to_string(k_max_cells_per_side) + ", not " +
                             layout.at(key).dump());
    }
    return static_cast<int>(number);
}

double read_margin(const ordered_json& section, double page_width, double page_height) {
    const double margin = helmkit::number_or(section, "margin", 20, k_section);
    if (margin < 0) {
        throw helmkit::Error(std::string("'margin' in ") + k_section +
                             " must be 0 or more points, not " + section.at("margin").dump());
    }
    if (page_width - 2 * margin <= 0 || page_height - 2 * margin <= 0) {
        throw helmkit::Error(fmt::format(
            "'margin' in {} leaves no room for cells: {} points on every side of a sheet of {} "
            "by {} points",
            k_section, section.at("margin").dump(), page_width, page_height));
    }
    return margin;
}

}  // namespace

helmkit::RunOutcome MergeSummary::outcome() const {
    if (input_missing || save_failed) return helmkit::RunOutcome::failed;
    if (files_failed == 0) return helmkit::RunOutcome::done;
    return files_merged == 0 ? helmkit::RunOutcome::failed : helmkit::RunOutcome::partly_done;
}

std::string MergeSummary::text() const {
    return fmt::format("Summary: {} files merged, {} failed, {} pages on {} sheets", files_merged,
                       files_failed, pages, sheets);
}

Gridpager::Gridpager(const ordered_json& config_dict)
    : m_log(logger()), m_conf(config_dict), m_writer(m_log) {
    if (!m_conf.is_object()) {
        throw helmkit::Error(std::string(k_section) + " must be an object, not " + m_conf.dump());
    }
    m_input_folder = read_path(m_conf, "input_folder", "./data_gridpage");
    m_output_file = read_path(m_conf, "output_file", "./data_gridpage/merged_report.pdf");

    static const ordered_json k_no_layout = ordered_json::object();
    const auto* layout = find_key(m_conf, "layout");
    if (layout == nullptr) layout = &k_no_layout;
    if (!layout->is_object()) {
        throw helmkit::Error(std::string("'layout' in ") + k_section + " must be an object, not " +
                             layout->dump());
    }
    m_cols = read_cell_count(*layout, "cols", 2);
    m_rows = read_cell_count(*layout, "rows", 1);
    const auto* landscape = find_key(*layout, "landscape");
    m_is_landscape = landscape != nullptr && helmkit::is_truthy(*landscape);

    const auto* debug_grid = find_key(m_conf, "debug_grid");
    m_draw_grid = debug_grid != nullptr && helmkit::is_truthy(*debug_grid);

    m_page_width = m_is_landscape ? k_a4_height : k_a4_width;
    m_page_height = m_is_landscape ? k_a4_width : k_a4_height;
    m_margin = read_margin(m_conf, m_page_width, m_page_height);

    m_log.info("[INIT] Layout: " + std::to_string(m_cols) + "x" + std::to_string(m_rows) +
               ", Landscape=" + (landscape ? helmkit::display_text(*landscape) : "False"));
    // The template offers the key, so users set it and expect it to be obeyed.
    if (const auto* page_size = find_key(m_conf, "page_size"); page_size && *page_size != "A4") {
        m_log.warning("Sheets are A4 whatever 'page_size' says (here " + page_size->dump() + ")");
    }
}

std::pair<std::vector<std::string>, std::vector<std::string>> Gridpager::get_file_list() {
    return list_files().value_or(FileList{});
}

std::optional<Gridpager::FileList> Gridpager::list_files() {
    if (helmkit::fileMg::checkFileOrDir(m_input_folder) != 0) {
        m_log.error("Error: Input folder not found: " + m_input_folder);
        m_log.info(helmkit::fileMg::where_looked(m_input_folder));
        return std::nullopt;
    }
    auto listed = helmkit::fileMg::find_files_with_extensions(m_input_folder, {"pdf"},
                                                              helmkit::fileMg::Recursive::no);
    std::vector<std::size_t> order(listed.paths.size());
    std::iota(order.begin(), order.end(), 0);
    // std::string compares char as unsigned, which for UTF-8 is code point order.
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return listed.names[a] < listed.names[b];
    });

    std::vector<std::string> paths;
    std::vector<std::string> names;
    for (const auto i : order) {
        std::error_code ignored;
        if (fs::equivalent(listed.paths[i], m_output_file, ignored)) {
            m_log.info("Leaving out " + listed.names[i] +
                       ": it is the output file of this run and is replaced by it");
            continue;
        }
        paths.push_back(std::move(listed.paths[i]));
        names.push_back(std::move(listed.names[i]));
    }
    return FileList{std::move(paths), std::move(names)};
}

std::pair<double, double> Gridpager::calculate_cell_layout() const {
    const double usable_w = m_page_width - 2 * m_margin;
    const double usable_h = m_page_height - 2 * m_margin;
    return {usable_w / m_cols, usable_h / m_rows};
}

std::optional<FitRecord> Gridpager::_get_layout_params(const SourcePage& source_page,
                                                       const Rect& target_rect) const {
    return fit_page(source_page.geometry(), target_rect);
}

OutputPage Gridpager::_create_red_frame_page(double x, double y, double w, double h) const {
    auto page = OutputPage::create_blank_page(m_page_width, m_page_height);
    page.set_contents(
        fmt::format("q 1 0 0 RG 2 w {:.2f} {:.2f} {:.2f} {:.2f} re S Q", x, y, w, h));
    return page;
}

MergeSummary Gridpager::run() {
    MergeSummary summary;
    const auto files = list_files();
    if (!files) summary.input_missing = true;
    if (!files || files->first.empty()) {
        m_log.warning("No PDF files found to merge.");
    } else {
        summary = merge_files(*files);
        summary.save_failed = !_save_file();
    }
    m_log.info(summary.text());
    return summary;
}

MergeSummary Gridpager::merge_files(const FileList& files) {
    const auto& [pdf_paths, pdf_names] = files;
    MergeSummary summary;
    const auto [cell_w, cell_h] = calculate_cell_layout();
    std::optional<OutputPage> current_output_page;
    int item_index = 0;
    const int items_per_page = m_cols * m_rows;
    long total_pages = 0;
    m_log.info("[STEP 1] Processing " + std::to_string(pdf_paths.size()) + " files...");

    helmkit::Progress progress("Gridpage files", pdf_paths.size());
    for (std::size_t f = 0; f < pdf_paths.size(); ++f) {
        const auto& f_name = pdf_names[f];
        try {
            PdfReader reader(pdf_paths[f], f_name, m_log);
            bool is_first = true;
            for (const auto& source_page : reader.pages()) {
                if (item_index % items_per_page == 0) {
                    if (current_output_page) m_writer.add_page(*current_output_page);
                    current_output_page = OutputPage::create_blank_page(m_page_width, m_page_height);
                    ++summary.sheets;
                    item_index = 0;
                }
                const auto cell =
                    cell_rect(item_index, m_cols, m_margin, m_page_height, cell_w, cell_h);
                const auto params = _get_layout_params(source_page, cell);
                if (params) {
                    m_writer.merge_transformed_page(*current_output_page, source_page,
                                                    page_placement(*params));
                    m_log.debug(fmt::format("    Pg{}: {} | Sc={:.2f} | Loc=({:.1f},{:.1f})",
                                            total_pages, f_name, params->scale, params->tx,
                                            params->ty));
                }
                if (m_draw_grid) {
                    current_output_page->merge_page(
                        _create_red_frame_page(cell.x, cell.y, cell.width, cell.height));
                }
                if (is_first) {
                    m_writer.add_outline_item(f_name, *current_output_page);
                    is_first = false;
                }
                ++item_index;
                ++total_pages;
            }
            ++summary.files_merged;
        } catch (const std::exception& error) {
            m_log.error("Failed " + f_name + ": " + error.what());
            ++summary.files_failed;
        }
        progress.advance();
    }
    if (current_output_page) m_writer.add_page(*current_output_page);
    summary.pages = total_pages;
    return summary;
}

bool Gridpager::_save_file() {
    const auto separator = m_output_file.find_last_of('/');
    const std::string output_dir =
        separator == std::string::npos ? std::string() : m_output_file.substr(0, separator);
    if (!output_dir.empty() && helmkit::fileMg::checkFileOrDir(output_dir) != 0) {
        std::error_code error;
        fs::create_directories(output_dir, error);
        if (error) helmkit::throw_file_error("create the folder", output_dir, error.value());
    }
    try {
        helmkit::AtomicFile file(m_output_file);
        m_writer.write(file);
        file.commit();
        m_log.info("[DONE] Successfully saved merged report: " + m_output_file);
        helmkit::echo("Success: " + m_output_file);
        return true;
    } catch (const std::exception& error) {
        m_log.error(std::string("Save failed: ") + error.what());
        return false;
    }
}

}  // namespace torvane::gridpage
