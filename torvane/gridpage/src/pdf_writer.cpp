#include "torvane/gridpage/pdf_writer.hpp"

#include <qpdf/Pipeline.hh>
#include <qpdf/Pl_String.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFLogger.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <exception>

#include "helmkit/files/atomic_file.hpp"

#include "qpdf_objects.hpp"

namespace torvane::gridpage {

struct PdfWriter::OutlineItem {
    std::string title;
    OutputPage sheet;
};

namespace {

// PDF has no exponent notation; six decimals are far below what any device shows.
std::string pdf_number(double value) {
    if (std::fabs(value) < 5e-7) return "0";
    std::string text = fmt::format("{:.6f}", value);
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.') text.pop_back();
    return text;
}

QPDFObjectHandle rectangle(double llx, double lly, double urx, double ury) {
    auto array = QPDFObjectHandle::newArray();
    for (double value : {llx, lly, urx, ury}) {
        array.appendItem(QPDFObjectHandle::newReal(value, 6, true));
    }
    return array;
}

constexpr std::size_t k_output_buffer = std::size_t{1} << 20;

// The output of the report: qpdf's many small writes go to the file a mebibyte at a time, and the
// first write that fails is kept with its own reason (a stdio stream keeps only an error flag,
// and errno is stale by the time it is checked). Nothing is thrown into qpdf, which finishes
// its pipelines in destructors.
class FileOutput : public Pipeline {
public:
    explicit FileOutput(helmkit::AtomicFile& file) : Pipeline("report", nullptr), m_file(file) {}

    void write(unsigned char const* data, size_t length) override {
        if (m_failure) return;
        m_buffer.append(reinterpret_cast<const char*>(data), length);
        if (m_buffer.size() >= k_output_buffer) finish();
    }

    void finish() override {
        if (!m_failure) {
            try {
                m_file.write(m_buffer);
            } catch (...) {
                m_failure = std::current_exception();
            }
        }
        m_buffer.clear();
    }

    // Throws the first write failure, if there was one.
    void check() const {
        if (m_failure) std::rethrow_exception(m_failure);
    }

private:
    helmkit::AtomicFile& m_file;
    std::string m_buffer;
    std::exception_ptr m_failure;
};

}  // namespace

PdfWriter::PdfWriter(helmkit::app_logging::Logger& log) : m_log(log), m_out(std::make_unique<QPDF>()) {
    auto logger = QPDFLogger::create();
    logger->setInfo(logger->discard());
    logger->setWarn(logger->discard());
    logger->setError(logger->discard());
    m_out->setLogger(logger);
    m_out->setSuppressWarnings(true);
    m_out->emptyPDF();
}

PdfWriter::~PdfWriter() = default;

int PdfWriter::page_count() const { return m_page_count; }

QPDFObjectHandle PdfWriter::copy_object(SourceDocument& document, QPDFObjectHandle object) {
    // qpdf copies indirect objects only; a direct one is given an object number first.
    if (!object.isIndirect()) object = document.qpdf().makeIndirectObject(object);
    return m_out->copyForeignObject(object);
}

QPDFObjectHandle PdfWriter::copy_page_form(SourceDocument& document, std::size_t index,
                                           const Rect& box) {
    QPDFPageObjectHelper page(document.pages().at(index));
    auto resources = page.getAttribute("/Resources", false);
    if (!resources.isDictionary()) resources = QPDFObjectHandle::newDictionary();
    const std::array<double, 4> bbox{box.x, box.y, box.x + box.width, box.y + box.height};
    auto contents = page.getObjectHandle().getKey("/Contents");

    QPDFObjectHandle form;
    if (contents.isStream() && contents.isIndirect()) {
        auto [cached, is_new] = document.copied_forms().try_emplace(contents.getObjGen());
        auto& entry = cached->second;
        if (is_new) {
            // The copy reads the stream, still compressed, from the file when it is written.
            form = m_out->copyForeignObject(contents);
            entry = {bbox, resources.isIndirect() ? resources.getObjGen() : QPDFObjGen(), form};
        } else if (entry.bbox == bbox && resources.isIndirect() &&
                   entry.resources == resources.getObjGen()) {
            return entry.form;
        } else {
            // The same stream drawn with another box or other resources needs its own form.
            auto filter = contents.getDict().getKey("/Filter");
            auto parms = contents.getDict().getKey("/DecodeParms");
            form = QPDFObjectHandle::newStream(m_out.get(), contents.getRawStreamData());
            if (!filter.isNull()) form.getDict().replaceKey("/Filter", copy_object(document, filter));
            if (!parms.isNull()) form.getDict().replaceKey("/DecodeParms", copy_object(document, parms));
        }
    } else {
        // Several content streams become one form: their data, decoded and joined.
        std::string data;
        if (contents.isArray()) {
            Pl_String sink("page contents", nullptr, data);
            page.pipeContents(&sink);
        }
        form = QPDFObjectHandle::newStream(m_out.get(), data);
    }
    auto dict = form.getDict();
    dict.replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
    dict.replaceKey("/Subtype", QPDFObjectHandle::newName("/Form"));
    dict.replaceKey("/FormType", QPDFObjectHandle::newInteger(1));
    dict.replaceKey("/BBox", rectangle(bbox[0], bbox[1], bbox[2], bbox[3]));
    dict.replaceKey("/Resources", copy_object(document, resources));
    auto group = page.getAttribute("/Group", false);
    if (group.isDictionary()) dict.replaceKey("/Group", copy_object(document, group));
    return form;
}

void PdfWriter::merge_transformed_page(OutputPage& sheet, const SourcePage& source,
                                       const Transformation& op) {
    auto& document = *source.document();
    const auto box = source.geometry().cropbox;
    const auto& m = op.matrix();
    // A matrix written as zeros draws nothing: the page would vanish from its cell.
    if (std::all_of(m.begin(), m.begin() + 4, [](double v) { return pdf_number(v) == "0"; })) {
        throw helmkit::Error(fmt::format(
            "page {}: its box of {} by {} points is too large to be scaled into a cell (the scale "
            "{:g} is written as 0)",
            source.index() + 1, pdf_number(box.width), pdf_number(box.height), std::hypot(m[0], m[1])));
    }
    auto form = with_qpdf_errors(document, [&] { return copy_page_form(document, source.index(), box); });
    m_versions.insert(document.qpdf().getPDFVersion());

    const std::string name = "/Fx" + std::to_string(m_next_xobject++);
    auto& state = sheet.state();
    state.contents += "q " + pdf_number(m[0]) + " " + pdf_number(m[1]) + " " + pdf_number(m[2]) +
                      " " + pdf_number(m[3]) + " " + pdf_number(m[4]) + " " + pdf_number(m[5]) +
                      " cm " + name + " Do Q\n";
    state.xobjects.emplace_back(name, form);
}

namespace {

QPDFObjectHandle page_object(QPDF& out, const OutputPage& page) {
    auto& state = page.state();
    if (!state.object.isInitialized()) {
        state.object = out.makeIndirectObject(QPDFObjectHandle::newDictionary());
    }
    return state.object;
}

}  // namespace

void PdfWriter::add_page(const OutputPage& sheet) {
    auto page = page_object(*m_out, sheet);
    auto& state = sheet.state();
    auto xobjects = QPDFObjectHandle::newDictionary();
    for (const auto& [name, form] : state.xobjects) xobjects.replaceKey(name, form);
    auto resources = QPDFObjectHandle::newDictionary();
    resources.replaceKey("/XObject", xobjects);
    page.replaceKey("/Type", QPDFObjectHandle::newName("/Page"));
    page.replaceKey("/MediaBox", rectangle(0, 0, state.width, state.height));
    page.replaceKey("/Resources", resources);
    page.replaceKey("/Contents", QPDFObjectHandle::newStream(m_out.get(), state.contents));
    QPDFPageDocumentHelper(*m_out).addPage(QPDFPageObjectHelper(page), false);
    ++m_page_count;
}

void PdfWriter::add_outline_item(const std::string& title, const OutputPage& sheet) {
    page_object(*m_out, sheet);
    m_outline.push_back({title, sheet});
}

void PdfWriter::write(helmkit::AtomicFile& file) {
    auto root = m_out->getRoot();
    if (!m_outline.empty()) {
        auto outlines = m_out->makeIndirectObject(QPDFObjectHandle::newDictionary());
        outlines.replaceKey("/Type", QPDFObjectHandle::newName("/Outlines"));
        std::vector<QPDFObjectHandle> items;
        for (const auto& entry : m_outline) {
            auto item = m_out->makeIndirectObject(QPDFObjectHandle::newDictionary());
            item.replaceKey("/Title", QPDFObjectHandle::newUnicodeString(entry.title));
            item.replaceKey("/Parent", outlines);
            auto dest = QPDFObjectHandle::newArray();
            dest.appendItem(entry.sheet.state().object);
            dest.appendItem(QPDFObjectHandle::newName("/Fit"));
            item.replaceKey("/Dest", dest);
            if (!items.empty()) {
                item.replaceKey("/Prev", items.back());
                items.back().replaceKey("/Next", item);
            }
            items.push_back(item);
        }
        outlines.replaceKey("/First", items.front());
        outlines.replaceKey("/Last", items.back());
        outlines.replaceKey("/Count", QPDFObjectHandle::newInteger(static_cast<long long>(items.size())));
        root.replaceKey("/Outlines", outlines);
        root.replaceKey("/PageMode", QPDFObjectHandle::newName("/UseOutlines"));
    }

    FileOutput output(file);
    QPDFWriter writer(*m_out);
    writer.setOutputPipeline(&output);
    for (const auto& version : m_versions) writer.setMinimumPDFVersion(version);
    try {
        writer.write();
    } catch (...) {
        log_output_warnings();
        throw;
    }
    output.finish();
    output.check();
    log_output_warnings();
}

void PdfWriter::log_output_warnings() {
    for (const auto& warning : m_out->getWarnings()) {
        // Stream data of the input files is read now, so their damage may show only here.
        const auto& file = warning.getFilename();
        m_log.warning("while writing" + (file.empty() ? std::string() : " " + file) + ": " +
                      describe_qpdf_error(warning));
    }
}

}  // namespace torvane::gridpage
