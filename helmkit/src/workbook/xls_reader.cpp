#include "helmkit/workbook/xls_reader.hpp"

#include <freexl.h>

#include <cstdio>
#include <string>

#include "helmkit/base/error.hpp"

namespace helmkit {

namespace {

// FreeXL gives dates as "YYYY-MM-DD" and date-times as "YYYY-MM-DD HH:MM:SS".
CellValue date_time_from_text(const char* text) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (std::sscanf(text, "%d-%d-%d %d:%d:%d", &year, &month, &day, &hour, &minute, &second) < 3) {
        return std::string(text);
    }
    const std::chrono::year_month_day date{std::chrono::year{year},
                                           std::chrono::month{static_cast<unsigned>(month)},
                                           std::chrono::day{static_cast<unsigned>(day)}};
    if (!date.ok()) return std::string(text);
    return DateTime{std::chrono::local_days{date}.time_since_epoch() + std::chrono::hours{hour} +
                    std::chrono::minutes{minute} + std::chrono::seconds{second}};
}

}  // namespace

XlsReader::XlsReader(const std::filesystem::path& path) : m_path(path) {
    const int opened = freexl_open(path.c_str(), &m_handle);
    if (opened != FREEXL_OK) {
        if (m_handle != nullptr) freexl_close(m_handle);
        throw Error("cannot read '" + path.string() + "' as an .xls workbook (FreeXL error " +
                    std::to_string(opened) + ")");
    }
    unsigned int password = 0;
    unsigned int sheets = 0;
    if (freexl_get_info(m_handle, FREEXL_BIFF_PASSWORD, &password) != FREEXL_OK ||
        password == FREEXL_BIFF_OBFUSCATED) {
        freexl_close(m_handle);
        throw Error("'" + path.string() + "' is password-protected");
    }
    if (freexl_get_info(m_handle, FREEXL_BIFF_SHEET_COUNT, &sheets) != FREEXL_OK || sheets == 0 ||
        freexl_select_active_worksheet(m_handle, 0) != FREEXL_OK) {
        freexl_close(m_handle);
        throw Error("'" + path.string() + "' holds no worksheet");
    }
}

XlsReader::~XlsReader() { freexl_close(m_handle); }

void XlsReader::for_each_cell(
    const std::function<bool(std::uint32_t, std::uint32_t, const CellValue&)>& visit) {
    unsigned int rows = 0;
    unsigned short columns = 0;
    if (freexl_worksheet_dimensions(m_handle, &rows, &columns) != FREEXL_OK) {
        throw Error("cannot read the sheet size of '" + m_path.string() + "'");
    }
    for (unsigned int row = 0; row < rows; ++row) {
        for (unsigned short column = 0; column < columns; ++column) {
            FreeXL_CellValue cell{};
            if (freexl_get_cell_value(m_handle, row, column, &cell) != FREEXL_OK) {
                throw Error("cannot read a cell of '" + m_path.string() + "' (damaged workbook)");
            }
            CellValue value;
            switch (cell.type) {
                case FREEXL_CELL_INT: value = std::int64_t{cell.value.int_value}; break;
                case FREEXL_CELL_DOUBLE: value = cell.value.double_value; break;
                case FREEXL_CELL_TEXT:
                case FREEXL_CELL_SST_TEXT:
                case FREEXL_CELL_TIME: value = std::string(cell.value.text_value); break;
                case FREEXL_CELL_DATE:
                case FREEXL_CELL_DATETIME: value = date_time_from_text(cell.value.text_value); break;
                default: continue;
            }
            if (!visit(row + 1, column + 1u, value)) return;
        }
    }
}

}  // namespace helmkit
