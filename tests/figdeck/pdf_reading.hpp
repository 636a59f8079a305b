#pragma once

// Reading a written PDF back with outside tools (poppler-utils, qpdf), so that the tests
// check the file a reader sees rather than what the program meant to write.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "helmkit/base/child_process.hpp"
#include "helmkit/base/json.hpp"
#include "test_support.hpp"

namespace figdeck_test {

namespace fs = std::filesystem;

constexpr double k_mm_per_point = 25.4 / 72.0;

// Runs an outside checking tool (poppler-utils, qpdf: scripts/install_deps.sh installs them).
inline torvane_test::RunResult run_tool(const std::string& name,
                                        const std::vector<std::string>& args,
                                        const fs::path& cwd) {
    const auto program = helmkit::find_program(name);
    if (!program) {
        ADD_FAILURE() << name << " is not installed; scripts/install_deps.sh installs it";
        return {};
    }
    return torvane_test::run_program(*program, args, cwd);
}

// One word as pdftotext places it, in millimetres from the page's top-left corner.
struct Word {
    int page = 0;  // 1-based
    double x_min = 0;
    double y_min = 0;
    double x_max = 0;
    double y_max = 0;
    std::string text;
};

inline std::string unescape_html(std::string text) {
    const std::vector<std::pair<std::string, std::string>> entities{
        {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&#39;", "'"}, {"&amp;", "&"}};
    for (const auto& [entity, plain] : entities) {
        for (auto at = text.find(entity); at != std::string::npos; at = text.find(entity, at + 1)) {
            text.replace(at, entity.size(), plain);
        }
    }
    return text;
}

inline std::vector<Word> pdf_words(const fs::path& pdf) {
    const auto result = run_tool("pdftotext", {"-bbox", pdf.string(), "-"},
                                                  pdf.parent_path());
    EXPECT_EQ(result.status, 0) << result.err;
    std::vector<Word> words;
    int page = 0;
    const std::regex word_tag(
        R"re(<word xMin="([0-9.]+)" yMin="([0-9.]+)" xMax="([0-9.]+)" yMax="([0-9.]+)">(.*)</word>)re");
    for (const auto& line : torvane_test::lines_of(result.out)) {
        if (line.find("<page ") != std::string::npos) ++page;
        std::smatch match;
        if (std::regex_search(line, match, word_tag)) {
            words.push_back({page, std::stod(match[1]) * k_mm_per_point,
                             std::stod(match[2]) * k_mm_per_point,
                             std::stod(match[3]) * k_mm_per_point,
                             std::stod(match[4]) * k_mm_per_point, unescape_html(match[5])});
        }
    }
    return words;
}

// The words of one page joined by blanks, in pdftotext's reading order.
inline std::string page_text(const std::vector<Word>& words, int page) {
    std::string text;
    for (const auto& word : words) {
        if (word.page != page) continue;
        if (!text.empty()) text += ' ';
        text += word.text;
    }
    return text;
}

// The lines of a page: words of about the same top, left to right, lines top to bottom.
inline std::vector<std::string> text_lines(std::vector<Word> words, int page) {
    std::erase_if(words, [&](const Word& word) { return word.page != page; });
    std::stable_sort(words.begin(), words.end(), [](const Word& a, const Word& b) {
        if (std::abs(a.y_min - b.y_min) > 0.5) return a.y_min < b.y_min;
        return a.x_min < b.x_min;
    });
    std::vector<std::string> lines;
    double line_y = -100;
    for (const auto& word : words) {
        if (std::abs(word.y_min - line_y) > 0.5) {
            lines.emplace_back();
            line_y = word.y_min;
        } else {
            lines.back() += ' ';
        }
        lines.back() += word.text;
    }
    return lines;
}

// The first word with this text on this page (page 0: any page); fails the test when none.
inline Word find_word(const std::vector<Word>& words, const std::string& text, int page = 0) {
    for (const auto& word : words) {
        if (word.text == text && (page == 0 || word.page == page)) return word;
    }
    ADD_FAILURE() << "no word '" << text << "' on page " << page;
    return {};
}

inline int page_count(const fs::path& pdf) {
    const auto result =
        run_tool("qpdf", {"--show-npages", pdf.string()}, pdf.parent_path());
    EXPECT_EQ(result.status, 0) << result.err;
    return result.status == 0 ? std::stoi(result.out) : -1;
}

// One row of `pdfimages -list`.
struct ImageRow {
    int page = 0;
    std::string type;  // "image" or "smask"
    int width = 0;
    int height = 0;
    std::string color;  // "gray", "rgb", "cmyk", "index"
    int bpc = 0;
    std::string encoding;  // "jpeg", "image", ...
    int object = 0;
    int x_ppi = 0;  // resolution of the image as drawn, pixels per inch
    int y_ppi = 0;
};

inline std::vector<ImageRow> pdf_images(const fs::path& pdf) {
    const auto result =
        run_tool("pdfimages", {"-list", pdf.string()}, pdf.parent_path());
    EXPECT_EQ(result.status, 0) << result.err;
    std::vector<ImageRow> rows;
    const auto lines = torvane_test::lines_of(result.out);
    for (std::size_t i = 2; i < lines.size(); ++i) {
        std::istringstream in(lines[i]);
        ImageRow row;
        int number = 0;
        int components = 0;
        std::string interpolate;
        int generation = 0;
        in >> row.page >> number >> row.type >> row.width >> row.height >> row.color >>
            components >> row.bpc >> row.encoding >> interpolate >> row.object >> generation >>
            row.x_ppi >> row.y_ppi;
        if (in) rows.push_back(row);
    }
    return rows;
}

inline nlohmann::json qpdf_json(const fs::path& pdf) {
    const auto result = run_tool("qpdf", {"--json", pdf.string()}, pdf.parent_path());
    EXPECT_EQ(result.status, 0) << result.err;
    return nlohmann::json::parse(result.out);
}

// What a reader finds when it checks the file: qpdf's structural check must pass cleanly
// and pdftotext must read it without a warning.
inline void expect_clean_pdf(const fs::path& pdf) {
    const auto check = run_tool("qpdf", {"--check", pdf.string()}, pdf.parent_path());
    EXPECT_EQ(check.status, 0) << check.out << check.err;
    const auto text = run_tool("pdftotext", {pdf.string(), "-"}, pdf.parent_path());
    EXPECT_EQ(text.status, 0);
    EXPECT_EQ(text.err, "") << "pdftotext complained about " << pdf;
}

// A link annotation of a page and where its destination points.
struct LinkInfo {
    int page = 0;
    double x_min = 0;  // mm from the top-left corner
    double y_min = 0;
    double x_max = 0;
    double y_max = 0;
    int target_page = 0;
    double target_y = 0;  // mm from the top
};

// One bookmark of the outline, where it leads, in order.
struct OutlineEntry {
    std::string title;
    int target_page = 0;
    double target_y = 0;  // mm from the top
    std::size_t kids = 0;
};

inline std::vector<OutlineEntry> pdf_outline(const fs::path& pdf) {
    const auto json = qpdf_json(pdf);
    std::vector<OutlineEntry> entries;
    for (const auto& outline : json["outlines"]) {
        OutlineEntry entry;
        entry.title = outline["title"].get<std::string>();
        entry.target_page = outline["destpageposfrom1"].get<int>();
        EXPECT_EQ(outline["dest"][1], "/XYZ");
        entry.target_y = 297 - outline["dest"][3].get<double>() * k_mm_per_point;
        entry.kids = outline["kids"].size();
        entries.push_back(entry);
    }
    return entries;
}

inline std::vector<LinkInfo> pdf_links(const fs::path& pdf) {
    const auto json = qpdf_json(pdf);
    const auto& objects = json["qpdf"][1];
    std::vector<std::string> page_refs;
    for (const auto& page : json["pages"]) page_refs.push_back(page["object"].get<std::string>());
    auto page_of = [&](const std::string& ref) {
        for (std::size_t i = 0; i < page_refs.size(); ++i) {
            if (page_refs[i] == ref) return static_cast<int>(i + 1);
        }
        return 0;
    };
    auto object = [&](const nlohmann::json& value) -> nlohmann::json {
        if (value.is_string()) {
            const auto key = "obj:" + value.get<std::string>();
            if (objects.contains(key)) {
                const auto& found = objects[key];
                return found.contains("value") ? found["value"] : found["stream"]["dict"];
            }
        }
        return value;
    };
    std::vector<LinkInfo> links;
    for (std::size_t p = 0; p < page_refs.size(); ++p) {
        const auto page = object(page_refs[p]);
        if (!page.contains("/Annots")) continue;
        for (const auto& ref : object(page["/Annots"])) {
            const auto annotation = object(ref);
            if (annotation.value("/Subtype", "") != "/Link") continue;
            LinkInfo link;
            link.page = static_cast<int>(p + 1);
            const auto rect = annotation["/Rect"];
            link.x_min = rect[0].get<double>() * k_mm_per_point;
            link.y_max = 297 - rect[1].get<double>() * k_mm_per_point;
            link.x_max = rect[2].get<double>() * k_mm_per_point;
            link.y_min = 297 - rect[3].get<double>() * k_mm_per_point;
            const auto destination = object(annotation["/Dest"]);
            link.target_page = page_of(destination[0].get<std::string>());
            EXPECT_EQ(destination[1], "/XYZ");
            link.target_y = 297 - destination[3].get<double>() * k_mm_per_point;
            links.push_back(link);
        }
    }
    return links;
}

}  // namespace figdeck_test
