#include "torvane/chartdoc/mermaid_converter.hpp"

#include <filesystem>
#include <system_error>

#include "helmkit/base/app_logging.hpp"
#include "helmkit/files/atomic_file.hpp"
#include "helmkit/base/child_process.hpp"
#include "helmkit/base/error.hpp"
#include "helmkit/files/file_mg.hpp"
#include "torvane/chartdoc/markdown_html.hpp"
#include "torvane/chartdoc/page_templates.hpp"

namespace fs = std::filesystem;
using nlohmann::ordered_json;

namespace torvane::chartdoc {

namespace {

constexpr const char* k_renderer = "mmdc";
constexpr const char* k_nothing_produced = "No .md or .mmd files were found in the input folder.";
constexpr const char* k_renderer_missing =
    "Mermaid CLI ('mmdc') is not installed or not in PATH.\n"
    "Please install it via: npm install -g @mermaid-js/mermaid-cli";

helmkit::app_logging::Logger& logger() { return helmkit::app_logging::lazy_logger("Chartdoc"); }

// "an array", "a number", ... for the messages about a value of the wrong type.
std::string type_phrase(const ordered_json& value) {
    if (value.is_null()) return "null";
    const std::string name = value.type_name();
    return (name == "array" || name == "object" ? "an " : "a ") + name;
}

std::string text_key(const ordered_json& conf, const char* key, const char* fallback) {
    const auto found = conf.find(key);
    if (found == conf.end()) return fallback;
    if (!found->is_string()) {
        throw helmkit::Error(std::string("'") + key +
                             "' in the \"config\" section must be a text, not " +
                             type_phrase(*found));
    }
    return found->get<std::string>();
}

ordered_json title_map(const ordered_json& conf, const char* key) {
    const auto found = conf.find(key);
    return found == conf.end() ? ordered_json::object() : *found;
}

// A title that is not a JSON text is shown in its JSON form (1.5, true, null).
std::string text_of(const ordered_json& value) {
    return value.is_string() ? value.get<std::string>() : value.dump();
}

std::string display_title(const ordered_json& titles, const char* key, const std::string& name,
                          const std::string& base_name) {
    if (!titles.is_object()) {
        throw helmkit::Error(std::string("'") + key +
                             "' in the \"config\" section must be an object mapping file names "
                             "to titles, not " +
                             type_phrase(titles));
    }
    const auto found = titles.find(name);
    return found == titles.end() ? base_name : text_of(*found);
}

bool ends_with_ignoring_case(const std::string& name, std::string_view suffix) {
    if (name.size() < suffix.size()) return false;
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        char c = name[name.size() - suffix.size() + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != suffix[i]) return false;
    }
    return true;
}

std::string joined(const std::string& folder, const std::string& name) {
    return (fs::path(folder) / name).string();
}

// A source named index.md or index.mmd would have its page replaced by the site index,
// which would then link to itself.
bool takes_the_index_name(const std::string& base_name) { return base_name == "index"; }

std::string index_clash(const std::string& output_folder) {
    return "its page would be replaced by the site index '" + joined(output_folder, "index.html") +
           "'; rename the file";
}

}  // namespace

std::string base_name_of(const std::string& name) {
    std::size_t first = 0;
    while (first < name.size() && name[first] == '.') ++first;
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot < first) return name;
    return name.substr(0, dot);
}

MermaidConverter::MermaidConverter(ordered_json conf) : m_conf(std::move(conf)) {
    if (!m_conf.is_object()) {
        throw helmkit::Error("the \"config\" section must be a JSON object, not " +
                             type_phrase(m_conf));
    }
    m_input_folder = text_key(m_conf, "input_folder", "./data_chartdoc");
    m_output_folder = text_key(m_conf, "output_folder", "./data_chartdoc/html_out");
    const auto index_title = m_conf.find("index_title");
    m_index_title = index_title == m_conf.end() ? "Project Documentation" : text_of(*index_title);
    m_doc_titles = title_map(m_conf, "doc_titles");
    m_chart_titles = title_map(m_conf, "chart_titles");
    logger().debug(m_conf);
}

bool MermaidConverter::_check_mmdc() const { return helmkit::find_program(k_renderer).has_value(); }

void MermaidConverter::_prepare_output_dir() const {
    if (helmkit::fileMg::checkFileOrDir(m_output_folder) == 0) return;
    std::error_code error;
    fs::create_directories(m_output_folder, error);
    if (error)
        helmkit::throw_file_error("create the output folder", m_output_folder, error.value());
    logger().info("Created output directory: " + m_output_folder);
}

std::pair<bool, std::string> MermaidConverter::run() {
    auto& log = logger();
    if (!_check_mmdc()) {
        log.error(k_renderer_missing);
        throw helmkit::Error(k_renderer_missing);
    }
    if (helmkit::fileMg::checkFileOrDir(m_input_folder) != 0) {
        throw helmkit::Error("Input folder not found: " + m_input_folder);
    }
    _prepare_output_dir();

    std::vector<std::string> md_links;
    std::vector<std::string> chart_links;
    convert_documents(helmkit::fileMg::list_folder_names(m_input_folder), md_links);
    convert_diagrams(helmkit::fileMg::list_folder_names(m_input_folder), chart_links);
    if (md_links.empty() && chart_links.empty()) return {false, k_nothing_produced};

    log.info("Generating index.html ...");
    helmkit::write_file_atomically(fs::path(m_output_folder) / "index.html",
                                   fill_index(m_index_title, md_links, chart_links));
    return {true, "Successfully generated documentation in: " + m_output_folder + "/index.html"};
}

void MermaidConverter::convert_documents(const std::vector<std::string>& names,
                                         std::vector<std::string>& md_links) const {
    auto& log = logger();
    for (const auto& md : names) {
        if (!ends_with_ignoring_case(md, ".md")) continue;
        const std::string md_path = joined(m_input_folder, md);
        const std::string base_name = base_name_of(md);
        const std::string out_name = base_name + ".html";
        const std::string out_path = joined(m_output_folder, out_name);
        const std::string title = display_title(m_doc_titles, "doc_titles", md, base_name);
        log.info("Processing Markdown: " + md + " -> " + title);
        try {
            if (takes_the_index_name(base_name)) throw helmkit::Error(index_clash(m_output_folder));
            const std::string html = markdown_to_html(helmkit::fileMg::read_text_file(md_path));
            helmkit::write_file_atomically(out_path, fill_page(title, html));
            md_links.push_back(doc_entry(out_name, title));
        } catch (const std::exception& error) {
            log.error("Failed to process " + md + ": " + error.what());
        }
    }
}

void MermaidConverter::convert_diagrams(const std::vector<std::string>& names,
                                        std::vector<std::string>& chart_links) const {
    auto& log = logger();
    for (const auto& mmd : names) {
        if (!ends_with_ignoring_case(mmd, ".mmd")) continue;
        const std::string base_name = base_name_of(mmd);
        const std::string mmd_path = joined(m_input_folder, mmd);
        const std::string svg_path = joined(m_output_folder, base_name + ".svg");
        const std::string html_path = joined(m_output_folder, base_name + ".html");
        const std::string title = display_title(m_chart_titles, "chart_titles", mmd, base_name);
        log.info("Converting diagram: " + mmd + " -> " + title + " ...");

        if (takes_the_index_name(base_name)) {
            log.error("Failed to convert " + mmd + ": " + index_clash(m_output_folder));
            continue;
        }
        const std::vector<std::string> command{k_renderer, "-i", mmd_path, "-o", svg_path};
        try {
            const auto status = helmkit::run_process(command);
            if (!status.succeeded()) {
                log.error("Failed to convert " + mmd + ": " + helmkit::command_line_text(command) +
                          " " + helmkit::describe_process_status(status));
                continue;
            }
        } catch (const helmkit::Error& error) {
            log.error("Failed to convert " + mmd + ": " + error.what());
            continue;
        }
        const std::string svg = helmkit::fileMg::read_text_file(svg_path);
        helmkit::write_file_atomically(html_path, fill_page(title, svg));
        chart_links.push_back(chart_entry(base_name, title));
    }
}

}  // namespace torvane::chartdoc
