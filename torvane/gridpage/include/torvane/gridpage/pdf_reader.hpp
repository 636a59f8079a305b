#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "helmkit/base/app_logging.hpp"
#include "torvane/gridpage/layout.hpp"

namespace torvane::gridpage {

class SourceDocument;

// One page of an input document. It keeps its document open, so whatever is taken from it
// stays readable until the merged report has been written.
class SourcePage {
public:
    SourcePage(std::shared_ptr<SourceDocument> document, std::size_t index);

    // Returns the page's /Rotate value as a viewer sees it (inherited from the page tree,
    // 0 when absent or not a number) and its crop box (inherited, falling back to the media
    // box). Throws helmkit::Error naming the page when neither box is a rectangle, or when the
    // page could not be read at all (saying when its data nests too deeply).
    PageGeometry geometry() const;

    const std::shared_ptr<SourceDocument>& document() const { return m_document; }
    std::size_t index() const { return m_index; }

private:
    std::shared_ptr<SourceDocument> m_document;
    std::size_t m_index;
};

// An input PDF, opened for reading. Damage that qpdf can repair and warnings it raises are
// logged at warning level through `log`, prefixed with `name`; nothing reaches the console.
class PdfReader {
public:
    // Opens the PDF at `path` (an empty user password is tried for encrypted files).
    // Throws helmkit::Error with qpdf's reason when the file cannot be opened or its page
    // tree cannot be read (not a PDF, truncated beyond repair, a password needed, a loop).
    PdfReader(const std::string& path, const std::string& name, helmkit::app_logging::Logger& log);
    // Closes the file until the report is written; pages taken from it stay valid.
    ~PdfReader();
    PdfReader(const PdfReader&) = delete;
    PdfReader& operator=(const PdfReader&) = delete;

    // The pages in document order.
    const std::vector<SourcePage>& pages() const { return m_pages; }

private:
    std::shared_ptr<SourceDocument> m_document;
    std::vector<SourcePage> m_pages;
};

}  // namespace torvane::gridpage
