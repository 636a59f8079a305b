#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

namespace torvane::chartdoc {

// Returns `name` without its last extension; dots that begin the name start no extension,
// so ".md" stays ".md" and "notes.old.md" gives "notes.old".
std::string base_name_of(const std::string& name);

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

private:
    // True when "mmdc" is an executable file in a folder of PATH.
    bool _check_mmdc() const;
    // Creates the output folder with its parents when nothing exists at its path.
    void _prepare_output_dir() const;

    void convert_documents(const std::vector<std::string>& names,
                           std::vector<std::string>& md_links) const;
    void convert_diagrams(const std::vector<std::string>& names,
                          std::vector<std::string>& chart_links) const;

    nlohmann::ordered_json m_conf;
    std::string m_input_folder;
    std::string m_output_folder;
    std::string m_index_title;
    nlohmann::ordered_json m_doc_titles;
    nlohmann::ordered_json m_chart_titles;
};

}  // namespace torvane::chartdoc
