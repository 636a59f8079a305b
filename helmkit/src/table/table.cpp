#include "helmkit/table/table.hpp"

#include <algorithm>
#include <numeric>

#include "helmkit/table/cell_order.hpp"
#include "helmkit/base/error.hpp"

namespace helmkit {

namespace {

constexpr std::size_t k_absent = static_cast<std::size_t>(-1);

}  // namespace

std::size_t Table::index_of(std::string_view name) const {
    for (std::size_t i = 0; i < m_names.size(); ++i) {
        if (m_names[i] == name) return i;
    }
    return k_absent;
}

bool Table::has_column(std::string_view name) const { return index_of(name) != k_absent; }

const std::vector<CellValue>& Table::column(std::string_view name) const {
    const auto index = index_of(name);
    if (index == k_absent) throw Error("the table has no column '" + std::string(name) + "'");
    return m_columns[index];
}

std::vector<CellValue>& Table::column(std::string_view name) {
    return const_cast<std::vector<CellValue>&>(std::as_const(*this).column(name));
}

void Table::add_column(std::string name, std::vector<CellValue> cells) {
    if (has_column(name)) throw Error("the table already has a column '" + name + "'");
    if (m_names.empty() && m_row_labels.empty()) {
        m_rows = cells.size();
    } else if (cells.size() != m_rows) {
        throw Error("column '" + name + "' has " + std::to_string(cells.size()) +
                    " cells, the table " + std::to_string(m_rows) + " rows");
    }
    m_names.push_back(std::move(name));
    m_columns.push_back(std::move(cells));
}

void Table::rename_columns(const std::vector<std::pair<std::string, std::string>>& renames) {
    auto names = m_names;
    for (auto& name : names) {
        const auto found = std::find_if(renames.begin(), renames.end(),
                                        [&](const auto& rename) { return rename.first == name; });
        if (found != renames.end()) name = found->second;
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        for (std::size_t j = i + 1; j < names.size(); ++j) {
            if (names[i] == names[j]) throw Error("renaming gives two columns '" + names[i] + "'");
        }
    }
    m_names = std::move(names);
}

Table Table::select_columns(const std::vector<std::string>& names) const {
    Table result;
    result.m_rows = m_rows;
    result.m_row_labels = m_row_labels;
    for (const auto& name : names) {
        const auto index = index_of(name);
        if (index == k_absent || result.has_column(name)) continue;
        result.m_names.push_back(name);
        result.m_columns.push_back(m_columns[index]);
    }
    return result;
}

Table Table::take_rows(const std::vector<std::size_t>& rows) const {
    Table result;
    result.m_names = m_names;
    result.m_rows = rows.size();
    for (const auto& cells : m_columns) {
        std::vector<CellValue> taken;
        taken.reserve(rows.size());
        for (const auto row : rows) taken.push_back(cells.at(row));
        result.m_columns.push_back(std::move(taken));
    }
    if (!m_row_labels.empty()) {
        for (const auto row : rows) result.m_row_labels.push_back(m_row_labels.at(row));
    }
    return result;
}

Table Table::sorted_by(const std::vector<std::string>& keys) const {
    std::vector<const std::vector<CellValue>*> key_columns;
    for (const auto& key : keys) key_columns.push_back(&column(key));
    std::vector<std::size_t> order(m_rows);
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        for (const auto* cells : key_columns) {
            const int c = compare_cells((*cells)[a], (*cells)[b]);
            if (c != 0) return c < 0;
        }
        return false;
    });
    return take_rows(order);
}

void Table::set_row_labels(std::vector<std::string> labels) {
    if (m_names.empty() && m_row_labels.empty()) m_rows = labels.size();
    if (!labels.empty() && labels.size() != m_rows) {
        throw Error(std::to_string(labels.size()) + " row labels for a table of " +
                    std::to_string(m_rows) + " rows");
    }
    m_row_labels = std::move(labels);
}

}  // namespace helmkit
