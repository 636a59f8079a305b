#include "helmkit/workbook/xls_reader.hpp"

#include <freexl.h>

#include <cstdio>
#include <string>
#include <type_traits>
#include <variant>

#include "helmkit/base/error.hpp"
#include "helmkit/base/forked_child.hpp"

namespace helmkit {

namespace {

// What the child sends: one tag, then what the tag says follows.
enum Tag : char {
    k_opened = 'O',  // the name of the sheet read
    k_cell = 'C',    // row, column (uint32), the value's alternative (uint8), the value
    k_failed = 'E',  // the message
    k_done = 'D',    // nothing
};

// The longest text the child may send: a cell holds at most 32,767 characters (4 bytes each in
// UTF-8 at most), a message names a path.
constexpr std::size_t k_text_limit = 1u << 20;

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

// A value's kind on the wire: the index of its alternative in CellValue.
constexpr std::uint8_t k_whole = 1;
constexpr std::uint8_t k_real = 2;
constexpr std::uint8_t k_text = 3;
constexpr std::uint8_t k_date_time = 5;
static_assert(std::is_same_v<std::variant_alternative_t<k_whole, CellValue>, std::int64_t>);
static_assert(std::is_same_v<std::variant_alternative_t<k_real, CellValue>, double>);
static_assert(std::is_same_v<std::variant_alternative_t<k_text, CellValue>, std::string>);
static_assert(std::is_same_v<std::variant_alternative_t<k_date_time, CellValue>, DateTime>);

void send_tag(ForkedChild::ChildOutput& out, Tag tag) { out.write(&tag, 1); }

void send_failure(ForkedChild::ChildOutput& out, const std::string& message) {
    send_tag(out, k_failed);
    out.write_text(message);
}

void send_cell(ForkedChild::ChildOutput& out, std::uint32_t row, std::uint32_t column,
               const CellValue& value) {
    send_tag(out, k_cell);
    out.write(&row, sizeof row);
    out.write(&column, sizeof column);
    const auto kind = static_cast<std::uint8_t>(value.index());
    out.write(&kind, 1);
    if (const auto* whole = std::get_if<std::int64_t>(&value)) {
        out.write(whole, sizeof *whole);
    } else if (const auto* real = std::get_if<double>(&value)) {
        out.write(real, sizeof *real);
    } else if (const auto* text = std::get_if<std::string>(&value)) {
        out.write_text(*text);
    } else if (const auto* when = std::get_if<DateTime>(&value)) {
        const std::int64_t micros = when->time_since_epoch().count();
        out.write(&micros, sizeof micros);
    }
}

std::string sheet_name_at(const void* handle, unsigned short index) {
    const char* name = nullptr;
    if (freexl_get_worksheet_name(handle, index, &name) != FREEXL_OK || name == nullptr) return {};
    return name;
}

// Runs in the child: opens the workbook and sends every non-empty cell of the sheet named
// `sheet` (the first when empty).
void read_in_child(const std::filesystem::path& path, const std::string& sheet,
                   ForkedChild::ChildOutput& out) {
    const void* handle = nullptr;
    const int opened = freexl_open(path.c_str(), &handle);
    if (opened != FREEXL_OK) {
        send_failure(out, "cannot read '" + path.string() + "' as an .xls workbook (FreeXL error " +
                              std::to_string(opened) + ")");
        return;
    }
    unsigned int password = 0;
    unsigned int sheets = 0;
    // FreeXL opens a workbook whose structure it cannot follow (a sheet size beyond any sheet,
    // for one) and then refuses every question: that is damage, not a password.
    if (const int info = freexl_get_info(handle, FREEXL_BIFF_PASSWORD, &password);
        info != FREEXL_OK) {
        send_failure(out, "cannot read '" + path.string() + "' as an .xls workbook: it is damaged "
                          "(FreeXL error " + std::to_string(info) + ")");
        return;
    }
    if (password == FREEXL_BIFF_OBFUSCATED) {
        send_failure(out, "'" + path.string() + "' is password-protected");
        return;
    }
    if (freexl_get_info(handle, FREEXL_BIFF_SHEET_COUNT, &sheets) != FREEXL_OK || sheets == 0) {
        send_failure(out, "'" + path.string() + "' holds no worksheet");
        return;
    }
    unsigned short chosen = 0;
    if (!sheet.empty()) {
        std::string names;
        bool found = false;
        for (unsigned short index = 0; index < sheets && index < 0xFFFF; ++index) {
            const auto name = sheet_name_at(handle, index);
            names += (names.empty() ? "'" : ", '") + name + "'";
            if (!found && name == sheet) {
                chosen = index;
                found = true;
            }
        }
        if (!found) {
            send_failure(out, "cannot read workbook '" + path.string() + "': it has no sheet '" +
                                  sheet + "'; its sheets are " + names);
            return;
        }
    }
    if (freexl_select_active_worksheet(handle, chosen) != FREEXL_OK) {
        send_failure(out, "'" + path.string() + "' holds no worksheet");
        return;
    }
    send_tag(out, k_opened);
    out.write_text(sheet_name_at(handle, chosen));
    unsigned int rows = 0;
    unsigned short columns = 0;
    if (freexl_worksheet_dimensions(handle, &rows, &columns) != FREEXL_OK) {
        send_failure(out, "cannot read the sheet size of '" + path.string() + "'");
        return;
    }
    for (unsigned int row = 0; row < rows; ++row) {
        for (unsigned short column = 0; column < columns; ++column) {
            FreeXL_CellValue cell{};
            if (freexl_get_cell_value(handle, row, column, &cell) != FREEXL_OK) {
                send_failure(out, "cannot read a cell of '" + path.string() + "' (damaged workbook)");
                return;
            }
            switch (cell.type) {
                case FREEXL_CELL_INT:
                    send_cell(out, row + 1, column + 1u, std::int64_t{cell.value.int_value});
                    break;
                case FREEXL_CELL_DOUBLE:
                    send_cell(out, row + 1, column + 1u, cell.value.double_value);
                    break;
                case FREEXL_CELL_TEXT:
                case FREEXL_CELL_SST_TEXT:
                case FREEXL_CELL_TIME:
                    send_cell(out, row + 1, column + 1u, std::string(cell.value.text_value));
                    break;
                case FREEXL_CELL_DATE:
                case FREEXL_CELL_DATETIME:
                    send_cell(out, row + 1, column + 1u, date_time_from_text(cell.value.text_value));
                    break;
                default: break;
            }
        }
    }
    send_tag(out, k_done);
}

}  // namespace

XlsReader::XlsReader(const std::filesystem::path& path, const std::string& sheet) : m_path(path) {
    m_child = std::make_unique<ForkedChild>(
        [&path, &sheet](ForkedChild::ChildOutput& out) { read_in_child(path, sheet, out); },
        ForkedChild::Limits{});
    char tag = 0;
    if (!m_child->read(&tag, 1)) fail_from_child();
    if (tag == k_failed) {
        std::string message;
        if (!m_child->read_text(message, k_text_limit)) fail_from_child();
        throw Error(message);
    }
    if (tag != k_opened || !m_child->read_text(m_sheet_name, k_text_limit)) fail_from_child();
}

XlsReader::~XlsReader() = default;

void XlsReader::fail_from_child() {
    // What the child sent no longer makes sense: whatever it does now is of no use.
    const auto status = m_child->stop();
    throw Error("cannot read '" + m_path.string() +
                "' as an .xls workbook: the reader stopped on damaged data (it " +
                describe_process_status(status) + ")");
}

void XlsReader::for_each_cell(
    const std::function<bool(std::uint32_t, std::uint32_t, const CellValue&)>& visit) {
    while (true) {
        char tag = 0;
        if (!m_child->read(&tag, 1)) fail_from_child();
        if (tag == k_done) {
            m_child->finish();
            return;
        }
        if (tag == k_failed) {
            std::string message;
            if (!m_child->read_text(message, k_text_limit)) fail_from_child();
            throw Error(message);
        }
        if (tag != k_cell) fail_from_child();
        std::uint32_t row = 0;
        std::uint32_t column = 0;
        std::uint8_t kind = 0;
        if (!m_child->read(&row, sizeof row) || !m_child->read(&column, sizeof column) ||
            !m_child->read(&kind, 1)) {
            fail_from_child();
        }
        CellValue value;
        bool complete = true;
        switch (kind) {
            case k_whole: {
                std::int64_t whole = 0;
                complete = m_child->read(&whole, sizeof whole);
                value = whole;
                break;
            }
            case k_real: {
                double real = 0;
                complete = m_child->read(&real, sizeof real);
                value = real;
                break;
            }
            case k_text: {
                std::string text;
                complete = m_child->read_text(text, k_text_limit);
                value = std::move(text);
                break;
            }
            case k_date_time: {
                std::int64_t micros = 0;
                complete = m_child->read(&micros, sizeof micros);
                value = DateTime{std::chrono::microseconds{micros}};
                break;
            }
            default: complete = false;
        }
        if (!complete) fail_from_child();
        if (!visit(row, column, value)) return;
    }
}

}  // namespace helmkit
