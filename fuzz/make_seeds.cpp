// Writes the seed corpus of every fuzz target into <folder>/<target>/, with the project's own
// writers: the tools' configuration templates, the test image writer, libxlsxwriter workbooks
// and hand-made workbook parts, and texts in the forms the readers document.
// Usage: make_seeds <folder> <source folder>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "test_images.hpp"
#include "torvane/chartdoc/template.hpp"
#include "torvane/claimsort/template.hpp"
#include "torvane/dealmatch/template.hpp"
#include "torvane/figdeck/template.hpp"
#include "torvane/gridpage/template.hpp"
#include "workbook_files.hpp"

namespace fs = std::filesystem;

namespace {

class Seeds {
public:
    Seeds(fs::path folder) : m_folder(std::move(folder)) { fs::create_directories(m_folder); }

    void add(const std::string& content) {
        const auto path = m_folder / ("seed" + std::to_string(++m_count));
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        if (!out.flush()) throw std::runtime_error("cannot write " + path.string());
    }

    void add_file(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        if (!in) throw std::runtime_error("cannot read " + path.string());
        add(std::string(std::istreambuf_iterator<char>(in), {}));
    }

    const fs::path& folder() const { return m_folder; }

private:
    fs::path m_folder;
    int m_count = 0;
};

// Workbooks as dealmatch and claimsort get them from Excel-like writers.
void xlsx_seeds(Seeds& seeds) {
    const auto path = seeds.folder() / "written.tmp";
    for (const bool constant_memory : {false, true}) {
        torvane_test::TestWorkbook book(path, constant_memory);
        lxw_worksheet* sheet = book.add_sheet("Orders");
        lxw_format* date = book.number_format("dd.mm.yyyy");
        lxw_format* time = book.number_format_index(22);
        worksheet_write_string(sheet, 0, 0, "PO", nullptr);
        worksheet_write_string(sheet, 0, 1, "Müller & Söhne", nullptr);
        worksheet_write_number(sheet, 1, 0, 4500012, nullptr);
        worksheet_write_number(sheet, 1, 1, 12.5, nullptr);
        worksheet_write_number(sheet, 1, 2, 45296, date);
        worksheet_write_number(sheet, 1, 3, 45296.25, time);
        worksheet_write_boolean(sheet, 2, 0, 1, nullptr);
        worksheet_write_formula_num(sheet, 2, 1, "=B2*2", nullptr, 25);
        worksheet_write_formula_str(sheet, 2, 2, "=A1", nullptr, "PO");
        worksheet_write_string(sheet, 5, 3, "Alpha", nullptr);
        book.add_sheet("Second");
        book.close();
        seeds.add_file(path);
    }
    fs::remove(path);

    // Hand-made parts: sheet data \x01 shared strings \x01 styles \x01 workbook attributes.
    const std::string every_kind =
        "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c></row>"
        "<row r=\"2\"><c r=\"A2\" t=\"inlineStr\"><is><t>inline</t></is></c>"
        "<c r=\"B2\" t=\"inlineStr\"><is><r><t>in</t></r><r><t>line</t></r></is></c></row>"
        "<row r=\"3\"><c r=\"A3\" t=\"e\"><f>1/0</f><v>#DIV/0!</v></c>"
        "<c r=\"B3\" t=\"str\"><f>A1</f><v>text</v></c><c r=\"C3\"><f>SUM(A1:A2)</f></c></row>"
        "<row r=\"4\"><c r=\"A4\" s=\"1\"><v>43896.5</v></c><c r=\"B4\" s=\"2\"><v>43896</v></c>"
        "<c r=\"C4\" t=\"d\"><v>2024-03-07T14:05:09.5</v></c></row>"
        "<row><c><v>1</v></c><c t=\"b\"><v>1</v></c></row>"
        "<row r=\"7\"><c r=\"C7\"><v>2.0</v></c><c><v>1E3</v></c><c r=\"XFD7\"><v>-4</v></c></row>";
    const std::string strings =
        "<si><t>plain</t></si><si><r><rPr><b/></rPr><t>rich</t></r>"
        "<r><t xml:space=\"preserve\"> text</t></r><rPh sb=\"0\" eb=\"1\"><t>PH</t></rPh></si>"
        "<si><t>a_x000D_b</t></si>";
    const std::string styles =
        "<numFmts count=\"1\"><numFmt numFmtId=\"170\" formatCode=\"d-mmm-yy\"/></numFmts>"
        "<cellXfs count=\"3\"><xf numFmtId=\"0\"/><xf numFmtId=\"170\"/><xf numFmtId=\"14\"/>"
        "</cellXfs>";
    seeds.add(every_kind + '\x01' + strings + '\x01' + styles + '\x01' + "date1904=\"1\"");
    seeds.add(every_kind + '\x01' + strings + '\x01' + styles);
    seeds.add("<row r=\"3\"><c r=\"F3\"><v>4500012</v></c><c r=\"O3\"><v>5</v></c></row>");
    // Name cells that spell characters no file name or terminal line should get: NUL, a lone
    // surrogate, terminal escapes, a bidirectional override, and a name of 270 bytes.
    std::string long_name;
    for (int i = 0; i < 90; ++i) long_name += "\xe5\x9b\xb3";
    seeds.add("<row r=\"6\"><c r=\"D6\" t=\"s\"><v>0</v></c><c r=\"E6\" t=\"s\"><v>1</v></c>"
              "<c r=\"F6\" t=\"s\"><v>2</v></c><c r=\"G6\" t=\"inlineStr\"><is><t>" +
              long_name +
              "</t></is></c></row>\x01"
              "<si><t>_x0000_Nul_xD800_</t></si><si><t>_x001B_]2;T_x0007__x001B_[31m</t></si>"
              "<si><t>\xe2\x80\xae" "evil_x0085__x007F_</t></si>");
    seeds.add("<row r=\"-5\"><c><v>1</v></c></row><row r=\"0\"/>");
}

// The old format as written, and with a sheet size beyond any sheet (its DIMENSION record).
void xls_seeds(Seeds& seeds, const fs::path& source) {
    seeds.add_file(source / "tests/fixtures/xls/orders.xls");
    std::ifstream in(source / "tests/fixtures/xls/orders.xls", std::ios::binary);
    std::string bytes(std::istreambuf_iterator<char>(in), {});
    const auto dimension = bytes.find(std::string("\x00\x02\x0e\x00", 4));
    if (dimension == std::string::npos) throw std::runtime_error("orders.xls has no sheet size");
    bytes.replace(dimension + 8, 4, "\xf0\xff\xff\xff");
    seeds.add(bytes);
}

void csv_seeds(Seeds& seeds) {
    seeds.add("PO,QTY,Item,Date\n4500012,5,Bolt,2024-01-15\n4500013,10,\"Nut, M6\",15.01.2024\n");
    seeds.add("\xEF\xBB\xBFPO;QTY;Note\r\n4500012;5;\"two\r\nlines\"\r\n;;\r\n4500014;1,5;\"\"\"q\"\"\"\r\n");
    seeds.add("PO\tQTY\n  4500012 \t 7 \n\n00123\t1e3\n");
    seeds.add("Name,Ort\nM\xFCller,K\xF6ln\n");
    seeds.add("a,\"unterminated\n");
}

void date_seeds(Seeds& seeds) {
    for (const char* text :
         {"2024-01-15", "2024/01/15", "2024.01.15", "2024-01-15T08:30:00", "2024-01-15 08:30",
          "20240115", "01/15/2024", "15/01/2024", "15.01.2024", "15 Jan 2024", "Jan 15, 2024",
          "  September 3, 2023 ", "2024-02-30", "29.02.2000"}) {
        seeds.add(text);
    }
}

void cell_address_seeds(Seeds& seeds) {
    for (const char* text : {"H2", "$d$6", "XFD1048576", "A0", "AA10", "$A$", "ZZZZ1"}) {
        seeds.add(text);
    }
}

void pattern_seeds(Seeds& seeds) {
    seeds.add("report_A1_left.png\x01" "A1\x01report");
    seeds.add("scan-07.jpg\x01*0?\x01scan");
    seeds.add("Übersicht [2].bmp\x01[!a-c]*\x01");
    seeds.add("x.png\x01[a-z\x01");
}

void json_seeds(Seeds& seeds) {
    for (const auto& config :
         {torvane::figdeck::DEFAULT_CONFIG, torvane::gridpage::DEFAULT_CONFIG,
          torvane::chartdoc::DEFAULT_CONFIG,
          torvane::dealmatch::default_cfg_template(),
          torvane::claimsort::DEFAULT_CONFIG}) {
        seeds.add(config.dump(4));
    }
    seeds.add("{\"config\": {\"n\": 1.5e308, \"t\": \"\\u00fc\\ud83d\\ude00\", \"l\": [null, true]}}");
    // Nesting at the bound, just beyond it and far beyond it, in lists and in objects.
    for (const std::size_t depth : {std::size_t{510}, std::size_t{511}, std::size_t{100000}}) {
        seeds.add("{\"config\": {\"unused\": " + std::string(depth, '[') +
                  std::string(depth, ']') + "}}");
    }
    std::string objects = "{\"config\": ";
    for (int i = 0; i < 600; ++i) objects += "{\"a\": ";
    seeds.add(objects + "1" + std::string(601, '}'));
}

void png_seeds(Seeds& seeds) {
    struct Kind {
        int color_type;
        int bit_depth;
        bool interlaced;
    };
    for (const auto& kind : {Kind{0, 1, false}, Kind{0, 16, false}, Kind{2, 8, false},
                             Kind{2, 16, true}, Kind{3, 4, false}, Kind{4, 8, false},
                             Kind{6, 8, true}, Kind{6, 16, false}, Kind{0, 1, true},
                             Kind{3, 4, true}}) {
        torvane_test::PngRecipe recipe;
        recipe.color_type = kind.color_type;
        recipe.bit_depth = kind.bit_depth;
        recipe.interlaced = kind.interlaced;
        if (kind.color_type == 3) recipe.palette = std::string("\x00\x00\x00\xff\x80\x00", 6);
        seeds.add(torvane_test::png_bytes(recipe));
    }
    torvane_test::PngRecipe keyed;
    keyed.transparency = std::string("\x00\x10\x00\x20\x00\x30", 6);
    seeds.add(torvane_test::png_bytes(keyed));
}

void jpeg_seeds(Seeds& seeds) {
    for (const int components : {1, 3, 4}) {
        for (const bool progressive : {false, true}) {
            torvane_test::JpegRecipe recipe;
            recipe.components = components;
            recipe.progressive = progressive;
            seeds.add(torvane_test::jpeg_bytes(recipe));
        }
    }
}

void bmp_seeds(Seeds& seeds) {
    seeds.add(torvane_test::bmp_bytes(5, 3, 24));
    seeds.add(torvane_test::bmp_bytes(4, 4, 32));
}

void markdown_seeds(Seeds& seeds) {
    seeds.add("\xEF\xBB\xBF# Title\n\nSome *emphasis*, **strong** and `code`.\n\n"
              "- one\n- two\n  1. nested\n\n> quote\n");
    seeds.add("| a | b |\n|:--|--:|\n| 1 | 2 |\n| x \\| y | [link](a%20b.html \"t\") |\n");
    seeds.add("```mermaid\ngraph TD; A-->B\n```\n\n<div class=\"x\">raw <b>html</b></div>\n\n"
              "[ref]: http://example.invalid/?a=1&b=2\n\n[ref] and ![img](p.png)\n");
    seeds.add("Setext\n======\n\n    indented code\n\n***\n\n1) item\n\n&amp; &#x41; <auto@x.y>\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: make_seeds <folder> <source folder>\n";
        return 2;
    }
    try {
        const fs::path out = argv[1];
        const fs::path source = argv[2];
        const std::vector<std::pair<const char*, std::function<void(Seeds&)>>> makers{
            {"fuzz_xlsx", xlsx_seeds},
            {"fuzz_xls", [&](Seeds& seeds) { xls_seeds(seeds, source); }},
            {"fuzz_csv", csv_seeds},
            {"fuzz_lenient_date", date_seeds},
            {"fuzz_cell_address", cell_address_seeds},
            {"fuzz_file_pattern", pattern_seeds},
            {"fuzz_json_config", json_seeds},
            {"fuzz_png", png_seeds},
            {"fuzz_jpeg", jpeg_seeds},
            {"fuzz_bmp", bmp_seeds},
            {"fuzz_markdown", markdown_seeds},
        };
        for (const auto& [target, make] : makers) {
            Seeds seeds(out / target);
            make(seeds);
        }
    } catch (const std::exception& error) {
        std::cerr << "make_seeds: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
