#pragma once

#include <xlsxwriter.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace torvane_test {

// A workbook written by libxlsxwriter for a test, in a folder created when missing; close()
// writes it and throws when libxlsxwriter reports an error.
class TestWorkbook {
public:
    explicit TestWorkbook(const std::filesystem::path& path, bool constant_memory = false);
    ~TestWorkbook();
    TestWorkbook(const TestWorkbook&) = delete;
    TestWorkbook& operator=(const TestWorkbook&) = delete;

    lxw_workbook* get() const { return m_workbook; }
    lxw_worksheet* add_sheet(const char* name = nullptr);
    // A cell format with the number format `code` ("yyyy-mm-dd"), or the built-in format `index`.
    lxw_format* number_format(const char* code);
    lxw_format* number_format_index(int index);
    void close();

private:
    lxw_workbook* m_workbook = nullptr;
};

// Writes a zip archive holding `entries` (name, content), deflated, for workbooks whose XML a
// test writes itself.
void write_zip(const std::filesystem::path& path,
               const std::vector<std::pair<std::string, std::string>>& entries);

// The entries of the zip archive at `path` (name to content); throws when it cannot be read.
std::map<std::string, std::string> read_zip(const std::filesystem::path& path);

// One entry of write_repeating_zip: `head`, then `piece` `repeat` times, then `tail`.
struct RepeatingEntry {
    std::string name;
    std::string head;
    std::string piece;
    std::uint32_t repeat = 0;
    std::string tail;
};

// Writes a zip archive whose entries may inflate to far more than the archive holds (below
// 4 GiB each), for tests of hostile workbooks: a repeated piece is deflated once and its
// compressed form written once per repetition.
void write_repeating_zip(const std::filesystem::path& path,
                         const std::vector<RepeatingEntry>& entries);

// The parts of a minimal .xlsx around `sheet_data` (the content of <sheetData>), with the
// given workbook attributes, shared strings (<si> elements) and styles; used with write_zip.
struct RawWorkbook {
    std::vector<std::pair<std::string, std::string>> sheets;  // name, content of <sheetData>
    std::string shared_strings;                               // <si> elements, or none
    std::string styles;                                       // content of <styleSheet>, or none
    std::string workbook_pr;                                  // attributes of <workbookPr>
    int active_tab = 0;
    std::vector<std::pair<std::string, std::string>> parts() const;
};

// Writes `raw` with the text "@@" in one of its parts replaced by `head`, then `piece`
// `repeat` times, then `tail` (write_repeating_zip): a small file for a part of any size.
void write_repeating_workbook(const std::filesystem::path& path, const RawWorkbook& raw,
                              const std::string& head, const std::string& piece,
                              std::uint32_t repeat, const std::string& tail);

}  // namespace torvane_test
