#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string_view>

namespace helmkit {

// What reading a CSV file found out about it.
struct CsvFormat {
    char delimiter = ',';
    // True when the file was not UTF-8 and was read as Windows-1252.
    bool windows_1252 = false;
};

// Reads the CSV file at `path` (RFC 4180: quoted fields may hold delimiters, doubled quotes
// and line breaks) and calls `visit` with the row number and field number (both 1-based)
// and the text of every field that is not empty, in file order. Rows are records; a blank
// line is an empty row, as in spreadsheet software. The file is UTF-8, with or
// without a byte-order mark, or else read as Windows-1252; the delimiter (comma, semicolon or
// tab) is the one the first line holds most of outside quotes. Spaces around unquoted fields
// are dropped. Before the first field, calls `before_fields` (when given) with the number of
// line breaks the file holds, at least its row count less one. Returns what it found. Throws
// Error naming the file when it cannot be read, is UTF-16, or ends inside a quoted field.
CsvFormat for_each_csv_field(
    const std::filesystem::path& path,
    const std::function<void(std::uint32_t row, std::uint32_t field, std::string_view text)>&
        visit,
    const std::function<void(std::size_t line_breaks)>& before_fields = {});

}  // namespace helmkit
