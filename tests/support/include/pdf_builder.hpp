#pragma once

#include <optional>
#include <string>
#include <vector>

namespace torvane_test {

// An image XObject: `data` as it goes into the file, with its /Filter (empty for none).
struct PdfImage {
    int width = 1;
    int height = 1;
    std::string data;
    std::string filter;
};

// One page of a built PDF. Boxes and /Rotate are written as given (PDF syntax), so tests
// can make odd ones; an absent entry is left out of the page dictionary.
struct PdfPage {
    std::optional<std::string> media_box = "0 0 595 842";
    std::optional<std::string> crop_box;
    std::optional<std::string> rotate;
    // Content operators; the font /F1 (Helvetica) and the image /Im0, when given, are in the
    // page's resources.
    std::string content;
    std::optional<PdfImage> image;
};

struct PdfDocument {
    std::vector<PdfPage> pages;
    // Entries written into the root /Pages dictionary, inherited by every page ("/Rotate 90").
    std::string inherited;
};

// Returns the bytes of a PDF 1.4 file holding `document`, with a correct cross-reference table.
std::string build_pdf(const PdfDocument& document);

// Returns the bytes of a PDF file whose object N is `objects[N - 1]` (body text between
// "N 0 obj" and "endobj"), with object 1 as the catalog: for hand-made broken structures.
std::string pdf_file(const std::vector<std::string>& objects);

// Returns the bytes of a stream object body holding `data`, with `entries` in its dictionary.
std::string stream_object(const std::string& entries, const std::string& data);

// Returns content operators that write `text` at (x, y) in /F1 of `size` points.
std::string text_operators(const std::string& text, double x, double y, double size = 24);

// Returns content operators that fill the square of `side` points centred on (x, y) black.
std::string marker_operators(double x, double y, double side = 6);

}  // namespace torvane_test
