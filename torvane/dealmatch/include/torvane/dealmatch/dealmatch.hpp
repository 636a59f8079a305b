#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "helmkit/base/app_logging.hpp"
#include "helmkit/base/json.hpp"
#include "helmkit/table/table.hpp"
#include "helmkit/workbook/excel_tools.hpp"

namespace torvane::dealmatch {

// The tool's logger, "Dealmatch".
helmkit::app_logging::Logger& logger();

// Matches the system order list (CSV) against the customer order list (workbook) on PO and
// QTY and writes result.xlsx: the matches by PO with the monthly summary beside them, the
// matches by system delivery date, and on request the rows of either side left unmatched.
class Dealmatch {
public:
    // Takes the keys of the configuration section `config`, each with its default when absent.
    // Throws helmkit::Error when `config` or one of its two cell sections is not a JSON
    // object, or a key has the wrong type (a text, a truth value, a list of texts).
    explicit Dealmatch(const nlohmann::ordered_json& config);

    // Loads, matches and writes, then logs a summary line of the rows read on each side, the
    // records matched and those whose delivery dates differ. Returns (success, message);
    // failures of the processing (reading, matching, writing) come back as (false, their
    // message). With "report_unmatched", the unmatched rows' cells move out of the loaded
    // tables into the unmatched sheets.
    std::pair<bool, std::string> run();

    const std::optional<helmkit::Table>& system_df() const { return m_system_df; }
    const std::optional<helmkit::Table>& customer_df() const { return m_customer_df; }
    const std::optional<helmkit::Table>& result_df() const { return m_result_df; }
    // The data file that run() did not find, when that ended it.
    const std::optional<std::string>& missing_file() const { return m_missing_file; }

private:
    // The steps of the run, and inside them those from loading the system data to writing
    // the result.
    std::pair<bool, std::string> _run();
    std::pair<bool, std::string> _process();
    void _write_debug_workbook();
    // The customer workbook as read, dates normalised, with the rows whose date was no date.
    struct CustomerRead {
        helmkit::excelTools::ReadTable read;
        std::vector<std::size_t> undated;
    };
    // Reads the customer workbook, on whichever thread runs it.
    CustomerRead _read_customer() const;

    std::string m_system_data_path;
    std::string m_customer_data_path;
    std::string m_output_dir;
    std::string m_sys_po_cell;
    std::string m_sys_so_cell;
    std::string m_sys_so_pos_cell;
    std::string m_sys_so_suffix_cell;
    std::string m_sys_qty_cell;
    std::string m_sys_rdd_cell;
    std::string m_po_cell;
    std::string m_qty_cell;
    std::string m_rdd_cell;
    bool m_sys_decimal_comma = false;
    bool m_sys_day_first = false;
    std::string m_sheet;
    bool m_day_first = false;
    bool m_report_unmatched = false;
    std::optional<std::vector<std::string>> m_result_columns;
    std::vector<std::uint32_t> m_system_rows;
    std::vector<std::uint32_t> m_customer_rows;
    std::size_t m_differing_dates = 0;
    std::optional<helmkit::Table> m_system_df;
    std::optional<helmkit::Table> m_customer_df;
    std::optional<helmkit::Table> m_result_df;
    std::optional<std::string> m_missing_file;
};

}  // namespace torvane::dealmatch
