#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "helmkit/base/json.hpp"
#include "helmkit/base/run_outcome.hpp"
#include "torvane/gridpage/layout.hpp"
#include "torvane/gridpage/output_page.hpp"
#include "torvane/gridpage/pdf_reader.hpp"
#include "torvane/gridpage/pdf_writer.hpp"

namespace torvane::gridpage {

// What one run did: the counts of its closing log line, and how it ended.
struct MergeSummary {
    std::size_t files_merged = 0;
    std::size_t files_failed = 0;
    long pages = 0;
    std::size_t sheets = 0;
    bool input_missing = false;
    bool save_failed = false;

    // Returns failed when the input folder was missing, the save failed or every file
    // failed; partly_done when some files failed and others were merged; otherwise done.
    helmkit::RunOutcome outcome() const;
    // Returns the closing log line: "Summary: 2 files merged, 1 failed, 5 pages on 2 sheets".
    std::string text() const;
};

// Merges every page of the PDF files of one folder, in file-name order, into the cells of
// A4 sheets and saves the result with one outline entry per file.
class Gridpager {
public:
    // Reads the configuration section (absent keys take their defaults) and logs the layout.
    // Throws helmkit::Error naming the key when "cols", "rows" or "margin" is not a usable
    // number, when the margin leaves no room, or when a text or object key has another type.
    explicit Gridpager(const nlohmann::ordered_json& config_dict);

    // Returns the paths and names of the PDF files directly in the input folder, sorted by
    // name code point by code point, without the output file itself; two empty lists (after
    // an error line) when the folder does not exist.
    std::pair<std::vector<std::string>, std::vector<std::string>> get_file_list();

    // Returns the width and height of one cell of a sheet.
    std::pair<double, double> calculate_cell_layout() const;

    // Returns where `source_page` goes in the cell `target_rect`, or nothing when its
    // displayed width or height is 0. Throws helmkit::Error for a page without a usable box.
    std::optional<FitRecord> _get_layout_params(const SourcePage& source_page,
                                                const Rect& target_rect) const;

    // Places every page of every file and saves the report; a file that fails is logged
    // with "Failed <name>: <reason>" and the next one goes on. Ends with the summary's log
    // line and returns the summary.
    MergeSummary run();

    // Returns a sheet-sized page whose only content is a red 2-point frame around the cell
    // (x, y, w, h).
    OutputPage _create_red_frame_page(double x, double y, double w, double h) const;

    // Writes the report to the output file atomically, creating missing folders; logs
    // "Save failed: <reason>" and returns false when the file cannot be written. Throws
    // helmkit::Error when a missing folder cannot be created.
    bool _save_file();

    const std::string& input_folder() const { return m_input_folder; }
    const std::string& output_file() const { return m_output_file; }
    int cols() const { return m_cols; }
    int rows() const { return m_rows; }
    double margin() const { return m_margin; }
    bool is_landscape() const { return m_is_landscape; }
    bool draw_grid() const { return m_draw_grid; }
    double page_width() const { return m_page_width; }
    double page_height() const { return m_page_height; }
    const PdfWriter& writer() const { return m_writer; }

private:
    using FileList = std::pair<std::vector<std::string>, std::vector<std::string>>;
    // get_file_list, but nothing (after the error line) when the input folder is missing.
    std::optional<FileList> list_files();
    MergeSummary merge_files(const FileList& files);

    helmkit::app_logging::Logger& m_log;
    nlohmann::ordered_json m_conf;
    std::string m_input_folder;
    std::string m_output_file;
    int m_cols = 2;
    int m_rows = 1;
    bool m_is_landscape = false;
    double m_margin = 20;
    bool m_draw_grid = false;
    double m_page_width = 595;
    double m_page_height = 842;
    PdfWriter m_writer;
};

}  // namespace torvane::gridpage
