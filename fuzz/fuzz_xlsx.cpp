// The .xlsx reader as dealmatch and claimsort use it, on whole files (inputs starting "PK") or
// on hand-made parts zipped around the input: sheet data, shared strings, styles and workbook
// attributes, separated by \x01, so that the fuzzer reaches the XML behind the compression.
#include <cstdint>
#include <string>

#include "fuzz_input.hpp"
#include "helmkit/base/error.hpp"
#include "helmkit/workbook/excel_tools.hpp"
#include "helmkit/workbook/xlsx_reader.hpp"
#include "workbook_files.hpp"

namespace {

std::filesystem::path workbook_file(std::string_view bytes) {
    if (bytes.substr(0, 2) == "PK") return torvane_fuzz::scratch_file("input.xlsx", bytes);
    const auto parts = torvane_fuzz::split_parts(bytes, '\x01', 4);
    torvane_test::RawWorkbook raw;
    raw.sheets = {{"Sheet1", std::string(parts[0])}};
    raw.shared_strings = parts[1];
    raw.styles = parts[2];
    raw.workbook_pr = parts[3];
    const auto path = torvane_fuzz::scratch_file("input.xlsx", "");
    torvane_test::write_zip(path, raw.parts());
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto path = workbook_file(torvane_fuzz::as_text(data, size));
    try {
        helmkit::XlsxReader reader(path);
        reader.for_each_cell([](std::uint32_t, std::uint32_t, const helmkit::CellValue&) {
            return true;
        });
    } catch (const helmkit::Error&) {
    }
    try {
        helmkit::XlsxReader reader(path);
        reader.read_cells({{2, 1}, {1, 2}, {6, 4}});
    } catch (const helmkit::Error&) {
    }
    try {
        helmkit::excelTools::read_excel_by_cells(path, {{"first", "A1"}, {"second", "B2"},
                                                        {"third", "C1"}});
    } catch (const helmkit::Error&) {
    }
    return 0;
}
