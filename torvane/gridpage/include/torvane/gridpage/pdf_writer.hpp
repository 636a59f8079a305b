#pragma once

#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "helmkit/base/app_logging.hpp"
#include "torvane/gridpage/output_page.hpp"
#include "torvane/gridpage/pdf_reader.hpp"
#include "torvane/gridpage/transformation.hpp"

class QPDF;
class QPDFObjectHandle;

namespace helmkit {
class AtomicFile;
}

namespace torvane::gridpage {

class SourceDocument;

// The merged report: sheets appended in order and one outline entry per input file.
// Stream data of the input files is copied when the report is written, not before: the
// copied objects keep the input files (not their documents) open until then.
class PdfWriter {
public:
    explicit PdfWriter(helmkit::app_logging::Logger& log);
    ~PdfWriter();
    PdfWriter(const PdfWriter&) = delete;
    PdfWriter& operator=(const PdfWriter&) = delete;

    // Draws `source` as a form XObject clipped to its crop box through `op` on top of
    // `sheet`'s content, with the resources it uses. Throws when qpdf cannot copy the page or
    // when `op` scales it to nothing (naming the page); `sheet` is then unchanged.
    void merge_transformed_page(OutputPage& sheet, const SourcePage& source,
                                const Transformation& op);
    // Appends `sheet` as the last page of the report.
    void add_page(const OutputPage& sheet);
    // Appends a top-level outline entry titled `title` (UTF-8) that leads to `sheet`, which may
    // be appended later.
    void add_outline_item(const std::string& title, const OutputPage& sheet);

    int page_count() const;

    // Writes the report into `file`, leaving the commit to the caller. Throws std::exception on
    // failure, with messages naming the file's target.
    void write(helmkit::AtomicFile& file);

private:
    struct OutlineItem;

    // Copies `object` of `document` into the report, with everything it refers to.
    QPDFObjectHandle copy_object(SourceDocument& document, QPDFObjectHandle object);
    // Returns a form XObject in the report that draws page `index` of `document`, clipped to
    // `box`, with the page's resources.
    QPDFObjectHandle copy_page_form(SourceDocument& document, std::size_t index, const Rect& box);
    void log_output_warnings();

    helmkit::app_logging::Logger& m_log;
    std::unique_ptr<QPDF> m_out;
    std::set<std::string> m_versions;
    std::vector<OutlineItem> m_outline;
    long m_next_xobject = 0;
    int m_page_count = 0;
};

}  // namespace torvane::gridpage
