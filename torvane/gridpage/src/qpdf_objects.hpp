#pragma once

// The qpdf objects behind the PDF layer's public types; only the layer's sources see them.

#include <qpdf/ClosedFileInputSource.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <array>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "helmkit/base/app_logging.hpp"
#include "helmkit/base/error.hpp"
#include "torvane/gridpage/output_page.hpp"

namespace torvane::gridpage {

// Returns qpdf's reason for `error` without the file name in front of it.
std::string describe_qpdf_error(const QPDFExc& error);

// A form XObject made in the output from a content stream of an input document, with the
// crop box and resources it was made for, so pages sharing all three share the form.
struct CopiedForm {
    std::array<double, 4> bbox{};
    QPDFObjGen resources;
    QPDFObjectHandle form;
};

// An open input PDF and its pages. Objects copied from it into the report read their stream
// data straight from the file when the report is written, so only the file (closed between
// reads, so thousands of them do not use up file handles) has to outlive this object.
class SourceDocument {
public:
    SourceDocument(const std::string& path, std::string name, helmkit::app_logging::Logger& log);

    QPDF& qpdf() { return *m_qpdf; }
    const std::string& name() const { return m_name; }
    const std::vector<QPDFObjectHandle>& pages() const { return m_pages; }

    // Forms already made from this document's content streams, by stream object.
    std::map<QPDFObjGen, CopiedForm>& copied_forms() { return m_copied_forms; }

    // Logs the warnings qpdf has raised for this document since the last call.
    void flush_warnings();
    // True once qpdf has left out an object that nests deeper than its parser takes.
    bool nesting_too_deep() const { return m_nesting_too_deep; }
    // Keeps the file open (true) during a series of reads, or closes it between reads.
    void stay_open(bool open) { m_source->stayOpen(open); }

private:
    std::string m_name;
    helmkit::app_logging::Logger& m_log;
    std::shared_ptr<ClosedFileInputSource> m_source;
    std::shared_ptr<QPDF> m_qpdf;
    std::vector<QPDFObjectHandle> m_pages;
    std::map<QPDFObjGen, CopiedForm> m_copied_forms;
    int m_warnings_logged = 0;
    bool m_nesting_too_deep = false;
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
