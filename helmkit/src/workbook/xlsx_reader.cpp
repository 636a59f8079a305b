#include "helmkit/workbook/xlsx_reader.hpp"

#include <algorithm>
#include <exception>
#include <limits>
#include <optional>
#include <string>
#include <utility>

#include "helmkit/base/error.hpp"
#include "xlsx_package.hpp"
#include "xlsx_sheet.hpp"

namespace helmkit {

namespace {

using detail::CellMaker;
using detail::CellSink;
using detail::CellType;
using detail::RawCell;
using detail::stream_sheet;

// A strings part up to this size is kept whole for a reading of the whole sheet; a larger one
// keeps only the strings that the sheet uses, found by reading the sheet once more first.
constexpr std::uint64_t k_whole_strings_part = std::uint64_t{64} << 20;

// Makes every cell's value and hands it to the visitor.
class VisitingSink : public CellSink {
public:
    using Visit = std::function<bool(std::uint32_t, std::uint32_t, const CellValue&)>;
    VisitingSink(const CellMaker& maker, const Visit& visit) : m_maker(maker), m_visit(visit) {}

    bool take(RawCell& cell) override {
        m_maker.make(cell, m_value);
        return m_visit(cell.row, cell.column, m_value);
    }

private:
    const CellMaker& m_maker;
    const Visit& m_visit;
    CellValue m_value;
};

// Collects the numbers of the shared strings that the sheet's cells name.
class StringUseSink : public CellSink {
public:
    std::vector<std::uint32_t> used;

    bool take(RawCell& cell) override {
        std::uint32_t index = 0;
        if (cell.type == CellType::shared_string && detail::parse_string_index(cell.text, index)) {
            used.push_back(index);
        }
        return true;
    }
};

// Keeps the raw cells at the wanted addresses, and checks the cells streamed on the way as
// making their values would: numbers now, shared-string numbers once the strings are read.
// The highest string number so far is noted at each cell that raises it, so the first cell
// naming a string that does not exist can be found later.
class PickingSink : public CellSink {
public:
    PickingSink(const CellMaker& maker, const std::vector<CellAddress>& cells)
        : raws(cells.size()), found(cells.size(), false), m_maker(maker), m_cells(cells),
          m_remaining(cells.size()) {
        for (const auto& cell : cells) m_last_row = std::max(m_last_row, cell.row);
    }

    std::vector<RawCell> raws;
    std::vector<bool> found;
    std::vector<std::uint32_t> wanted_strings;
    std::vector<std::pair<std::uint32_t, RawCell>> string_highs;

    bool take(RawCell& cell) override {
        std::uint32_t index = 0;
        if (cell.type == CellType::shared_string) {
            if (!detail::parse_string_index(cell.text, index)) m_maker.fail_string(cell);
            if (string_highs.empty() || index > string_highs.back().first) {
                string_highs.emplace_back(index, cell);
            }
        } else if (cell.type == CellType::number) {
            m_maker.make_number(cell, m_scratch, false);
        }
        if (cell.row > m_last_row) return false;
        for (std::size_t i = 0; i < m_cells.size(); ++i) {
            if (!found[i] && m_cells[i].row == cell.row && m_cells[i].column == cell.column) {
                raws[i] = cell;
                found[i] = true;
                --m_remaining;
                if (cell.type == CellType::shared_string) wanted_strings.push_back(index);
            }
        }
        return m_remaining > 0;
    }

private:
    const CellMaker& m_maker;
    const std::vector<CellAddress>& m_cells;
    std::size_t m_remaining;
    std::uint32_t m_last_row = 0;
    CellValue m_scratch;
};

void sort_unique(std::vector<std::uint32_t>& numbers) {
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
}

// Reads the shared strings that a reading of the whole sheet can name.
void load_strings_for_sheet(detail::XlsxWorkbook& workbook) {
    if (workbook.strings_cover_sheet) return;
    if (workbook.strings_part_size() <= k_whole_strings_part) {
        workbook.load_strings(nullptr, std::numeric_limits<std::uint32_t>::max());
    } else {
        StringUseSink uses;
        stream_sheet(workbook, uses);
        sort_unique(uses.used);
        workbook.load_strings(&uses.used, uses.used.empty() ? 0 : uses.used.back());
    }
    workbook.strings_cover_sheet = true;
}

}  // namespace

XlsxReader::XlsxReader(const std::filesystem::path& path, std::uint64_t max_entry_size)
    : XlsxReader(path, {}, max_entry_size) {}

XlsxReader::XlsxReader(const std::filesystem::path& path, std::string_view sheet,
                       std::uint64_t max_entry_size)
    : m_workbook(std::make_unique<detail::XlsxWorkbook>(path, max_entry_size)) {
    m_workbook->load(sheet);
}

XlsxReader::~XlsxReader() = default;
XlsxReader::XlsxReader(XlsxReader&&) noexcept = default;
XlsxReader& XlsxReader::operator=(XlsxReader&&) noexcept = default;

const std::string& XlsxReader::sheet_name() const { return m_workbook->sheet_name; }

std::size_t XlsxReader::sheet_count() const { return m_workbook->sheet_count; }

std::uint64_t XlsxReader::parts_size() const {
    return m_workbook->archive.size_of(m_workbook->sheet_index) + m_workbook->strings_part_size();
}

void XlsxReader::for_each_cell(
    const std::function<bool(std::uint32_t row, std::uint32_t column, const CellValue& value)>&
        visit) {
    auto& workbook = *m_workbook;
    workbook.load_styles(std::numeric_limits<std::uint32_t>::max());
    load_strings_for_sheet(workbook);
    const CellMaker maker(workbook);
    VisitingSink sink(maker, visit);
    stream_sheet(workbook, sink);
}

// Reads the sheet only as far as the wanted cells, then only the strings and styles those
// cells need; a failure on the way is reported as reading cell by cell would meet it.
std::vector<CellValue> XlsxReader::read_cells(const std::vector<CellAddress>& cells) {
    std::vector<CellValue> values(cells.size());
    if (cells.empty()) return values;
    auto& workbook = *m_workbook;
    const CellMaker maker(workbook);
    PickingSink picked(maker, cells);
    std::exception_ptr failure;
    try {
        stream_sheet(workbook, picked);
    } catch (const Error&) {
        failure = std::current_exception();
    }
    if (!picked.string_highs.empty()) {
        sort_unique(picked.wanted_strings);
        workbook.load_strings(&picked.wanted_strings, picked.string_highs.back().first);
        for (const auto& [index, cell] : picked.string_highs) {
            if (index >= workbook.strings.count()) maker.fail_string(cell);
        }
    }
    if (failure) std::rethrow_exception(failure);

    std::optional<std::uint32_t> last_style;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (picked.found[i] && picked.raws[i].type == CellType::number) {
            last_style = std::max(last_style.value_or(0), picked.raws[i].style);
        }
    }
    if (last_style) workbook.load_styles(*last_style);
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (picked.found[i]) maker.make(picked.raws[i], values[i]);
    }
    return values;
}

}  // namespace helmkit
