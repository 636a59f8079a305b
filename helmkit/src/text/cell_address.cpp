#include "helmkit/text/cell_address.hpp"

#include <cctype>

#include "helmkit/base/error.hpp"

namespace helmkit {

bool try_parse_cell_address(std::string_view text, CellAddress& address) {
    std::size_t i = 0;
    if (i < text.size() && text[i] == '$') ++i;
    std::uint32_t column = 0;
    const std::size_t letters_start = i;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        const bool upper = c >= 'A' && c <= 'Z';
        const bool lower = c >= 'a' && c <= 'z';
        if (!upper && !lower) break;
        column = column * 26 + static_cast<std::uint32_t>((upper ? c - 'A' : c - 'a') + 1);
        if (column > k_max_sheet_columns) return false;
    }
    if (i == letters_start) return false;
    if (i < text.size() && text[i] == '$') ++i;
    std::uint32_t row = 0;
    const std::size_t digits_start = i;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return false;
        row = row * 10 + static_cast<std::uint32_t>(c - '0');
        if (row > k_max_sheet_rows) return false;
    }
    if (i == digits_start || row == 0) return false;
    address = {row, column};
    return true;
}

bool looks_like_cell_address(std::string_view text) {
    std::size_t i = text.starts_with('$') ? 1 : 0;
    const std::size_t letters = i;
    while (i < text.size() && std::isalpha(static_cast<unsigned char>(text[i])) != 0) ++i;
    if (i == letters) return false;
    if (i < text.size() && text[i] == '$') ++i;
    const std::size_t digits = i;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) != 0) ++i;
    return i > digits && i == text.size();
}

CellAddress parse_cell_address(std::string_view address) {
    CellAddress result{};
    if (!try_parse_cell_address(address, result)) {
        throw Error("'" + std::string(address) +
                    "' is not a cell address (column letters and a row number, such as D6)");
    }
    return result;
}

std::string column_letters(std::uint32_t column) {
    std::string letters;
    for (std::uint32_t n = column; n > 0; n = (n - 1) / 26) {
        letters.insert(letters.begin(), static_cast<char>('A' + (n - 1) % 26));
    }
    return letters;
}

}  // namespace helmkit
