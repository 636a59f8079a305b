#include <xlsxwriter.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <fmt/format.h>
#include <string_view>

#include "helmkit/files/atomic_file.hpp"
#include "helmkit/text/cell_text.hpp"
#include "helmkit/base/error.hpp"
#include "helmkit/workbook/excel_tools.hpp"

namespace helmkit::excelTools {

namespace {

constexpr double k_min_width = 8;
constexpr double k_max_width = 60;
constexpr lxw_color_t k_header_fill = 0xDDEBF7;
constexpr lxw_color_t k_highlight_fill = 0xFFEB9C;

// Owns a libxlsxwriter workbook until it is closed (written) or dropped.
class Workbook {
public:
    explicit Workbook(const std::filesystem::path& path) {
        lxw_workbook_options options{};
        // Rows go to a temporary file as they are written, so a large sheet needs little memory.
        options.constant_memory = LXW_TRUE;
        m_workbook = workbook_new_opt(path.c_str(), &options);
        if (m_workbook == nullptr) throw Error("cannot start the workbook");
    }
    ~Workbook() {
        if (m_workbook != nullptr) lxw_workbook_free(m_workbook);
    }
    Workbook(const Workbook&) = delete;
    Workbook& operator=(const Workbook&) = delete;

    lxw_workbook* get() { return m_workbook; }

    void close() {
        const lxw_error error = workbook_close(m_workbook);
        m_workbook = nullptr;
        if (error != LXW_NO_ERROR) throw Error(lxw_strerror(error));
    }

private:
    lxw_workbook* m_workbook = nullptr;
};

struct Formats {
    lxw_format* header;
    lxw_format* date;
    lxw_format* date_time;
    lxw_format* highlight;
};

std::string column_name(std::size_t column) {
    std::string name;
    for (std::size_t n = column + 1; n > 0; n = (n - 1) / 26) {
        name.insert(name.begin(), static_cast<char>('A' + (n - 1) % 26));
    }
    return name;
}

// A "%Y-%m-%d" text of a day Excel can hold, as a date to write.
bool iso_date_of(const std::string& text, lxw_datetime& date) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
    int parts[3] = {0, 0, 0};
    for (const std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
        if (text[i] < '0' || text[i] > '9') return false;
        int& part = parts[i < 4 ? 0 : (i < 7 ? 1 : 2)];
        part = part * 10 + (text[i] - '0');
    }
    const std::chrono::year_month_day ymd{std::chrono::year{parts[0]},
                                          std::chrono::month{static_cast<unsigned>(parts[1])},
                                          std::chrono::day{static_cast<unsigned>(parts[2])}};
    if (!ymd.ok() || parts[0] < 1900) return false;
    date = {parts[0], parts[1], parts[2], 0, 0, 0};
    return true;
}

std::size_t code_points(std::string_view text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

// Characters the cell shows, to fit the column to.
std::size_t shown_width(const CellValue& value) {
    switch (value.index()) {
        case 1: return fmt::formatted_size("{}", std::get<std::int64_t>(value));
        case 2: return std::min<std::size_t>(fmt::formatted_size("{}", std::get<double>(value)), 12);
        case 3: {
            const auto& text = std::get<std::string>(value);
            lxw_datetime date{};
            return iso_date_of(text, date) ? 10 : code_points(text);
        }
        case 4: return 5;
        case 5: return 19;
        default: return 0;
    }
}

// The form of `text` that the sheet holds and readers decode back to `text`: a NUL byte,
// which the library's C strings cannot carry, and U+FFFE and U+FFFF, which XML may not hold,
// become "_x0000_", "_xFFFE_" and "_xFFFF_", and the underscore that starts a literal
// "_xHHHH_" becomes "_x005F_" so that it is not read as an escape. The library escapes the
// other control characters itself.
bool needs_escapes(std::string_view text) {
    return text.find('\0') != std::string_view::npos || text.find("_x") != std::string_view::npos ||
           text.find("\xEF\xBF\xBE") != std::string_view::npos ||
           text.find("\xEF\xBF\xBF") != std::string_view::npos;
}

bool is_escape_at(std::string_view text, std::size_t i) {
    if (i + 6 >= text.size() || text[i] != '_' || text[i + 1] != 'x' || text[i + 6] != '_') {
        return false;
    }
    return std::all_of(text.begin() + static_cast<std::ptrdiff_t>(i) + 2,
                       text.begin() + static_cast<std::ptrdiff_t>(i) + 6,
                       [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; });
}

std::string escaped_text(std::string_view text) {
    std::string result;
    result.reserve(text.size() + 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\0') {
            result += "_x0000_";
        } else if (is_escape_at(text, i)) {
            result += "_x005F_";
        } else if (text.substr(i, 2) == "\xEF\xBF" && i + 2 < text.size() &&
                   (text[i + 2] == '\xBE' || text[i + 2] == '\xBF')) {
            result += text[i + 2] == '\xBE' ? "_xFFFE_" : "_xFFFF_";
            i += 2;
        } else {
            result += text[i];
        }
    }
    return result;
}

// Writes `text` as a string cell in its sheet form.
lxw_error write_text(lxw_worksheet* sheet, lxw_row_t row, lxw_col_t column,
                     const std::string& text, lxw_format* format) {
    if (needs_escapes(text)) {
        return worksheet_write_string(sheet, row, column, escaped_text(text).c_str(), format);
    }
    return worksheet_write_string(sheet, row, column, text.c_str(), format);
}

void check(lxw_error error, const std::string& sheet, std::size_t row, std::size_t column) {
    if (error != LXW_NO_ERROR) {
        throw Error("sheet '" + sheet + "' cell " + column_name(column) + std::to_string(row + 1) +
                    ": " + lxw_strerror(error));
    }
}

void write_cell(lxw_worksheet* sheet, const Formats& formats, lxw_row_t row, lxw_col_t column,
                const CellValue& value, const std::string& sheet_name) {
    lxw_error error = LXW_NO_ERROR;
    switch (value.index()) {
        case 1:
            error = worksheet_write_number(sheet, row, column,
                                           static_cast<double>(std::get<std::int64_t>(value)),
                                           nullptr);
            break;
        case 2:
            if (std::isfinite(std::get<double>(value))) {
                error = worksheet_write_number(sheet, row, column, std::get<double>(value), nullptr);
            }
            break;
        case 3: {
            const auto& text = std::get<std::string>(value);
            lxw_datetime date{};
            if (iso_date_of(text, date)) {
                error = worksheet_write_datetime(sheet, row, column, &date, formats.date);
            } else {
                error = write_text(sheet, row, column, text, nullptr);
            }
            break;
        }
        case 4:
            error = worksheet_write_boolean(sheet, row, column, std::get<bool>(value), nullptr);
            break;
        case 5: {
            const auto time = std::get<DateTime>(value).time_since_epoch();
            const auto days = std::chrono::floor<std::chrono::days>(time);
            const std::chrono::year_month_day ymd{std::chrono::sys_days{days}};
            const std::chrono::hh_mm_ss clock{
                std::chrono::duration_cast<std::chrono::duration<double>>(time - days)};
            lxw_datetime date{static_cast<int>(ymd.year()),
                              static_cast<int>(static_cast<unsigned>(ymd.month())),
                              static_cast<int>(static_cast<unsigned>(ymd.day())),
                              static_cast<int>(clock.hours().count()),
                              static_cast<int>(clock.minutes().count()),
                              static_cast<double>(clock.seconds().count()) +
                                  clock.subseconds().count()};
            if (date.year < 1900) {
                error = worksheet_write_string(sheet, row, column, cell_to_text(value).c_str(),
                                               nullptr);
            } else {
                const bool midnight = time == days;
                error = worksheet_write_datetime(sheet, row, column, &date,
                                                 midnight ? formats.date : formats.date_time);
            }
            break;
        }
        default: break;
    }
    check(error, sheet_name, row, column);
}

// Columns a block takes: the row labels (when written) and the table's columns.
std::size_t block_width(const SheetBlock& block) {
    return (block.index ? 1 : 0) + block.df->column_count();
}

// A column chart of the block's rows over its columns, placed right of the block.
void add_chart(lxw_workbook* workbook, lxw_worksheet* sheet, const std::string& sheet_name,
               const SheetBlock& block) {
    const Table& table = *block.df;
    if (table.empty()) return;
    lxw_chart* chart = workbook_add_chart(workbook, LXW_CHART_COLUMN);
    if (chart == nullptr) throw Error("cannot add a chart to the sheet '" + sheet_name + "'");
    const auto first_column = static_cast<lxw_col_t>(block.startcol + (block.index ? 1 : 0));
    const auto last_column = static_cast<lxw_col_t>(first_column + table.column_count() - 1);
    for (std::size_t row = 1; row <= table.row_count(); ++row) {
        lxw_chart_series* series = chart_add_series(chart, nullptr, nullptr);
        if (series == nullptr) throw Error("cannot add a chart series to the sheet '" + sheet_name + "'");
        chart_series_set_categories(series, sheet_name.c_str(), 0, first_column, 0, last_column);
        const auto sheet_row = static_cast<lxw_row_t>(row);
        chart_series_set_values(series, sheet_name.c_str(), sheet_row, first_column, sheet_row,
                                last_column);
        if (block.index && !table.row_labels().empty()) {
            chart_series_set_name_range(series, sheet_name.c_str(), sheet_row,
                                        static_cast<lxw_col_t>(block.startcol));
        }
    }
    if (!block.chart_title.empty()) chart_title_set_name(chart, block.chart_title.c_str());
    check(worksheet_insert_chart(sheet, 0, static_cast<lxw_col_t>(block.startcol + block_width(block) + 1),
                                 chart),
          sheet_name, 0, block.startcol + block_width(block) + 1);
}

// Fills the block's rows whose two compared cells differ. A conditional format rather than cell
// formats: the cells keep their own formats, and the fill follows edits made in the sheet.
void highlight_differing_rows(lxw_worksheet* sheet, const Formats& formats, const std::string& name,
                              const SheetBlock& block) {
    const Table& table = *block.df;
    const auto [first, second] = *block.highlight_differing;
    if (table.row_count() == 0 || first >= table.column_count() || second >= table.column_count()) {
        throw Error("sheet '" + name + "' highlights a column its table does not have");
    }
    const std::size_t offset = block.startcol + (block.index ? 1 : 0);
    const std::string formula =
        "=$" + column_name(offset + first) + "2<>$" + column_name(offset + second) + "2";
    lxw_conditional_format condition{};
    condition.type = LXW_CONDITIONAL_TYPE_FORMULA;
    condition.value_string = const_cast<char*>(formula.c_str());
    condition.format = formats.highlight;
    check(worksheet_conditional_format_range(
              sheet, 1, static_cast<lxw_col_t>(block.startcol),
              static_cast<lxw_row_t>(table.row_count()),
              static_cast<lxw_col_t>(block.startcol + block_width(block) - 1), &condition),
          name, 1, block.startcol);
}

void write_sheet(lxw_workbook* workbook, const Formats& formats, const std::string& name,
                 const std::vector<SheetBlock>& blocks) {
    const std::string quoted = "'" + name + "'";
    if (const lxw_error error = workbook_validate_sheet_name(workbook, name.c_str());
        error != LXW_NO_ERROR) {
        throw Error("sheet name " + quoted + ": " + lxw_strerror(error));
    }
    std::size_t rows = 0;
    std::size_t columns = 0;
    for (const auto& block : blocks) {
        if (block.df == nullptr) throw Error("sheet " + quoted + " has a block without a table");
        rows = std::max(rows, block.df->row_count() + 1);
        columns = std::max(columns, block.startcol + block_width(block));
    }
    if (rows > LXW_ROW_MAX) {
        throw Error("sheet " + quoted + " needs " + std::to_string(rows) +
                    " rows, more than the 1,048,576 a sheet holds");
    }
    if (columns > LXW_COL_MAX) {
        throw Error("sheet " + quoted + " needs " + std::to_string(columns) +
                    " columns, more than the 16,384 a sheet holds");
    }
    lxw_worksheet* sheet = workbook_add_worksheet(workbook, name.c_str());
    if (sheet == nullptr) throw Error("cannot add the sheet " + quoted);

    // Widths first: the sheet's column settings precede its rows in the file.
    std::vector<std::size_t> widths(columns, 0);
    for (const auto& block : blocks) {
        std::size_t column = block.startcol;
        if (block.index) {
            for (const auto& label : block.df->row_labels()) {
                widths[column] = std::max(widths[column], code_points(label));
            }
            ++column;
        }
        for (std::size_t i = 0; i < block.df->column_count(); ++i, ++column) {
            widths[column] = std::max(widths[column], code_points(block.df->column_names()[i]) + 2);
            for (const auto& cell : block.df->column_at(i)) {
                widths[column] = std::max(widths[column], shown_width(cell));
            }
        }
    }
    for (std::size_t column = 0; column < columns; ++column) {
        if (widths[column] == 0) continue;
        const double width = std::clamp(static_cast<double>(widths[column]) + 2, k_min_width, k_max_width);
        check(worksheet_set_column(sheet, static_cast<lxw_col_t>(column),
                                   static_cast<lxw_col_t>(column), width, nullptr),
              name, 0, column);
    }
    for (const auto& block : blocks) {
        if (block.chart != BlockChart::none) add_chart(workbook, sheet, name, block);
        if (block.highlight_differing) highlight_differing_rows(sheet, formats, name, block);
    }
    worksheet_freeze_panes(sheet, 1, 0);
    if (!blocks.empty() && block_width(blocks.front()) > 0) {
        const auto& first = blocks.front();
        check(worksheet_autofilter(sheet, 0, static_cast<lxw_col_t>(first.startcol),
                                   static_cast<lxw_row_t>(first.df->row_count()),
                                   static_cast<lxw_col_t>(first.startcol + block_width(first) - 1)),
              name, 0, first.startcol);
    }

    // Row by row across all blocks, as the constant-memory writer needs.
    for (std::size_t row = 0; row < rows; ++row) {
        for (const auto& block : blocks) {
            const Table& table = *block.df;
            if (row > table.row_count()) continue;
            auto column = static_cast<lxw_col_t>(block.startcol);
            const auto sheet_row = static_cast<lxw_row_t>(row);
            if (block.index) {
                if (row == 0) {
                    check(worksheet_write_blank(sheet, sheet_row, column, formats.header), name,
                          row, column);
                } else if (!table.row_labels().empty()) {
                    check(write_text(sheet, sheet_row, column, table.row_labels()[row - 1],
                                     formats.header),
                          name, row, column);
                }
                ++column;
            }
            for (std::size_t i = 0; i < table.column_count(); ++i, ++column) {
                if (row == 0) {
                    check(write_text(sheet, sheet_row, column, table.column_names()[i],
                                     formats.header),
                          name, row, column);
                } else {
                    write_cell(sheet, formats, sheet_row, column, table.column_at(i)[row - 1],
                               name);
                }
            }
        }
    }
}

}  // namespace

void write_formatted_excel(const std::filesystem::path& path, const SheetsData& sheets) {
    try {
        AtomicFile file(path);
        {
            Workbook workbook(file.temp_path());
            Formats formats{
                workbook_add_format(workbook.get()), workbook_add_format(workbook.get()),
                workbook_add_format(workbook.get()), workbook_add_format(workbook.get())};
            format_set_bold(formats.header);
            format_set_bg_color(formats.header, k_header_fill);
            format_set_border(formats.header, LXW_BORDER_THIN);
            format_set_num_format(formats.date, "yyyy-mm-dd");
            format_set_num_format(formats.date_time, "yyyy-mm-dd hh:mm:ss");
            format_set_bg_color(formats.highlight, k_highlight_fill);
            for (const auto& [name, blocks] : sheets) {
                write_sheet(workbook.get(), formats, name, blocks);
            }
            workbook.close();
        }
        file.commit();
    } catch (const std::exception& error) {
        throw Error("Cannot write '" + path.string() + "': " + error.what());
    }
}

}  // namespace helmkit::excelTools
