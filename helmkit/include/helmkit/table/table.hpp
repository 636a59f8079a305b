#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "helmkit/text/cell_value.hpp"

namespace helmkit {

// A table of named columns of cells, all of one length, with optional row labels (written
// beside the rows when a sheet asks for them). Column names are unique.
class Table {
public:
    Table() = default;

    std::size_t row_count() const { return m_rows; }
    std::size_t column_count() const { return m_names.size(); }
    // True when the table has no rows or no columns.
    bool empty() const { return m_rows == 0 || m_names.empty(); }

    const std::vector<std::string>& column_names() const { return m_names; }
    bool has_column(std::string_view name) const;
    // Returns the cells of the column `name`. Throws Error naming the column when it is absent.
    const std::vector<CellValue>& column(std::string_view name) const;
    std::vector<CellValue>& column(std::string_view name);
    const std::vector<CellValue>& column_at(std::size_t index) const { return m_columns[index]; }

    // Appends the column `name`. Throws Error when the name is taken or, unless the table has
    // no columns yet, when `cells` has not the table's row count.
    void add_column(std::string name, std::vector<CellValue> cells);
    // Gives each column named by the first of a pair the second as its name; names that are
    // absent are left alone. Throws Error when two columns would share a name.
    void rename_columns(const std::vector<std::pair<std::string, std::string>>& renames);
    // Returns the columns of `names` that the table has, in the order of `names`.
    Table select_columns(const std::vector<std::string>& names) const;
    // Returns the rows at `rows` (indexes into this table), in that order.
    Table take_rows(const std::vector<std::size_t>& rows) const;
    // Returns the table sorted ascending by `keys` (first key first), stable, in the order of
    // compare_cells: missing last. Throws Error naming a key column that is absent.
    Table sorted_by(const std::vector<std::string>& keys) const;

    // Row labels: empty, or one per row.
    const std::vector<std::string>& row_labels() const { return m_row_labels; }
    // Throws Error when `labels` is neither empty nor one per row.
    void set_row_labels(std::vector<std::string> labels);

private:
    std::size_t index_of(std::string_view name) const;

    std::vector<std::string> m_names;
    std::vector<std::vector<CellValue>> m_columns;
    std::vector<std::string> m_row_labels;
    std::size_t m_rows = 0;
};

}  // namespace helmkit
