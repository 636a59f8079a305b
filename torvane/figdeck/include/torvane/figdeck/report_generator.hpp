#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace helmkit {
class Progress;
}

#include "helmkit/base/json.hpp"
#include "helmkit/base/run_outcome.hpp"
#include "torvane/figdeck/figure_layout.hpp"
#include "torvane/figdeck/image_groups.hpp"
#include "torvane/figdeck/lab_report.hpp"

namespace torvane::figdeck {

// What a run did, for its closing log line and its exit status.
struct RunSummary {
    std::size_t images = 0;        // figures drawn
    std::size_t groups = 0;        // groups of the report (contents entries)
    std::size_t empty_groups = 0;  // of them, groups without images
    int pages = 0;                 // pages of the written PDF; 0 when none was written
    helmkit::RunOutcome outcome = helmkit::RunOutcome::done;
};

// One report run: sorts the image files of the image folder into the configured groups,
// lays out every group as a grid of equal figure cells and writes the PDF report into the
// image folder.
class ReportGenerator {
public:
    // Stores the three configuration sections and sets up the document. Throws
    // helmkit::Error when a section has the wrong type or a page key is not a number.
    ReportGenerator(nlohmann::ordered_json conf, nlohmann::ordered_json main_page,
                    nlohmann::ordered_json groups_def);

    // Lists the image files of "image_folder" and matches every file against every group
    // with a non-blank pattern. Returns nothing when the folder is missing. Throws
    // helmkit::Error for a group without a text "name" or with a "pattern" that is no text.
    ParsedData parse_files() const;

    // Returns the largest height/width ratio of the images (read from their file headers),
    // or 0.75 when none gives one; an unreadable image costs a warning.
    double get_max_ratio_from_images(const std::vector<ImageEntry>& images) const;

    // Returns the cell size for `num_rows` rows that fit `budget_height` (less the title
    // buffer and a row gap per row), as wide as `standard_cell_w` unless the height limits.
    CellSize calculate_layout_size(int num_rows, double standard_cell_w, double max_ratio,
                                   double budget_height) const;

    // Draws the first page: title, key data rows and one linked entry per group of `data`,
    // each with a bookmark that leads where the entry does.
    void add_toc(const ParsedData& data);

    // Runs the whole report: grouping, first page, one block per group, the PDF file, and a
    // closing "[DONE] " log line that counts images, groups and pages.
    // Throws helmkit::Error for bad layout values (naming the group and key), an image that
    // cannot be embedded or an output that cannot be written; then no PDF is written.
    void generate();

    // What the last generate() did.
    const RunSummary& summary() const { return m_summary; }

    double total_usable_h() const { return m_total_usable_h; }

private:
    using PixelSizes = std::vector<std::optional<PixelSize>>;
    void _place_block(double budget_h);
    // Throws helmkit::Error naming the group and the keys when `box` would leave the page.
    void _check_on_page(const std::string& name, const Box& box) const;
    void _draw_group(const GroupImages& group, const GroupLayout& layout, const PixelSizes& sizes,
                     helmkit::Progress& progress);
    // Draws `caption` fitted into `room_h` mm under the cell at `x` of width `w`.
    void _draw_fitted_caption(const std::string& caption, double x, double w, double room_h);
    void _log_summary() const;

    nlohmann::ordered_json m_conf;
    nlohmann::ordered_json m_main_page;
    nlohmann::ordered_json m_groups_def;
    LabReport m_pdf;
    std::map<std::string, int> m_links;
    PageGeometry m_geometry;
    double m_total_usable_h = 0;
    bool m_keep_aspect = false;
    bool m_fit_captions = false;
    RunSummary m_summary;
};

}  // namespace torvane::figdeck
