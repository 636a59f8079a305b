#include "torvane/claimsort/cell_reading.hpp"

#include <algorithm>
#include <exception>
#include <string_view>

#include "claimsort_log.hpp"
#include "helmkit/text/cell_text.hpp"
#include "helmkit/base/error.hpp"
#include "helmkit/text/utf8.hpp"
#include "helmkit/workbook/xlsx_reader.hpp"
#include "torvane/claimsort/command.hpp"

namespace torvane::claimsort {

namespace {

constexpr std::string_view k_removed_characters = "\\/*?:\"<>|";

// Stands for the bytes that belong to no well-formed UTF-8 sequence (a lone surrogate that a
// cell escape such as _xD800_ spelt): no character has this value.
constexpr char32_t k_ill_formed = 0x110000;

// Characters that would reach the operator's terminal as commands (C0 and C1 controls, DEL),
// make the name display in another order (bidirectional embeddings, overrides, isolates), or
// are no character at all.
bool is_unsafe(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069) || c == k_ill_formed;
}

}  // namespace

std::vector<helmkit::CellValue> get_excel_cell_value(const std::string& file_path,
                                                     const std::vector<std::string>& cell_locations) {
    try {
        if (!HAS_OPENPYXL) {
            throw helmkit::Error("workbook reading is not built into this claimsort");
        }
        std::vector<helmkit::CellAddress> cells;
        cells.reserve(cell_locations.size());
        for (const auto& location : cell_locations) {
            cells.push_back(helmkit::parse_cell_address(location));
        }
        helmkit::XlsxReader workbook(file_path);
        return workbook.read_cells(cells);
    } catch (const std::exception& error) {
        logger().error("Error reading excel " + file_path + ": " + error.what());
    }
    return std::vector<helmkit::CellValue>(cell_locations.size());
}

std::string sanitize_filename(const helmkit::CellValue& name) {
    if (helmkit::is_missing(name)) return "Unknown";
    auto text = helmkit::decode_utf8(helmkit::cell_text_form(name), k_ill_formed);
    std::erase_if(text, [](char32_t c) {
        return is_unsafe(c) || (c < 0x80 && k_removed_characters.find(static_cast<char>(c)) !=
                                                std::string_view::npos);
    });
    return std::string(helmkit::trim_white_space(helmkit::encode_utf8(text)));
}

}  // namespace torvane::claimsort
