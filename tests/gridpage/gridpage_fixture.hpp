#pragma once

// Helpers of the gridpage tests: sample inputs, running the merge, and reading the merged
// report back with outside tools (qpdf --json, pdftoppm, pdftotext).

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "helmkit/base/json.hpp"
#include "pdf_builder.hpp"
#include "test_support.hpp"

namespace gridpage_test {

using namespace torvane_test;

// A document of `count` A4 pages, each showing "<label> <n>" large enough to find again.
inline std::string labelled_pdf(const std::string& label, int count,
                                const std::string& media_box = "0 0 595 842") {
    PdfDocument document;
    for (int i = 1; i <= count; ++i) {
        PdfPage page;
        page.media_box = media_box;
        page.content = text_operators(label + " " + std::to_string(i), 60, 300, 60);
        document.pages.push_back(page);
    }
    return build_pdf(document);
}

// Writes a configuration file "merge.json" into `dir` holding {"config": section}.
inline void write_config(const TempDir& dir, const nlohmann::ordered_json& section) {
    write_file(dir / "merge.json", nlohmann::ordered_json{{"config", section}}.dump());
}

inline RunResult run_merge(const TempDir& dir, bool debug = false) {
    std::map<std::string, std::string> env;
    if (debug) env["TORVANE_LOG_LEVEL"] = "debug";
    return run_torvane({"gridpage", "-c", "merge.json"}, dir.path(), env);
}

// The structure of a PDF as `qpdf --json` reports it.
inline nlohmann::json qpdf_json(const fs::path& pdf) {
    const auto result = run_program("/usr/bin/qpdf", {"--json", pdf.string()}, pdf.parent_path());
    if (result.status != 0 && result.status != 3) {
        ADD_FAILURE() << "qpdf --json failed on " << pdf << ": " << result.err;
        return nlohmann::json::object();
    }
    return nlohmann::json::parse(result.out);
}

// The titles and 1-based sheet numbers of the report's top-level outline entries.
inline std::vector<std::pair<std::string, int>> outline_of(const nlohmann::json& report) {
    std::vector<std::pair<std::string, int>> entries;
    for (const auto& item : report["outlines"]) {
        entries.emplace_back(item["title"].get<std::string>(),
                             item["destpageposfrom1"].is_number() ? item["destpageposfrom1"].get<int>()
                                                                   : -1);
    }
    return entries;
}

// The text pdftotext finds on sheet `page` (1-based), in reading order.
inline std::string sheet_text(const fs::path& pdf, int page) {
    const auto n = std::to_string(page);
    const auto result = run_program("/usr/bin/pdftotext",
                                    {"-f", n, "-l", n, "-layout", pdf.string(), "-"},
                                    pdf.parent_path());
    EXPECT_EQ(result.status, 0) << result.err;
    return result.out;
}

// What poppler reports on standard error while reading every page of `pdf`; empty for a file
// a viewer opens without complaint.
inline std::string viewer_complaints(const fs::path& pdf) {
    const auto result =
        run_program("/usr/bin/pdftotext", {pdf.string(), "/dev/null"}, pdf.parent_path());
    return result.status == 0 ? result.err : "exit status " + std::to_string(result.status) + ": " + result.err;
}

// A grey-scale rendering of one sheet at 72 dpi, so a pixel is a point; row 0 is the top.
struct GreyImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;

    std::uint8_t at(int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
};

inline GreyImage render_sheet(const fs::path& pdf, int page) {
    const auto n = std::to_string(page);
    const auto prefix = pdf.parent_path() / ("render-" + n);
    const auto result = run_program(
        "/usr/bin/pdftoppm",
        {"-r", "72", "-gray", "-f", n, "-l", n, "-singlefile", pdf.string(), prefix.string()},
        pdf.parent_path());
    EXPECT_EQ(result.status, 0) << result.err;
    const auto data = read_file(prefix.string() + ".pgm");
    GreyImage image;
    int maxval = 0;
    int consumed = 0;
    if (std::sscanf(data.c_str(), "P5 %d %d %d%n", &image.width, &image.height, &maxval,
                    &consumed) != 3) {
        ADD_FAILURE() << "not a PGM rendering";
        return image;
    }
    const auto start = static_cast<std::size_t>(consumed) + 1;
    image.pixels.assign(data.begin() + static_cast<std::ptrdiff_t>(start), data.end());
    return image;
}

// Centre (in sheet points, y upwards) and count of the pixels darker than mid-grey.
struct DarkSpot {
    double x = 0;
    double y = 0;
    int count = 0;
};

inline DarkSpot dark_spot(const GreyImage& image) {
    DarkSpot spot;
    double sum_x = 0;
    double sum_y = 0;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            if (image.at(x, y) < 128) {
                sum_x += x + 0.5;
                sum_y += y + 0.5;
                ++spot.count;
            }
        }
    }
    if (spot.count > 0) {
        spot.x = sum_x / spot.count;
        spot.y = image.height - sum_y / spot.count;
    }
    return spot;
}

// The content operators of sheet `page` (1-based), decoded.
inline std::string sheet_contents(const fs::path& pdf, int page) {
    const auto report = qpdf_json(pdf);
    const auto& contents = report["pages"][static_cast<std::size_t>(page - 1)]["contents"];
    std::string operators;
    for (const auto& ref : contents) {
        const auto id = ref.get<std::string>();
        const auto result = run_program(
            "/usr/bin/qpdf",
            {"--show-object=" + id.substr(0, id.find(' ')), "--filtered-stream-data", pdf.string()},
            pdf.parent_path());
        operators += result.out;
    }
    return operators;
}

// How often `needle` occurs in `text`.
inline int count_of(const std::string& text, const std::string& needle) {
    int count = 0;
    for (auto at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
        ++count;
    }
    return count;
}

}  // namespace gridpage_test
