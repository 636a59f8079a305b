#include "torvane/gridpage/pdf_reader.hpp"

#include <qpdf/Constants.h>
#include <qpdf/QPDFLogger.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <algorithm>
#include <cmath>
#include <utility>

#include "helmkit/base/error.hpp"
#include "qpdf_objects.hpp"

namespace torvane::gridpage {

namespace {

// A badly damaged file can raise thousands of warnings; the first ones say enough.
constexpr int k_max_warnings_per_file = 20;
// qpdf's parser leaves out (as null) an object whose arrays and dictionaries nest deeper.
constexpr int k_max_nesting = 500;

std::shared_ptr<QPDFLogger> silent_logger() {
    auto logger = QPDFLogger::create();
    logger->setInfo(logger->discard());
    logger->setWarn(logger->discard());
    logger->setError(logger->discard());
    return logger;
}

// Reads a box entry as a rectangle with its corners in order, or returns nothing.
std::optional<Rect> read_box(QPDFObjectHandle box) {
    if (!box.isRectangle()) return std::nullopt;
    const auto r = box.getArrayAsRectangle();
    const double values[] = {r.llx, r.lly, r.urx, r.ury};
    for (double value : values) {
        if (!std::isfinite(value)) return std::nullopt;
    }
    return Rect{std::min(r.llx, r.urx), std::min(r.lly, r.ury), std::fabs(r.urx - r.llx),
                std::fabs(r.ury - r.lly)};
}

}  // namespace

std::string describe_qpdf_error(const QPDFExc& error) {
    if (error.getErrorCode() == qpdf_e_password) {
        return "the file is encrypted and needs a password to be opened";
    }
    std::string text = error.getMessageDetail();
    std::string where;
    if (!error.getObject().empty()) where = error.getObject();
    if (error.getFilePosition() > 0) {
        where += (where.empty() ? "" : ", ") + std::string("offset ") +
                 std::to_string(error.getFilePosition());
    }
    if (!where.empty()) text += " (" + where + ")";
    return text;
}

SourceDocument::SourceDocument(const std::string& path, std::string name,
                               helmkit::app_logging::Logger& log)
    : m_name(std::move(name)),
      m_log(log),
      m_source(std::make_shared<ClosedFileInputSource>(path.c_str())),
      m_qpdf(std::make_shared<QPDF>()) {
    m_qpdf->setLogger(silent_logger());
    m_qpdf->setSuppressWarnings(true);
    m_source->stayOpen(true);
    try {
        m_qpdf->processInputSource(m_source);
        m_pages = m_qpdf->getAllPages();
    } catch (const QPDFExc& error) {
        flush_warnings();
        throw helmkit::Error(describe_qpdf_error(error));
    } catch (...) {
        flush_warnings();
        throw;
    }
    flush_warnings();
}

void SourceDocument::flush_warnings() {
    for (const auto& warning : m_qpdf->getWarnings()) {
        if (warning.getMessageDetail().find("excessively deeply nested") != std::string::npos) {
            m_nesting_too_deep = true;
        }
        ++m_warnings_logged;
        if (m_warnings_logged <= k_max_warnings_per_file) {
            m_log.warning(m_name + ": " + describe_qpdf_error(warning));
        } else if (m_warnings_logged == k_max_warnings_per_file + 1) {
            m_log.warning(m_name + ": further warnings not shown");
        }
    }
}

SourcePage::SourcePage(std::shared_ptr<SourceDocument> document, std::size_t index)
    : m_document(std::move(document)), m_index(index) {}

PageGeometry SourcePage::geometry() const {
    auto object = m_document->pages().at(m_index);
    if (!object.isDictionary()) {
        // qpdf replaces a page it cannot parse by null; its boxes are then simply absent.
        throw helmkit::Error(
            "page " + std::to_string(m_index + 1) + " cannot be read: " +
            (m_document->nesting_too_deep()
                 ? "its data nests deeper than the " + std::to_string(k_max_nesting) +
                       " levels of arrays and dictionaries the PDF reader takes"
                 : std::string("its page object is damaged (it is not a dictionary)")));
    }
    QPDFPageObjectHelper page(object);
    auto [rotate, box] = with_qpdf_errors(*m_document, [&] {
        auto crop = read_box(page.getAttribute("/CropBox", false));
        if (!crop) crop = read_box(page.getAttribute("/MediaBox", false));
        return std::make_pair(page.getAttribute("/Rotate", false), crop);
    });
    if (!box) {
        throw helmkit::Error("page " + std::to_string(m_index + 1) +
                             " has neither a crop box nor a media box");
    }
    PageGeometry geometry;
    if (rotate.isNumber()) geometry.rotation = rotate.getNumericValue();
    geometry.cropbox = *box;
    return geometry;
}

PdfReader::PdfReader(const std::string& path, const std::string& name,
                     helmkit::app_logging::Logger& log)
    : m_document(std::make_shared<SourceDocument>(path, name, log)) {
    const auto count = m_document->pages().size();
    m_pages.reserve(count);
    for (std::size_t i = 0; i < count; ++i) m_pages.emplace_back(m_document, i);
}

PdfReader::~PdfReader() { m_document->stay_open(false); }

}  // namespace torvane::gridpage
