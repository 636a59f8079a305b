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
    std::string text = helmkit::cell_text_form(name);
    std::erase_if(text, [](char c) { return k_removed_characters.find(c) != std::string_view::npos; });
    return std::string(helmkit::trim_white_space(text));
}

}  // namespace torvane::claimsort
