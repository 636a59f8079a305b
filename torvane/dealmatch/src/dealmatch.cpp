#include "torvane/dealmatch/dealmatch.hpp"

#include <cstdlib>
#include <future>

#include "helmkit/base/config_value.hpp"
#include "helmkit/base/progress.hpp"
#include "helmkit/base/error.hpp"
#include "helmkit/workbook/excel_tools.hpp"
#include "helmkit/files/file_mg.hpp"
#include "helmkit/workbook/xlsx_reader.hpp"
#include "torvane/dealmatch/monthly_summary.hpp"

using nlohmann::ordered_json;
namespace fs = std::filesystem;
namespace excelTools = helmkit::excelTools;
namespace fileMg = helmkit::fileMg;

namespace torvane::dealmatch {

namespace {

const std::vector<std::string> k_cols_order{"PO",  "SO",         "SO_POS",      "SO_SUFFIX",
                                            "QTY", "SYSTEM_RDD", "CUSTOMER_RDD"};

const ordered_json& object_key(const ordered_json& section, const char* key) {
    static const ordered_json k_empty = ordered_json::object();
    const auto found = section.find(key);
    if (found == section.end()) return k_empty;
    if (!found->is_object()) {
        throw helmkit::Error("'" + std::string(key) +
                             "' in the \"config\" section must be a JSON object, not " +
                             found->type_name());
    }
    return *found;
}

bool debug_mode() {
    const char* value = std::getenv("TORVANE_DEBUG");
    return value != nullptr && std::string_view(value) == "1";
}

bool absent_or_empty(const std::optional<helmkit::Table>& table) {
    return !table || table->empty();
}

// "1 system row", "2 system rows": the row count of `table` (0 when absent) with `noun`.
std::string count_of(const std::optional<helmkit::Table>& table, const std::string& noun) {
    const std::size_t rows = table ? table->row_count() : 0;
    return std::to_string(rows) + " " + noun + (rows == 1 ? "" : "s");
}

// A column of a mapping with the configuration key its cell address comes from.
struct MappedCell {
    std::string column;
    std::string key;
    std::string address;
};

// Returns the reader's mapping of `cells`, every address checked first so that a bad one names
// where it comes from: "customer_data" -> "po_cell": 'PO' is not a cell address (...).
excelTools::CellMapping checked_mapping(const std::string& section,
                                        const std::vector<MappedCell>& cells) {
    excelTools::CellMapping mapping;
    for (const auto& cell : cells) {
        try {
            helmkit::parse_cell_address(cell.address);
        } catch (const helmkit::Error& error) {
            throw helmkit::Error("\"" + section + "\" -> \"" + cell.key + "\": " + error.what());
        }
        mapping.emplace_back(cell.column, cell.address);
    }
    return mapping;
}

// An existing file that only has another extension is worth a word before the run fails.
void explain_wrong_kind(const std::string& path, const char* kinds) {
    std::error_code error;
    if (path.empty() || !fs::is_regular_file(path, error)) return;
    const auto extension = fs::path(path).extension().string();
    logger().error("'" + path + "' exists but is not " + kinds + " (its extension is " +
                   (extension.empty() ? std::string("missing") : "'" + extension + "'") + ")");
}

}  // namespace

helmkit::app_logging::Logger& logger() { return helmkit::app_logging::lazy_logger("Dealmatch"); }

Dealmatch::Dealmatch(const ordered_json& config) {
    if (!config.is_object()) {
        throw helmkit::Error(std::string("the \"config\" section must be a JSON object, not ") +
                             config.type_name());
    }
    const std::string section = "the \"config\" section";
    m_system_data_path = helmkit::text_or(config, "system_data_path", "", section);
    m_customer_data_path = helmkit::text_or(config, "customer_data_path", "", section);
    m_output_dir = helmkit::text_or(config, "output_dir", "out", section);
    const auto& system = object_key(config, "system_data");
    const std::string system_section = "\"system_data\" of the \"config\" section";
    m_sys_po_cell = helmkit::text_or(system, "po_cell", "H2", system_section);
    m_sys_so_cell = helmkit::text_or(system, "so_cell", "I2", system_section);
    m_sys_so_pos_cell = helmkit::text_or(system, "so_pos_cell", "J2", system_section);
    m_sys_so_suffix_cell = helmkit::text_or(system, "so_suffix_cell", "K2", system_section);
    m_sys_qty_cell = helmkit::text_or(system, "qty_cell", "L2", system_section);
    m_sys_rdd_cell = helmkit::text_or(system, "rdd_cell", "Q2", system_section);
    const auto& customer = object_key(config, "customer_data");
    const std::string customer_section = "\"customer_data\" of the \"config\" section";
    m_po_cell = helmkit::text_or(customer, "po_cell", "F3", customer_section);
    m_qty_cell = helmkit::text_or(customer, "qty_cell", "O3", customer_section);
    m_rdd_cell = helmkit::text_or(customer, "rdd_cell", "R3", customer_section);
}

std::pair<bool, std::string> Dealmatch::run() {
    auto result = _run();
    logger().info("Summary: " + count_of(m_system_df, "system row") + " and " +
                  count_of(m_customer_df, "customer row") + " read, " +
                  count_of(m_result_df, "matched record"));
    return result;
}

std::pair<bool, std::string> Dealmatch::_run() {
    auto& log = logger();
    log.info("Starting Dealmatch process on system data: " + m_system_data_path);
    if (!fileMg::check_file_exists(m_system_data_path, {".csv"})) {
        return {false, "System data file not found at: " + m_system_data_path};
    }
    log.info("Loading System data from: " + m_system_data_path);
    try {
        return _process();
    } catch (const std::exception& error) {
        log.exception("Error during data processing");
        return {false, error.what()};
    }
}

std::pair<bool, std::string> Dealmatch::_process() {
    auto& log = logger();
    const std::vector<MappedCell> customer_cells{
        {"PO", "po_cell", m_po_cell}, {"QTY", "qty_cell", m_qty_cell}, {"RDD", "rdd_cell", m_rdd_cell}};
    helmkit::Progress progress("Dealmatch phases", 4);
    // The workbook is parsed on a second thread while this one reads the CSV. Only this thread
    // logs, and it takes the workbook's table (or its failure) where the steps ask for it, so
    // the log lines and the outcome are those of reading one file after the other.
    std::future<helmkit::Table> customer_load;
    const bool customer_found =
        fileMg::check_file_exists(m_customer_data_path, {".xlsx", ".xls"});
    if (customer_found) {
        // An .xls workbook is read by a forked child process, and no other thread may hold a
        // lock (the allocator's) at a fork: it is read after the CSV, on this thread.
        const bool forks = fileMg::check_file_exists(m_customer_data_path, {".xls"});
        const auto policy = forks ? std::launch::deferred : std::launch::async;
        customer_load = std::async(policy, [path = m_customer_data_path, customer_cells] {
            const auto cell_mapping = checked_mapping("customer_data", customer_cells);
            auto table = excelTools::read_excel_by_cells(path, cell_mapping);
            if (!table.empty()) normalise_dates(table, "RDD");
            return table;
        });
    }
    const auto sys_mapping = checked_mapping(
        "system_data", {{"PO", "po_cell", m_sys_po_cell},
                        {"SO", "so_cell", m_sys_so_cell},
                        {"SO_POS", "so_pos_cell", m_sys_so_pos_cell},
                        {"SO_SUFFIX", "so_suffix_cell", m_sys_so_suffix_cell},
                        {"QTY", "qty_cell", m_sys_qty_cell},
                        {"RDD", "rdd_cell", m_sys_rdd_cell}});
    m_system_df = excelTools::read_csv_by_cells(m_system_data_path, sys_mapping, log);
    normalise_dates(*m_system_df, "RDD");
    progress.advance();
    log.info("Successfully loaded system CSV with " + std::to_string(m_system_df->row_count()) +
             " rows.");

    if (!customer_found) {
        explain_wrong_kind(m_customer_data_path, "an .xlsx or .xls workbook");
        return {false, "Customer data file not found at: " + m_customer_data_path};
    }
    log.info("Loading customer data from: " + m_customer_data_path);
    m_customer_df = customer_load.get();
    progress.advance();

    if (debug_mode()) _write_debug_workbook();

    if (absent_or_empty(m_system_df) || absent_or_empty(m_customer_df)) {
        log.error("System or Customer data is missing/empty. Cannot proceed with matching.");
        return {false, "Data extraction failed or data is empty."};
    }

    log.info("Matching System and Customer data by PO and QTY...");
    excelTools::MergeOptions merge;
    merge.num_keys = {"PO", "QTY"};
    merge.how = "inner";
    merge.suffixes = {"_SYS", "_CUST"};
    m_result_df = excelTools::merge_exact_match(*m_system_df, *m_customer_df, merge);
    progress.advance();
    if (m_result_df->empty()) {
        log.warning("Merge resulted in an empty dataframe. No matching records found.");
        return {true, "Process completed, but no matching records found."};
    }

    m_result_df->rename_columns({{"RDD_SYS", "SYSTEM_RDD"}, {"RDD_CUST", "CUSTOMER_RDD"}});
    m_result_df = m_result_df->select_columns(k_cols_order);
    m_result_df = m_result_df->sorted_by({"PO", "SO_POS", "QTY"});
    const helmkit::Table result_by_rdd = m_result_df->sorted_by({"SYSTEM_RDD", "PO"});
    log.info("Matching complete. Found " + std::to_string(m_result_df->row_count()) +
             " matched records.");

    std::optional<helmkit::Table> summary_df;
    try {
        summary_df = monthly_summary(*m_result_df);
    } catch (const std::exception& error) {
        log.warning(std::string("Failed to create summary table: ") + error.what());
    }

    const auto result_path = fileMg::get_output_file_path(m_output_dir, "result.xlsx");
    std::vector<excelTools::SheetBlock> bypo_config{{&*m_result_df, false, 0}};
    if (summary_df && !summary_df->empty()) {
        bypo_config.push_back({&*summary_df, true, m_result_df->column_count() + 2,
                               excelTools::BlockChart::columns_by_row, "Matched QTY per month"});
    }
    const excelTools::SheetsData sheets_data{{"byPO", bypo_config},
                                             {"byRDD_SYS", {{&result_by_rdd, false, 0}}}};
    if (!excelTools::write_formatted_excel(result_path, sheets_data, log)) {
        return {false, "Failed to save result excel file."};
    }
    progress.advance();
    log.info("✅ Result Excel saved and formatted at: " + result_path.string());
    return {true, "Processed System & Customer Data and generated Result successfully."};
}

void Dealmatch::_write_debug_workbook() {
    auto& log = logger();
    log.debug("Debug mode is ON. Saving intermediate System & Customer DataFrames...");
    const auto debug_path = fileMg::get_output_file_path(m_output_dir, "debug_data.xlsx");
    excelTools::write_formatted_excel(
        debug_path, {{"SYS_DATA", {{&*m_system_df, false, 0}}}, {"CUS_DATA", {{&*m_customer_df, false, 0}}}},
        log);
    log.debug("✅ Debug files saved to " + m_output_dir);
}

}  // namespace torvane::dealmatch
