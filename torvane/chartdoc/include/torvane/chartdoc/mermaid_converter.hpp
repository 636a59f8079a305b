#pragma once

#include <exception>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "helmkit/base/json.hpp"
#include "helmkit/base/progress.hpp"
#include "helmkit/base/run_outcome.hpp"
#include "torvane/chartdoc/diagram_rendering.hpp"
#include "torvane/chartdoc/markdown_html.hpp"
#include "torvane/chartdoc/site_pages.hpp"

namespace torvane::chartdoc {

// Returns `name` without its last extension; dots that begin the name start no extension,
// so ".md" stays ".md" and "notes.old.md" gives "notes.old".
std::string base_name_of(const std::string& name);

// A title as the log shows it and as a page holds it: a configured title is the user's own
// markup, a file name is text that may hold '<' or '&'.
struct Title {
    std::string shown;
    std::string html;
};

// What a run did, for its closing log line and its strict exit status.
struct RunSummary {
    std::size_t documents = 0;  // document pages written
    std::size_t diagrams = 0;   // diagram pages written
    std::size_t failed = 0;     // documents and diagrams skipped because they failed

    // Returns "Summary: 3 pages written (2 documents, 1 diagram), 1 failed".
    std::string text() const;
    // Returns done when nothing failed, failed when something failed and no page was written,
    // partly_done otherwise.
    helmkit::RunOutcome outcome() const;
};

// Builds the static site: one page per Markdown document and per Mermaid diagram of the
// input folder, and index.html linking them all.
class MermaidConverter {
public:
    // Takes the keys of the configuration section `conf`, each with its default when absent,
    // and logs `conf` at debug level. Throws helmkit::Error when `conf` is not a JSON object
    // or a folder key is not a text.
    explicit MermaidConverter(nlohmann::ordered_json conf);

    // Converts the documents, then the diagrams, then writes the index. Returns
    // (true, "Successfully generated documentation in: <output>/index.html") or, when no page
    // was written, (false, "No .md or .mmd files were found in the input folder.").
    // Throws helmkit::Error when the renderer or the input folder is missing, and on failures
    // a run cannot go on from (output folder, SVG, diagram page or index).
    std::pair<bool, std::string> run();

    // What the last run() did so far (also after it threw).
    const RunSummary& summary() const { return m_summary; }

    // The input folder when the last run() stopped because it was not there.
    const std::optional<std::string>& missing_input_folder() const {
        return m_missing_input_folder;
    }

private:
    // True when "mmdc" is an executable file in a folder of PATH.
    bool _check_mmdc() const;
    // Creates the output folder with its parents when nothing exists at its path.
    void _prepare_output_dir() const;

    // The names a document's page gets.
    struct DocumentPaths {
        std::string md;
        std::string base_name;
        std::string out_name;
        std::string out_path;
        Title title;
    };
    // A document read ahead of its turn, and its page once converted.
    struct DocumentJob {
        DocumentPaths document;
        std::string markdown;
        std::exception_ptr unread;  // why it could not be read
        std::string page;
        DocumentAnchors anchors;
        bool converted = false;     // false when it failed or its page grew too large to hold
        std::exception_ptr failed;  // why it could not be converted
    };

    void convert_documents(const std::vector<std::string>& documents, SitePages& pages,
                           helmkit::Progress& progress);
    DocumentPaths document_paths(const std::string& md) const;
    MarkdownOptions page_options(DocumentAnchors& anchors) const;
    // Reads the document `md`, or notes why it cannot be read.
    DocumentJob read_document(const std::string& md) const;
    // Converts `job`'s document into its page in memory, or notes why it cannot be; called on
    // any thread.
    void convert_in_memory(DocumentJob& job, const SiteLinks& links) const;
    // Logs the document's turn, runs `prepare`, then has `write` fill its page; logs why the
    // document failed when either throws.
    void convert_document(const DocumentPaths& document, SitePages& pages,
                          const std::function<void()>& prepare,
                          const std::function<void(helmkit::AtomicFile&, DocumentAnchors&)>& write);
    void convert_diagrams(const std::vector<std::string>& diagrams, SitePages& pages,
                          helmkit::Progress& progress);
    // Starts the renderer for one diagram, with the arguments it has always had; returns the
    // SVG file as it was written, or nothing after logging why the renderer failed.
    std::optional<std::string> render_alone(const std::string& mmd, const std::string& mmd_path,
                                            const std::string& svg_path);
    // The text of the diagram `mmd`, or nothing when it is to be rendered by mmdc in place.
    std::optional<std::string> read_diagram(const std::string& mmd) const;
    // Renders the mermaid fences of the document `md`; returns an SVG per fence (nothing, after
    // a warning, for one that failed).
    std::vector<std::optional<std::string>> render_fences(const std::string& md,
                                                          const std::string& markdown);
    // Renders every diagram of the run, fenced in `documents` and `diagrams` (.mmd), in one
    // batch.
    void prefetch_diagrams(const std::vector<std::string>& documents,
                           const std::vector<std::string>& diagrams);
    // Puts the run's pages in place; logs each document page that could not be, as a failed
    // document.
    SitePages::Placed put_in_place(SitePages& pages);
    // Logs a warning for each link between the pages now in place that leads nowhere, then
    // their count; logs nothing when every link leads somewhere.
    void check_links(const SitePages::Placed& placed);

    // A page given to SitePages, with what the link check needs of it.
    struct WrittenPage {
        PageKind kind;
        std::string source;
        std::string page;
        DocumentAnchors anchors;
    };

    // The fences of a document as the batch found them, used again when its turn comes unless
    // the document has changed meanwhile (told by a hash of its text).
    struct KeptFences {
        std::size_t markdown = 0;
        std::vector<MermaidFence> fences;
    };

    nlohmann::ordered_json m_conf;
    std::string m_input_folder;
    std::string m_output_folder;
    std::string m_index_title;
    nlohmann::ordered_json m_doc_titles;
    nlohmann::ordered_json m_chart_titles;
    bool m_batch_render = false;
    bool m_rich_markdown = false;
    bool m_fenced_diagrams = false;
    bool m_diagram_cache = false;
    std::optional<DiagramRendering> m_rendering;
    std::map<std::string, KeptFences> m_fences;
    std::vector<WrittenPage> m_written;
    RunSummary m_summary;
    std::optional<std::string> m_missing_input_folder;
};

}  // namespace torvane::chartdoc
