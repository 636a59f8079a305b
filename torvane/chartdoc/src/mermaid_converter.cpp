#include "torvane/chartdoc/mermaid_converter.hpp"

#include <algorithm>
#include <filesystem>
#include <set>
#include <system_error>

#include "helmkit/base/app_logging.hpp"
#include "helmkit/base/child_process.hpp"
#include "helmkit/base/error.hpp"
#include "helmkit/base/progress.hpp"
#include "helmkit/files/atomic_file.hpp"
#include "helmkit/files/file_mg.hpp"
#include "helmkit/files/read_chunks.hpp"
#include "helmkit/base/config_value.hpp"
#include "helmkit/text/ascii_case.hpp"
#include "helmkit/text/utf8.hpp"
#include "torvane/chartdoc/batch_render.hpp"
#include "torvane/chartdoc/link_check.hpp"
#include "torvane/chartdoc/markdown_html.hpp"
#include "torvane/chartdoc/ordered_work.hpp"
#include "torvane/chartdoc/page_output.hpp"
#include "torvane/chartdoc/page_templates.hpp"
#include "torvane/chartdoc/site_links.hpp"

#include "chartdoc_log.hpp"

namespace fs = std::filesystem;
using nlohmann::ordered_json;

namespace torvane::chartdoc {

namespace {

constexpr const char* k_renderer = "mmdc";
constexpr const char* k_nothing_produced = "No .md or .mmd files were found in the input folder.";
// Documents read ahead of the one being written: two for each thread keep them all busy, and
// the fewer they are, the less memory is touched afresh; at most 16, and no more than 32 MiB.
constexpr std::size_t k_documents_ahead_per_thread = 2;
constexpr std::size_t k_most_documents_ahead = 16;
constexpr std::size_t k_bytes_ahead = std::size_t{32} << 20;
// A page converted ahead is held in memory up to this size (so that all of them hold at most
// 32 MiB); a larger one is converted again when its turn comes, straight into its file.
constexpr std::size_t k_page_held_in_memory = std::size_t{2} << 20;

constexpr const char* k_renderer_missing =
    "Mermaid CLI ('mmdc') is not installed or not in PATH.\n"
    "Please install it via: npm install -g @mermaid-js/mermaid-cli";

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

Title display_title(const ordered_json& titles, const char* key, const std::string& name,
                    const std::string& base_name) {
    if (!titles.is_object()) {
        throw helmkit::Error(std::string("'") + key +
                             "' in the \"config\" section must be an object mapping file names "
                             "to titles, not " +
                             type_phrase(titles));
    }
    const auto found = titles.find(name);
    if (found == titles.end()) return {base_name, html_text(base_name)};
    auto title = text_of(*found);
    return {title, title};
}

// File names are bytes; a page, a title or a log line is UTF-8, so a byte that is not becomes
// U+FFFD there (links keep the bytes, percent-encoded).
std::string shown(std::string_view text) {
    return helmkit::encode_utf8(helmkit::decode_utf8(text));
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

std::vector<std::string> names_ending_with(const std::vector<std::string>& names,
                                           std::string_view suffix) {
    std::vector<std::string> selected;
    for (const auto& name : names) {
        if (helmkit::ends_with_ignoring_case(name, suffix)) selected.push_back(name);
    }
    return selected;
}

// The documents whose pages the site will hold, for links between them.
SiteLinks site_links(const std::vector<std::string>& documents) {
    std::vector<std::pair<std::string, std::string>> pages;
    for (const auto& md : documents) {
        const std::string base_name = base_name_of(md);
        if (!takes_the_index_name(base_name)) pages.emplace_back(md, base_name + ".html");
    }
    return SiteLinks(pages);
}

// Writes the page of the document `markdown` into `file` as it is rendered, so that the page
// is never held whole; a page that would grow past k_page_limit is refused.
void write_document_page(helmkit::AtomicFile& file, const std::string& title,
                         const std::string& markdown, const SiteLinks& links,
                         const MarkdownOptions& options) {
    PageOutput out([&file](std::string_view piece) { file.write(piece); });
    const auto frame = page_frame(title);
    out.write(frame.head);
    render_markdown(markdown, out, links, options);
    out.write(frame.tail);
    out.finish();
}

std::string count_text(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// A diagram's page or image that cannot be put in place ends the run, as a diagram page that
// cannot be written always has.
void throw_unplaced_diagram(const SitePages::Placed& placed) {
    for (const auto& [page, message] : placed.unplaced) {
        if (page.kind == PageKind::diagram) throw helmkit::Error(message);
    }
    if (!placed.unplaced_files.empty()) throw helmkit::Error(placed.unplaced_files.front());
}

// Counts one item of a progress line when it is done, whichever way its loop turn ends.
class ProgressStep {
public:
    explicit ProgressStep(helmkit::Progress& progress) : m_progress(progress) {}
    ~ProgressStep() { m_progress.advance(); }
    ProgressStep(const ProgressStep&) = delete;
    ProgressStep& operator=(const ProgressStep&) = delete;

private:
    helmkit::Progress& m_progress;
};

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
    m_batch_render = helmkit::bool_or(m_conf, "batch_render", false, "the \"config\" section");
    m_rich_markdown = helmkit::bool_or(m_conf, "rich_markdown", false, "the \"config\" section");
    m_fenced_diagrams =
        helmkit::bool_or(m_conf, "fenced_diagrams", false, "the \"config\" section");
    m_diagram_cache = helmkit::bool_or(m_conf, "diagram_cache", false, "the \"config\" section");
    logger().debug(m_conf);
}

std::string RunSummary::text() const {
    return "Summary: " + count_text(documents + diagrams, "page", "pages") + " written (" +
           count_text(documents, "document", "documents") + ", " +
           count_text(diagrams, "diagram", "diagrams") + "), " + std::to_string(failed) +
           " failed";
}

helmkit::RunOutcome RunSummary::outcome() const {
    if (failed == 0) return helmkit::RunOutcome::done;
    return documents + diagrams == 0 ? helmkit::RunOutcome::failed
                                     : helmkit::RunOutcome::partly_done;
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
        m_missing_input_folder = m_input_folder;
        throw helmkit::Error("Input folder not found: " + m_input_folder);
    }
    _prepare_output_dir();

    // One listing for both kinds, so that the run works on one view of the folder.
    const auto names = helmkit::fileMg::list_folder_names(m_input_folder);
    const auto documents = names_ending_with(names, ".md");
    const auto diagrams = names_ending_with(names, ".mmd");
    helmkit::Progress progress("Chartdoc documents", documents.size());
    SitePages pages;
    // Without the keys that need it, diagrams go the way they always have.
    if (m_batch_render || m_fenced_diagrams || m_diagram_cache) {
        m_rendering.emplace(DiagramRendering::Settings{
            m_batch_render, m_diagram_cache, *helmkit::find_program(k_renderer), m_output_folder});
        if (m_rendering->batch()) prefetch_diagrams(documents, diagrams);
    }
    try {
        convert_documents(documents, pages, progress);
        progress.restart("Chartdoc diagrams", diagrams.size());
        convert_diagrams(diagrams, pages, progress);
    } catch (...) {
        // The pages made before the failure stay, as pages written one by one would.
        put_in_place(pages);
        throw;
    }
    const auto placed = put_in_place(pages);
    if (m_rendering) m_rendering->finish();
    throw_unplaced_diagram(placed);
    if (placed.md_links.empty() && placed.chart_links.empty()) return {false, k_nothing_produced};

    log.info("Generating index.html ...");
    // The index alone is flushed before it replaces an earlier one: a run that reports a
    // failure must not have replaced the earlier index.
    helmkit::AtomicFile index(fs::path(m_output_folder) / "index.html");
    index.write(fill_index(m_index_title, placed.md_links, placed.chart_links));
    index.commit(helmkit::Overwrite::yes, helmkit::Flush::when_replacing);
    check_links(placed);
    return {true, "Successfully generated documentation in: " + m_output_folder + "/index.html"};
}

void MermaidConverter::convert_documents(const std::vector<std::string>& documents,
                                         SitePages& pages, helmkit::Progress& progress) {
    const SiteLinks links = site_links(documents);
    // Fences go to the renderer, which this thread alone drives, each document in its turn.
    if (m_fenced_diagrams) {
        for (const auto& md : documents) {
            const ProgressStep step(progress);
            const auto document = document_paths(md);
            std::string markdown;
            std::vector<std::optional<std::string>> diagrams;
            convert_document(
                document, pages,
                [&] {
                    markdown = helmkit::fileMg::read_text_file(joined(m_input_folder, md));
                    diagrams = render_fences(md, markdown);
                },
                [&](helmkit::AtomicFile& file, DocumentAnchors& anchors) {
                    auto options = page_options(anchors);
                    options.diagram = [&diagrams](std::size_t n) -> std::optional<std::string> {
                        return n < diagrams.size() ? diagrams[n] : std::nullopt;
                    };
                    write_document_page(file, document.title.html, markdown, links, options);
                });
        }
        return;
    }
    // Otherwise documents are read ahead here, converted into memory on several threads and
    // written here in their turn: the files, the log and each failure are those of one thread.
    const std::size_t helpers = documents.size() > 1 ? helper_threads() : 0;
    const WorkWindow ahead{
        std::min(k_documents_ahead_per_thread * (helpers + 1), k_most_documents_ahead),
        k_bytes_ahead};
    in_order<DocumentJob>(
        documents.size(), helpers, ahead,
        [&](std::size_t i) { return read_document(documents[i]); },
        [](const DocumentJob& job) { return job.markdown.size(); },
        [&](DocumentJob& job) { convert_in_memory(job, links); },
        [&](std::size_t, DocumentJob& job) {
            const ProgressStep step(progress);
            convert_document(
                job.document, pages,
                [&] {
                    if (job.unread) std::rethrow_exception(job.unread);
                },
                [&](helmkit::AtomicFile& file, DocumentAnchors& anchors) {
                    if (job.failed) std::rethrow_exception(job.failed);
                    if (!job.converted) {
                        // Too large to be held: converted again, straight into its file.
                        write_document_page(file, job.document.title.html, job.markdown, links,
                                            page_options(anchors));
                        return;
                    }
                    file.write(job.page);
                    anchors = std::move(job.anchors);
                });
        });
}

MermaidConverter::DocumentPaths MermaidConverter::document_paths(const std::string& md) const {
    const std::string base_name = base_name_of(md);
    std::string out_name = base_name + ".html";
    std::string out_path = joined(m_output_folder, out_name);
    return {md, base_name, std::move(out_name), std::move(out_path),
            display_title(m_doc_titles, "doc_titles", md, shown(base_name))};
}

MarkdownOptions MermaidConverter::page_options(DocumentAnchors& anchors) const {
    MarkdownOptions options;
    options.rich = m_rich_markdown;
    options.anchors = &anchors;
    return options;
}

MermaidConverter::DocumentJob MermaidConverter::read_document(const std::string& md) const {
    DocumentJob job;
    job.document = document_paths(md);
    try {
        // A document that fails before it is read is not read ahead either.
        if (takes_the_index_name(job.document.base_name)) {
            throw helmkit::Error(index_clash(m_output_folder));
        }
        // Only read here: the check that it is text is made on the converting thread.
        job.markdown = helmkit::fileMg::read_file(joined(m_input_folder, md));
    } catch (...) {
        job.unread = std::current_exception();
    }
    return job;
}

void MermaidConverter::convert_in_memory(DocumentJob& job, const SiteLinks& links) const {
    if (job.unread) return;
    try {
        job.markdown = helmkit::fileMg::text_of_file(joined(m_input_folder, job.document.md),
                                                     std::move(job.markdown));
    } catch (...) {
        job.unread = std::current_exception();
        return;
    }
    // Thrown out of the parser when the page outgrows what a job may hold.
    struct TooLargeToHold {};
    try {
        const auto frame = page_frame(job.document.title.html);
        const auto hold = [&job](std::string_view piece) {
            if (job.page.size() + piece.size() > k_page_held_in_memory) throw TooLargeToHold{};
            job.page.append(piece);
        };
        PageOutput out(hold);
        out.write(frame.head);
        render_markdown(job.markdown, out, links, page_options(job.anchors));
        out.write(frame.tail);
        // Most pages fit in one piece, which becomes the page.
        auto rest = out.release();
        if (job.page.empty() && rest.size() <= k_page_held_in_memory) {
            job.page = std::move(rest);
        } else {
            hold(rest);
        }
        job.converted = true;
    } catch (const TooLargeToHold&) {
        job.page = std::string();
        job.anchors = {};
    } catch (...) {
        job.failed = std::current_exception();
    }
}

void MermaidConverter::convert_document(
    const DocumentPaths& document, SitePages& pages, const std::function<void()>& prepare,
    const std::function<void(helmkit::AtomicFile&, DocumentAnchors&)>& write) {
    auto& log = logger();
    const auto& md = document.md;
    log.info(shown("Processing Markdown: " + md + " -> " + document.title.shown));
    try {
        if (takes_the_index_name(document.base_name)) {
            throw helmkit::Error(index_clash(m_output_folder));
        }
        prepare();
        DocumentAnchors anchors;
        pages.add(document.out_path,
                  {PageKind::document, md, doc_entry(document.out_name, document.title.html)},
                  [&](helmkit::AtomicFile& file) { write(file, anchors); });
        m_written.push_back({PageKind::document, md, document.out_name, std::move(anchors)});
        ++m_summary.documents;
    } catch (const std::exception& error) {
        log.error(shown("Failed to process " + md + ": " + error.what()));
        ++m_summary.failed;
    }
}

std::optional<std::string> MermaidConverter::render_alone(const std::string& mmd,
                                                          const std::string& mmd_path,
                                                          const std::string& svg_path) {
    auto& log = logger();
    const std::vector<std::string> command{k_renderer, "-i", mmd_path, "-o", svg_path};
    try {
        // The renderer writes the picture itself: a FIFO there would hold it forever.
        helmkit::check_output_target(svg_path);
        // The renderer would wait for ever on a FIFO or read /dev/zero to its end: it gets only
        // a source this run can read.
        helmkit::ReadableFile{mmd_path};
        // The renderer shares the terminal: the progress line must not cut into its lines.
        const helmkit::Progress::Pause pause;
        const auto status = helmkit::run_process(command);
        if (!status.succeeded()) {
            log.error(shown("Failed to convert " + mmd + ": " +
                            helmkit::command_line_text(command) + " " +
                            helmkit::describe_process_status(status)));
            return std::nullopt;
        }
    } catch (const helmkit::Error& error) {
        log.error(shown("Failed to convert " + mmd + ": " + error.what()));
        return std::nullopt;
    }
    return helmkit::fileMg::read_file(svg_path);
}

void MermaidConverter::convert_diagrams(const std::vector<std::string>& diagrams,
                                        SitePages& pages, helmkit::Progress& progress) {
    auto& log = logger();
    for (std::size_t i = 0; i < diagrams.size(); ++i) {
        const ProgressStep step(progress);
        const std::string& mmd = diagrams[i];
        const std::string base_name = base_name_of(mmd);
        const std::string mmd_path = joined(m_input_folder, mmd);
        const std::string svg_path = joined(m_output_folder, base_name + ".svg");
        const std::string html_path = joined(m_output_folder, base_name + ".html");
        const auto title = display_title(m_chart_titles, "chart_titles", mmd, shown(base_name));
        log.info(shown("Converting diagram: " + mmd + " -> " + title.shown + " ..."));

        if (takes_the_index_name(base_name)) {
            log.error(shown("Failed to convert " + mmd + ": " + index_clash(m_output_folder)));
            ++m_summary.failed;
            continue;
        }
        std::optional<std::string> svg;
        std::optional<std::string> source;
        if (m_rendering) source = read_diagram(mmd);
        if (source && m_rendering->batch()) {
            auto rendered = m_rendering->render(*source);
            if (!rendered.svg) {
                log.error(shown("Failed to convert " + mmd + ": " + rendered.error));
                ++m_summary.failed;
                continue;
            }
            pages.add_file(svg_path, *rendered.svg);
            svg = helmkit::normalise_line_breaks(std::move(*rendered.svg));
        } else if (source) {
            if (auto kept = m_rendering->cached(*source)) {
                pages.add_file(svg_path, *kept);
                svg = helmkit::normalise_line_breaks(std::move(*kept));
            } else if (auto drawn = render_alone(mmd, mmd_path, svg_path)) {
                svg = helmkit::fileMg::text_of_file(svg_path, *drawn);
                m_rendering->keep(*source, *drawn);
            }
        } else if (auto drawn = render_alone(mmd, mmd_path, svg_path)) {
            svg = helmkit::fileMg::text_of_file(svg_path, std::move(*drawn));
        }
        if (!svg) {
            ++m_summary.failed;
            continue;
        }
        pages.add(html_path, {PageKind::diagram, mmd, chart_entry(base_name, title.html)},
                  [&](helmkit::AtomicFile& file) { file.write(fill_page(title.html, *svg)); });
        m_written.push_back({PageKind::diagram, mmd, base_name + ".html", {}});
        ++m_summary.diagrams;
    }
}

std::optional<std::string> MermaidConverter::read_diagram(const std::string& mmd) const {
    if (takes_the_index_name(base_name_of(mmd))) return std::nullopt;
    try {
        return helmkit::fileMg::read_file(joined(m_input_folder, mmd));
    } catch (const helmkit::Error&) {
        // Rendered by mmdc in place, the diagram fails as it always has, with the renderer's words.
        return std::nullopt;
    }
}

std::vector<std::optional<std::string>> MermaidConverter::render_fences(const std::string& md,
                                                                         const std::string& markdown) {
    std::vector<MermaidFence> fences;
    const auto found = m_fences.find(md);
    if (found != m_fences.end() && found->second.markdown == std::hash<std::string>{}(markdown)) {
        fences = std::move(found->second.fences);
        m_fences.erase(found);
    } else {
        fences = mermaid_fences(markdown);
    }
    std::vector<std::optional<std::string>> svgs;
    for (const auto& fence : fences) {
        auto& svg = svgs.emplace_back();
        if (fence.text.empty()) continue;
        auto rendered = m_rendering->render(fence.text);
        if (rendered.svg) {
            svg = helmkit::normalise_line_breaks(std::move(*rendered.svg));
        } else {
            logger().warning(shown("Diagram in " + md + " at line " + std::to_string(fence.line) +
                                   " failed, its code block stays: " + rendered.error));
        }
    }
    return svgs;
}

void MermaidConverter::prefetch_diagrams(const std::vector<std::string>& documents,
                                         const std::vector<std::string>& diagrams) {
    std::vector<std::string> texts;
    if (m_fenced_diagrams) {
        for (const auto& md : documents) {
            try {
                const auto markdown = helmkit::fileMg::read_text_file(joined(m_input_folder, md));
                auto& kept = m_fences[md];
                kept.markdown = std::hash<std::string>{}(markdown);
                kept.fences = mermaid_fences(markdown);
                for (const auto& fence : kept.fences) texts.push_back(fence.text);
            } catch (const std::exception&) {
                // The document fails in its turn, with its own message.
            }
        }
    }
    for (const auto& mmd : diagrams) {
        if (auto text = read_diagram(mmd)) texts.push_back(std::move(*text));
    }
    m_rendering->prefetch(texts);
}

void MermaidConverter::check_links(const SitePages::Placed& placed) {
    std::set<std::pair<PageKind, std::string>> unplaced;
    for (const auto& [page, message] : placed.unplaced) unplaced.emplace(page.kind, page.source);
    LinkCheck check;
    check.add_page("index.html", std::nullopt);
    for (auto& [kind, source, page, anchors] : m_written) {
        if (unplaced.count({kind, source}) != 0) continue;
        if (kind == PageKind::diagram) {
            check.add_page(page, std::nullopt);
            continue;
        }
        check.add_page(page, std::move(anchors.ids));
        check.add_links(source, page, std::move(anchors.links));
    }
    const auto broken = check.broken(m_rich_markdown);
    if (broken.empty()) return;
    auto& log = logger();
    for (const auto& message : broken) log.warning(shown(message));
    log.warning("Link check: " + count_text(broken.size(), "broken link", "broken links") +
                " found");
}

SitePages::Placed MermaidConverter::put_in_place(SitePages& pages) {
    auto& log = logger();
    auto placed = pages.commit();
    for (const auto& [page, message] : placed.unplaced) {
        if (page.kind == PageKind::document) {
            log.error(shown("Failed to process " + page.source + ": " + message));
            --m_summary.documents;
            ++m_summary.failed;
        } else {
            --m_summary.diagrams;
        }
    }
    return placed;
}

}  // namespace torvane::chartdoc
