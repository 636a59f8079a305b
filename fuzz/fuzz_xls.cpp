// The .xls reader (FreeXL) as dealmatch uses it.
#include <cstdint>

#include "fuzz_input.hpp"
#include "helmkit/base/error.hpp"
#include "helmkit/workbook/excel_tools.hpp"
#include "helmkit/workbook/xls_reader.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto path = torvane_fuzz::scratch_file("input.xls", torvane_fuzz::as_text(data, size));
    try {
        helmkit::XlsReader reader(path);
        reader.for_each_cell([](std::uint32_t, std::uint32_t, const helmkit::CellValue&) {
            return true;
        });
    } catch (const helmkit::Error&) {
    }
    try {
        helmkit::excelTools::read_excel_by_cells(path, {{"po", "F3"}, {"qty", "O3"}, {"rdd", "R3"}});
    } catch (const helmkit::Error&) {
    }
    return 0;
}
