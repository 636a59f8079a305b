#include <algorithm>
#include <cstdint>
#include <functional>
#include <future>
#include <limits>
#include <string_view>
#include <thread>

#include "helmkit/text/cell_text.hpp"
#include "helmkit/base/error.hpp"
#include "helmkit/table/exact_match.hpp"
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

constexpr std::uint32_t k_none = std::numeric_limits<std::uint32_t>::max();

// The right side's rows by key: an open-addressing table of small slots (part of the key's
// hash and the key's number) over the distinct keys, whose bytes are kept one after another in
// one text, each key leading to its rows in right order. Probes come in blocks whose slots are
// fetched ahead, since a table of a few hundred thousand keys lies mostly outside the caches.
class RightIndex {
public:
    RightIndex(const KeyColumns& columns, std::size_t rows) : m_next(rows, k_none) {
        std::size_t capacity = 16;
        while (capacity < rows * 2) capacity *= 2;
        m_slots.assign(capacity, Slot{});
        m_mask = capacity - 1;
        std::string key;
        for (std::size_t row = 0; row < rows; ++row) {
            if (!row_key(columns, row, key)) continue;
            const auto hash = hash_of(key);
            Slot& slot = m_slots[locate(key, hash)];
            const auto index = static_cast<std::uint32_t>(row);
            if (slot.key == 0) {
                slot.tag = tag_of(hash);
                m_entries.push_back(
                    {m_keys.size(), static_cast<std::uint32_t>(key.size()), index, index, 1});
                m_keys += key;
                slot.key = static_cast<std::uint32_t>(m_entries.size());
            } else {
                auto& entry = m_entries[slot.key - 1];
                m_next[entry.last] = index;
                entry.last = index;
                ++entry.rows;
            }
        }
    }

    static std::size_t hash_of(std::string_view key) { return std::hash<std::string_view>{}(key); }
    void prefetch(std::size_t hash) const { __builtin_prefetch(&m_slots[hash & m_mask]); }

    // Returns the number of the distinct key `key` (k_none when no right row has it).
    std::uint32_t find(std::string_view key, std::size_t hash) const {
        const Slot& slot = m_slots[locate(key, hash)];
        return slot.key == 0 ? k_none : slot.key - 1;
    }
    std::size_t key_count() const { return m_entries.size(); }
    // The number of right rows with key number `key`, and the first of them; next() gives the
    // others in right order.
    std::uint32_t rows_of(std::uint32_t key) const { return m_entries[key].rows; }
    std::uint32_t first(std::uint32_t key) const { return m_entries[key].first; }
    std::uint32_t next(std::uint32_t row) const { return m_next[row]; }

private:
    struct Slot {
        std::uint32_t tag = 0;
        std::uint32_t key = 0;  // 1 + index into m_entries; 0 when empty
    };
    struct Entry {
        std::size_t offset;
        std::uint32_t size;
        std::uint32_t first;
        std::uint32_t last;
        std::uint32_t rows;
    };

    static std::uint32_t tag_of(std::size_t hash) { return static_cast<std::uint32_t>(hash >> 32); }

    // The index of the slot of `key`, or of the empty slot where it belongs.
    std::size_t locate(std::string_view key, std::size_t hash) const {
        const auto tag = tag_of(hash);
        for (std::size_t i = hash & m_mask;; i = (i + 1) & m_mask) {
            const Slot& slot = m_slots[i];
            if (slot.key == 0) return i;
            if (slot.tag != tag) continue;
            const Entry& entry = m_entries[slot.key - 1];
            if (std::string_view(m_keys).substr(entry.offset, entry.size) == key) return i;
        }
    }

    std::vector<Slot> m_slots;
    std::size_t m_mask = 0;
    std::vector<Entry> m_entries;
    std::string m_keys;
    std::vector<std::uint32_t> m_next;
};

// Sets `found[row]` to the right key number of each left row in [begin, end) (k_none when no
// right row shares its key).
void find_keys(const KeyColumns& left_keys, const RightIndex& right, std::size_t begin,
               std::size_t end, std::vector<std::uint32_t>& found) {
    constexpr std::size_t k_block = 32;
    std::string key;
    std::string keys;
    struct Probe {
        std::size_t row;
        std::size_t offset;
        std::size_t size;
        std::size_t hash;
    };
    std::vector<Probe> probes;
    probes.reserve(k_block);
    for (std::size_t block = begin; block < end; block += k_block) {
        keys.clear();
        probes.clear();
        for (std::size_t row = block; row < std::min(end, block + k_block); ++row) {
            if (!row_key(left_keys, row, key)) continue;
            const auto hash = RightIndex::hash_of(key);
            right.prefetch(hash);
            probes.push_back({row, keys.size(), key.size(), hash});
            keys += key;
        }
        for (const auto& probe : probes) {
            const auto text = std::string_view(keys).substr(probe.offset, probe.size);
            found[probe.row] = right.find(text, probe.hash);
        }
    }
}

// Writes the matching (left row, right row) pairs of the left rows [begin, end) from `at` on:
// in left order and, for one left row, in right order.
void fill_pairs(const RightIndex& right, const std::vector<std::uint32_t>& found,
                std::size_t begin, std::size_t end, std::size_t at,
                std::vector<std::size_t>& left_taken, std::vector<std::size_t>& right_taken) {
    for (std::size_t row = begin; row < end; ++row) {
        if (found[row] == k_none) continue;
        for (auto match = right.first(found[row]); match != k_none; match = right.next(match)) {
            left_taken[at] = row;
            right_taken[at] = match;
            ++at;
        }
    }
}

// The key cells of left row `row` as a user reads them: "PO '4711', QTY '3'".
std::string describe_key(const std::vector<std::string>& names, const KeyColumns& columns,
                         std::size_t row) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) text += ", ";
        text += names[i] + " '" + cell_to_text((*columns.cells[i])[row]) + "'";
    }
    return text;
}

// Below this many left rows a second thread costs more than it saves.
constexpr std::size_t k_rows_per_thread = 50'000;

std::vector<CellValue> gather(const std::vector<CellValue>& cells,
                              const std::vector<std::size_t>& rows) {
    std::vector<CellValue> taken;
    taken.reserve(rows.size());
    for (const auto row : rows) taken.push_back(cells[row]);
    return taken;
}

}  // namespace

Table merge_exact_match(const Table& df_left, const Table& df_right, const MergeOptions& options,
                        MatchedRows* matched) {
    if (options.how != "inner") {
        throw Error("merge_exact_match supports only how=\"inner\", not \"" + options.how + "\"");
    }
    const auto& keys = options.on.empty() ? options.num_keys : options.on;
    if (keys.empty()) throw Error("merge_exact_match needs at least one key column");
    const auto left_keys = key_columns(df_left, keys, options.num_keys, "left");
    const auto right_keys = key_columns(df_right, keys, options.num_keys, "right");
    if (df_right.row_count() >= k_none) {
        throw Error("merge_exact_match takes at most " + std::to_string(k_none - 1) + " right rows");
    }

    const RightIndex right(right_keys, df_right.row_count());
    // The left rows find their keys in two halves at once on two cores.
    const std::size_t rows = df_left.row_count();
    const bool two_threads = rows >= 2 * k_rows_per_thread && std::thread::hardware_concurrency() > 1;
    const std::size_t half = two_threads ? rows / 2 : rows;
    std::vector<std::uint32_t> found(rows, k_none);
    std::future<void> second;
    if (two_threads) {
        second = std::async(std::launch::async,
                            [&] { find_keys(left_keys, right, half, rows, found); });
    }
    find_keys(left_keys, right, 0, half, found);
    if (second.valid()) second.get();

    // The pairs are counted before any is made, so that a join that repeated keys would blow
    // up is refused at once and an accepted one takes memory in proportion to its result.
    std::uint64_t total = 0;
    std::uint64_t first_half = 0;
    for (std::size_t row = 0; row < rows; ++row) {
        const auto key = found[row];
        if (key == k_none) continue;
        total += right.rows_of(key);
        if (row < half) first_half = total;
    }
    if (total > options.max_rows) {
        // Only a refused join needs to know which key made the most pairs.
        std::vector<std::uint64_t> left_rows_of(right.key_count(), 0);
        std::vector<std::size_t> first_row_of(right.key_count(), 0);
        for (std::size_t row = 0; row < rows; ++row) {
            const auto key = found[row];
            if (key != k_none && left_rows_of[key]++ == 0) first_row_of[key] = row;
        }
        std::uint32_t worst = 0;
        for (std::uint32_t key = 1; key < left_rows_of.size(); ++key) {
            if (left_rows_of[key] * right.rows_of(key) >
                left_rows_of[worst] * right.rows_of(worst)) {
                worst = key;
            }
        }
        throw Error("the match would make " + std::to_string(total) + " rows, more than the " +
                    std::to_string(options.max_rows) + " a sheet can hold; the most come from " +
                    describe_key(keys, left_keys, first_row_of[worst]) + ", which " +
                    std::to_string(left_rows_of[worst]) + " left rows and " +
                    std::to_string(right.rows_of(worst)) + " right rows share (" +
                    std::to_string(left_rows_of[worst] * right.rows_of(worst)) + " rows)");
    }
    std::vector<std::size_t> left_taken(total);
    std::vector<std::size_t> right_taken(total);
    if (two_threads) {
        second = std::async(std::launch::async, [&] {
            fill_pairs(right, found, half, rows, first_half, left_taken, right_taken);
        });
    }
    fill_pairs(right, found, 0, half, 0, left_taken, right_taken);
    if (second.valid()) second.get();
    found = {};

    Table result;
    for (const auto& name : keys) result.add_column(name, gather(df_left.column(name), left_taken));
    auto output_name = [&](const std::string& name, const Table& other, const std::string& suffix) {
        return other.has_column(name) ? name + suffix : name;
    };
    for (std::size_t i = 0; i < df_left.column_count(); ++i) {
        const auto& name = df_left.column_names()[i];
        if (is_key(keys, name)) continue;
        result.add_column(output_name(name, df_right, options.suffixes.first),
                          gather(df_left.column_at(i), left_taken));
    }
    for (std::size_t i = 0; i < df_right.column_count(); ++i) {
        const auto& name = df_right.column_names()[i];
        if (is_key(keys, name)) continue;
        result.add_column(output_name(name, df_left, options.suffixes.second),
                          gather(df_right.column_at(i), right_taken));
    }
    if (matched != nullptr) *matched = {std::move(left_taken), std::move(right_taken)};
    return result;
}

}  // namespace helmkit::excelTools
