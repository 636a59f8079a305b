#pragma once

#include <xlsxwriter.h>

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

}  // namespace torvane_test
