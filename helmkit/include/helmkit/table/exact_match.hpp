#pragma once

#include <string>
#include <utility>
#include <vector>

#include "helmkit/table/table.hpp"
#include "helmkit/text/cell_address.hpp"

namespace helmkit::excelTools {

struct MergeOptions {
    // Key columns; when empty, `num_keys` are the keys.
    std::vector<std::string> on;
    // Keys compared as numbers when both sides read as numbers (12, 12.0 and "12" are equal).
    std::vector<std::string> num_keys;
    // Only "inner" is supported.
    std::string how = "inner";
    // Added to a non-key column name that both sides have: left, right.
    std::pair<std::string, std::string> suffixes{"_x", "_y"};
    // The most records the join may make: by default those a sheet holds below its header row.
    std::size_t max_rows = k_max_sheet_rows - 1;
};

// The rows of an inner join: pair i joins left row left[i] with right row right[i].
struct MatchedRows {
    std::vector<std::size_t> left;
    std::vector<std::size_t> right;
};

// Returns the inner join of `df_left` and `df_right` on equal keys: for each left row in
// order, one record per matching right row in right order. Keys compare as numbers when both
// sides read as numbers (num_keys), otherwise as texts with blanks trimmed; a missing or blank
// key matches nothing. Columns: the keys once (left values), the other left columns, then the
// other right columns. When `matched` is given, it receives the joined row pairs in record
// order. Throws Error for a key column a side lacks, another `how`, or a join of more than
// `max_rows` records (counted before any is made; the message names the total and the key
// that pairs the most rows).
Table merge_exact_match(const Table& df_left, const Table& df_right, const MergeOptions& options,
                        MatchedRows* matched = nullptr);

}  // namespace helmkit::excelTools
