#include <algorithm>
#include <unordered_map>

#include "helmkit/text/cell_text.hpp"
#include "helmkit/base/error.hpp"
#include "helmkit/workbook/excel_tools.hpp"
#include "helmkit/text/number_text.hpp"

namespace helmkit::excelTools {

namespace {

template <class T>
void append_raw(std::string& key, char tag, T value) {
    key += tag;
    key.append(reinterpret_cast<const char*>(&value), sizeof value);
}

// Appends the comparable form of one key cell to `key`: numbers (for num_keys) as a tagged
// exact value, other cells as their trimmed text. Returns false for a key that matches nothing.
bool append_key_part(const CellValue& cell, bool numeric, std::string& key) {
    if (numeric) {
        if (const auto* whole = std::get_if<std::int64_t>(&cell)) {
            append_raw(key, 'i', *whole);
            return true;
        }
        if (const auto number = read_as_number(cell)) {
            if (const auto* whole = std::get_if<std::int64_t>(&*number)) {
                append_raw(key, 'i', *whole);
            } else {
                append_raw(key, 'r', std::get<double>(*number));
            }
            return true;
        }
    }
    if (is_missing(cell)) return false;
    const auto* text = std::get_if<std::string>(&cell);
    const std::string other = text ? std::string() : cell_to_text(cell);
    const auto trimmed = trim_blanks(text ? *text : other);
    if (trimmed.empty()) return false;
    key += 't';
    // The length keeps texts holding the tag characters from running into the next part.
    append_raw(key, 'n', trimmed.size());
    key += trimmed;
    return true;
}

struct KeyColumns {
    std::vector<const std::vector<CellValue>*> cells;
    std::vector<bool> numeric;
};

KeyColumns key_columns(const Table& table, const std::vector<std::string>& keys,
                       const std::vector<std::string>& num_keys, const char* side) {
    KeyColumns result;
    for (const auto& key : keys) {
        if (!table.has_column(key)) {
            throw Error(std::string("the ") + side + " table has no key column '" + key + "'");
        }
        result.cells.push_back(&table.column(key));
        result.numeric.push_back(std::find(num_keys.begin(), num_keys.end(), key) !=
                                 num_keys.end());
    }
    return result;
}

bool row_key(const KeyColumns& columns, std::size_t row, std::string& key) {
    key.clear();
    for (std::size_t i = 0; i < columns.cells.size(); ++i) {
        if (!append_key_part((*columns.cells[i])[row], columns.numeric[i], key)) return false;
    }
    return true;
}

bool is_key(const std::vector<std::string>& keys, const std::string& name) {
    return std::find(keys.begin(), keys.end(), name) != keys.end();
}

}  // namespace

Table merge_exact_match(const Table& df_left, const Table& df_right, const MergeOptions& options) {
    if (options.how != "inner") {
        throw Error("merge_exact_match supports only how=\"inner\", not \"" + options.how + "\"");
    }
    const auto& keys = options.on.empty() ? options.num_keys : options.on;
    if (keys.empty()) throw Error("merge_exact_match needs at least one key column");
    const auto left_keys = key_columns(df_left, keys, options.num_keys, "left");
    const auto right_keys = key_columns(df_right, keys, options.num_keys, "right");

    // Right rows by key, each list in right order.
    std::unordered_map<std::string, std::vector<std::size_t>> right_rows;
    right_rows.reserve(df_right.row_count());
    std::string key;
    for (std::size_t row = 0; row < df_right.row_count(); ++row) {
        if (row_key(right_keys, row, key)) right_rows[key].push_back(row);
    }
    std::vector<std::size_t> left_taken;
    std::vector<std::size_t> right_taken;
    for (std::size_t row = 0; row < df_left.row_count(); ++row) {
        if (!row_key(left_keys, row, key)) continue;
        const auto found = right_rows.find(key);
        if (found == right_rows.end()) continue;
        for (const auto right_row : found->second) {
            left_taken.push_back(row);
            right_taken.push_back(right_row);
        }
    }

    const Table left = df_left.take_rows(left_taken);
    const Table right = df_right.take_rows(right_taken);
    Table result;
    for (const auto& name : keys) result.add_column(name, left.column(name));
    auto output_name = [&](const std::string& name, const Table& other, const std::string& suffix) {
        return other.has_column(name) ? name + suffix : name;
    };
    for (std::size_t i = 0; i < left.column_count(); ++i) {
        const auto& name = left.column_names()[i];
        if (is_key(keys, name)) continue;
        result.add_column(output_name(name, df_right, options.suffixes.first), left.column_at(i));
    }
    for (std::size_t i = 0; i < right.column_count(); ++i) {
        const auto& name = right.column_names()[i];
        if (is_key(keys, name)) continue;
        result.add_column(output_name(name, df_left, options.suffixes.second), right.column_at(i));
    }
    return result;
}

}  // namespace helmkit::excelTools
