#pragma once

// Report folders for the end-to-end tests: images written by the test image writer, a
// configuration file beside them, and the run of `torvane figdeck`.

#include <cctype>
#include <sstream>
#include <string>
#include <vector>

#include "helmkit/base/json.hpp"
#include "pdf_reading.hpp"
#include "test_images.hpp"
#include "test_support.hpp"
#include "torvane/figdeck/template.hpp"

namespace figdeck_test {

namespace fs = std::filesystem;
using nlohmann::ordered_json;

inline void write_png(const fs::path& path, std::uint32_t width, std::uint32_t height,
                      int color_type = 2) {
    torvane_test::PngRecipe recipe;
    recipe.width = width;
    recipe.height = height;
    recipe.color_type = color_type;
    torvane_test::write_file(path, torvane_test::png_bytes(recipe));
}

inline void write_jpeg(const fs::path& path, std::uint32_t width, std::uint32_t height) {
    torvane_test::JpegRecipe recipe;
    recipe.width = width;
    recipe.height = height;
    torvane_test::write_file(path, torvane_test::jpeg_bytes(recipe));
}

// The template configuration with its image folder made absolute under `dir`.
inline ordered_json template_config(const fs::path& dir) {
    auto config = torvane::figdeck::DEFAULT_CONFIG;
    config["config"]["image_folder"] = (dir / "data_figdeck").string();
    return config;
}

inline torvane_test::RunResult run_report(const fs::path& dir, const ordered_json& config) {
    torvane_test::write_file(dir / "report.json", config.dump(2));
    return torvane_test::run_torvane({"figdeck", "-c", "report.json"}, dir);
}

// The filtered content stream of page `page` (1-based), through qpdf.
inline std::string page_content(const fs::path& pdf, int page) {
    const auto pages = run_tool("qpdf", {"--show-pages", pdf.string()}, pdf.parent_path());
    // "page 1: 3 0 R" then "  content:" and "    5 0 R" lines.
    const auto lines = torvane_test::lines_of(pages.out);
    std::string content;
    int current = 0;
    bool in_content = false;
    for (const auto& line : lines) {
        if (line.rfind("page ", 0) == 0) {
            current = std::stoi(line.substr(5));
            in_content = false;
        } else if (line.find("content:") != std::string::npos) {
            in_content = true;
        } else if (in_content && current == page) {
            const auto ref = line.substr(line.find_first_not_of(' '));
            const auto object = ref.substr(0, ref.find(' '));
            const auto stream = run_tool(
                "qpdf", {"--show-object=" + object, "--filtered-stream-data", pdf.string()},
                pdf.parent_path());
            content += stream.out;
        }
    }
    return content;
}

// A horizontal line of a content stream, in millimetres from the top-left corner.
struct StrokedLine {
    double x1 = 0;
    double x2 = 0;
    double y = 0;
    double grey = -1;  // the stroke colour when it is a grey level, in 0..255
};

inline std::vector<StrokedLine> horizontal_lines(const std::string& content) {
    std::vector<StrokedLine> lines;
    std::istringstream in(content);
    std::vector<std::string> operands;
    double grey = -1;
    double x1 = 0;
    double y1 = 0;
    std::string token;
    while (in >> token) {
        if (token == "RG" && operands.size() >= 3) {
            const auto n = operands.size();
            grey = operands[n - 3] == operands[n - 2] && operands[n - 2] == operands[n - 1]
                       ? std::stod(operands[n - 1]) * 255
                       : -1;
        } else if (token == "m" && operands.size() >= 2) {
            x1 = std::stod(operands[operands.size() - 2]);
            y1 = std::stod(operands.back());
        } else if (token == "l" && operands.size() >= 2) {
            const double x2 = std::stod(operands[operands.size() - 2]);
            const double y2 = std::stod(operands.back());
            if (y1 == y2) {
                lines.push_back({x1 * k_mm_per_point, x2 * k_mm_per_point,
                                 297 - y1 * k_mm_per_point, grey});
            }
        }
        if (token.empty() || std::isalpha(static_cast<unsigned char>(token[0])) || token[0] == '/') {
            operands.clear();
        } else {
            operands.push_back(token);
        }
    }
    return lines;
}

// A drawn image box ("w 0 0 h x y cm" before "Do"), in millimetres from the top-left corner.
struct ImageBox {
    double x = 0;
    double y = 0;
    double w = 0;
    double h = 0;
};

inline std::vector<ImageBox> image_boxes(const std::string& content) {
    std::vector<ImageBox> boxes;
    std::istringstream in(content);
    std::vector<std::string> operands;
    std::string token;
    while (in >> token) {
        if (token == "cm" && operands.size() >= 6) {
            const auto n = operands.size();
            const double w = std::stod(operands[n - 6]) * k_mm_per_point;
            const double h = std::stod(operands[n - 3]) * k_mm_per_point;
            const double x = std::stod(operands[n - 2]) * k_mm_per_point;
            const double bottom = std::stod(operands[n - 1]) * k_mm_per_point;
            boxes.push_back({x, 297 - bottom - h, w, h});
        }
        if (std::isalpha(static_cast<unsigned char>(token[0])) || token[0] == '/') {
            operands.clear();
        } else {
            operands.push_back(token);
        }
    }
    return boxes;
}

}  // namespace figdeck_test
