#include "pdf_builder.hpp"

#include <cstdio>
#include <string_view>

namespace torvane_test {

namespace {

std::string number(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.4f", value);
    return buffer;
}

std::string pdf_text_literal(const std::string& text) {
    std::string out = "(";
    for (char c : text) {
        if (c == '(' || c == ')' || c == '\\') out += '\\';
        out += c;
    }
    return out + ")";
}

class ObjectTable {
public:
    int reserve() { m_bodies.emplace_back(); return static_cast<int>(m_bodies.size()); }
    void set(int id, std::string body) { m_bodies[static_cast<std::size_t>(id - 1)] = std::move(body); }
    int add(std::string body) {
        const int id = reserve();
        set(id, std::move(body));
        return id;
    }

    std::string file(int root) const {
        std::string out = "%PDF-1.4\n%\xe2\xe3\xcf\xd3\n";
        std::vector<std::size_t> offsets;
        for (std::size_t i = 0; i < m_bodies.size(); ++i) {
            offsets.push_back(out.size());
            out += std::to_string(i + 1) + " 0 obj\n" + m_bodies[i] + "\nendobj\n";
        }
        const auto xref = out.size();
        out += "xref\n0 " + std::to_string(m_bodies.size() + 1) + "\n0000000000 65535 f \n";
        for (const auto offset : offsets) {
            char line[32];
            std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
            out += line;
        }
        out += "trailer\n<< /Size " + std::to_string(m_bodies.size() + 1) + " /Root " +
               std::to_string(root) + " 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
        return out;
    }

private:
    std::vector<std::string> m_bodies;
};

}  // namespace

std::string stream_object(const std::string& entries, const std::string& data) {
    return "<< " + entries + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data +
           "\nendstream";
}

std::string pdf_file(const std::vector<std::string>& objects) {
    ObjectTable table;
    for (const auto& body : objects) table.add(body);
    return table.file(1);
}

std::string build_pdf(const PdfDocument& document) {
    ObjectTable objects;
    const int catalog = objects.reserve();
    const int pages = objects.reserve();
    const int font =
        objects.add("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
    std::string kids;
    for (const auto& page : document.pages) {
        std::string resources = "<< /Font << /F1 " + std::to_string(font) + " 0 R >>";
        if (page.image) {
            const auto& image = *page.image;
            std::string entries = "/Type /XObject /Subtype /Image /Width " +
                                  std::to_string(image.width) + " /Height " +
                                  std::to_string(image.height) +
                                  " /ColorSpace /DeviceRGB /BitsPerComponent 8";
            if (!image.filter.empty()) entries += " /Filter " + image.filter;
            const int id = objects.add(stream_object(entries, image.data));
            resources += " /XObject << /Im0 " + std::to_string(id) + " 0 R >>";
        }
        resources += " >>";
        const int contents = objects.add(stream_object("", page.content));
        std::string dict = "<< /Type /Page /Parent " + std::to_string(pages) + " 0 R";
        if (page.media_box) dict += " /MediaBox [" + *page.media_box + "]";
        if (page.crop_box) dict += " /CropBox [" + *page.crop_box + "]";
        if (page.rotate) dict += " /Rotate " + *page.rotate;
        dict += " /Resources " + resources + " /Contents " + std::to_string(contents) + " 0 R >>";
        kids += std::to_string(objects.add(dict)) + " 0 R ";
    }
    objects.set(pages, "<< /Type /Pages /Kids [" + kids + "] /Count " +
                           std::to_string(document.pages.size()) + " " + document.inherited +
                           " >>");
    objects.set(catalog, "<< /Type /Catalog /Pages " + std::to_string(pages) + " 0 R >>");
    return objects.file(catalog);
}

std::string text_operators(const std::string& text, double x, double y, double size) {
    return "BT /F1 " + number(size) + " Tf " + number(x) + " " + number(y) + " Td " +
           pdf_text_literal(text) + " Tj ET\n";
}

std::string marker_operators(double x, double y, double side) {
    return "0 0 0 rg " + number(x - side / 2) + " " + number(y - side / 2) + " " + number(side) +
           " " + number(side) + " re f\n";
}

}  // namespace torvane_test
