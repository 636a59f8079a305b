// The CSV reader, field by field and as dealmatch reads its table from it.
#include <cstdint>
#include <cstdlib>

#include "fuzz_input.hpp"
#include "helmkit/base/app_logging.hpp"
#include "helmkit/base/error.hpp"
#include "helmkit/workbook/csv_reader.hpp"
#include "helmkit/workbook/excel_tools.hpp"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The Windows-1252 warning would be logged for most inputs.
    setenv("TORVANE_LOG_LEVEL", "error", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto path = torvane_fuzz::scratch_file("input.csv", torvane_fuzz::as_text(data, size));
    try {
        helmkit::for_each_csv_field(path, [](std::uint32_t, std::uint32_t, std::string_view) {});
    } catch (const helmkit::Error&) {
    }
    try {
        helmkit::excelTools::read_csv_by_cells(path, {{"po", "A2"}, {"qty", "B2"}, {"date", "D1"}},
                                               helmkit::app_logging::lazy_logger("Fuzz"));
    } catch (const helmkit::Error&) {
    }
    return 0;
}
