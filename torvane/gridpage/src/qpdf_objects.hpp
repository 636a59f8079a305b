#pragma once

// The qpdf objects behind the PDF layer's public types; only the layer's sources see them.

#include <qpdf/ClosedFileInputSource.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "helmkit/app_logging.hpp"
#include "helmkit/error.hpp"
#include "torvane/gridpage/output_page.hpp"

namespace torvane::gridpage {

// Returns qpdf's reason for `error` without the file name in front of it.
std::string describe_qpdf_error(const QPDFExc& error);

// An open input PDF and its pages. The file is closed between reads, so a folder of
// thousands of files does not run out of file handles while the report waits to be written.
class SourceDocument {
public:
    SourceDocument(const std::string& path, std::string name, helmkit::app_logging::Logger& log);

    QPDF& qpdf() { return *m_qpdf; }
    const std::string& name() const { return m_name; }
    const std::vector<QPDFObjectHandle>& pages() const { return m_pages; }

    // Returns a new form XObject of this document that draws page `index` clipped to `bbox`
    // ([llx lly urx ury]) with the page's resources.
    QPDFObjectHandle form_xobject(std::size_t index, const QPDFObjectHandle& bbox);

    // Logs the warnings qpdf has raised for this document since the last call.
    void flush_warnings();
    // Keeps the file open (true) during a series of reads, or closes it between reads.
    void stay_open(bool open) { m_source->stayOpen(open); }

private:
    std::string m_name;
    helmkit::app_logging::Logger& m_log;
    std::shared_ptr<ClosedFileInputSource> m_source;
    std::shared_ptr<QPDF> m_qpdf;
    std::vector<QPDFObjectHandle> m_pages;
    int m_warnings_logged = 0;
};

// Returns what `action` returns, with the warnings it raised in `document` logged and qpdf's
// errors turned into helmkit::Error holding the reason alone.
template <class Action>
auto with_qpdf_errors(SourceDocument& document, Action&& action) {
    try {
        auto result = action();
        document.flush_warnings();
        return result;
    } catch (const QPDFExc& error) {
        document.flush_warnings();
        throw helmkit::Error(describe_qpdf_error(error));
    } catch (...) {
        document.flush_warnings();
        throw;
    }
}

struct OutputPage::State {
    double width = 0;
    double height = 0;
    std::string contents;
    // Resource name ("/Fx12") and the form XObject, already in the output document.
    std::vector<std::pair<std::string, QPDFObjectHandle>> xobjects;
    // The page object in the output document, made when first needed.
    QPDFObjectHandle object;
};

}  // namespace torvane::gridpage
