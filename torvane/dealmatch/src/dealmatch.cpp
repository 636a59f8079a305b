#include "torvane/dealmatch/dealmatch.hpp"

#include <algorithm>
#include <cstdlib>
#include <future>

#include "helmkit/base/config_value.hpp"
#include "helmkit/base/error.hpp"
#include "helmkit/base/progress.hpp"
#include "helmkit/files/file_mg.hpp"
#include "helmkit/text/number_text.hpp"
#include "helmkit/workbook/excel_tools.hpp"
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

// An existing file (or folder) that is not of the kind read is worth a word before the run
// fails on it as not found.
void explain_wrong_kind(const std::string& path, const char* kinds) {
    std::error_code error;
    if (path.empty() || !fs::exists(path, error)) return;
    if (fs::is_directory(path, error)) {
        logger().error("'" + path + "' is a folder, not " + kinds);
        return;
    }
    const auto extension = fs::path(path).extension().string();
    logger().error("'" + path + "' exists but is not " + kinds + " (its extension is " +
                   (extension.empty() ? std::string("missing") : "'" + extension + "'") + ")");
}

std::optional<std::vector<std::string>> text_list_or_none(const ordered_json& section,
                                                          const char* key) {
    const auto found = section.find(key);
    if (found == section.end()) return std::nullopt;
    const auto refuse = [&] {
        return helmkit::Error("'" + std::string(key) +
                              "' in the \"config\" section must be a list of texts");
    };
    if (!found->is_array()) throw refuse();
    std::vector<std::string> names;
    for (const auto& name : *found) {
        if (!name.is_string()) throw refuse();
        names.push_back(name.get<std::string>());
    }
    return names;
}

// Checks the result columns asked for: each one a result column, once, and at least one.
void check_result_columns(const std::vector<std::string>& names) {
    std::string valid;
    for (const auto& name : k_cols_order) valid += (valid.empty() ? "" : ", ") + name;
    if (names.empty()) throw helmkit::Error("\"result_columns\" names no column; valid: " + valid);
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (std::find(k_cols_order.begin(), k_cols_order.end(), names[i]) == k_cols_order.end()) {
            throw helmkit::Error("\"result_columns\": '" + names[i] +
                                 "' is not a result column; valid: " + valid);
        }
        if (std::find(names.begin(), names.begin() + static_cast<std::ptrdiff_t>(i), names[i]) !=
            names.begin() + static_cast<std::ptrdiff_t>(i)) {
            throw helmkit::Error("\"result_columns\": '" + names[i] + "' is named twice");
        }
    }
}

// " (rows 4, 9, 12, ...)": the file rows of the first three of `rows`.
std::string first_rows(const std::vector<std::size_t>& rows,
                       const std::vector<std::uint32_t>& source_rows) {
    std::string text = rows.size() == 1 ? " (row " : " (rows ";
    for (std::size_t i = 0; i < rows.size() && i < 3; ++i) {
        text += (i == 0 ? "" : ", ") + std::to_string(source_rows[rows[i]]);
    }
    return text + (rows.size() > 3 ? ", ...)" : ")");
}

// The rows whose QTY holds a value that is no whole number (a fraction, a text).
std::vector<std::size_t> rows_without_whole_qty(const helmkit::Table& table) {
    std::vector<std::size_t> rows;
    if (!table.has_column("QTY")) return rows;
    const auto& cells = table.column("QTY");
    for (std::size_t row = 0; row < cells.size(); ++row) {
        if (std::holds_alternative<std::int64_t>(cells[row]) || helmkit::is_missing(cells[row])) {
            continue;
        }
        const auto number = helmkit::read_as_number(cells[row]);
        if (!number || !std::holds_alternative<std::int64_t>(*number)) rows.push_back(row);
    }
    return rows;
}

// One warning for the values of a side that were read but can hardly be what was meant.
void warn_of_odd_values(const char* side, const helmkit::Table& table,
                        const std::vector<std::size_t>& undated,
                        const std::vector<std::uint32_t>& source_rows) {
    const auto odd_qty = rows_without_whole_qty(table);
    std::string parts;
    if (!odd_qty.empty()) {
        parts += std::to_string(odd_qty.size()) + " QTY " +
                 (odd_qty.size() == 1 ? "value is" : "values are") + " not a whole number" +
                 first_rows(odd_qty, source_rows);
    }
    if (!undated.empty()) {
        parts += (parts.empty() ? "" : "; ") + std::to_string(undated.size()) + " RDD " +
                 (undated.size() == 1 ? "value is" : "values are") + " not a date and left empty" +
                 first_rows(undated, source_rows);
    }
    if (!parts.empty()) logger().warning(std::string(side) + " data: " + parts);
}

helmkit::DayOrder day_order(bool day_first) {
    return day_first ? helmkit::DayOrder::day_first : helmkit::DayOrder::month_first;
}

// The two date columns of the shown matches, to highlight the rows where they differ; none
// when a column is not shown or no dates differ.
std::optional<std::pair<std::size_t, std::size_t>> differing_dates_columns(
    const helmkit::Table& shown, std::size_t differing) {
    const auto& names = shown.column_names();
    const auto system = std::find(names.begin(), names.end(), "SYSTEM_RDD");
    const auto customer = std::find(names.begin(), names.end(), "CUSTOMER_RDD");
    if (differing == 0 || system == names.end() || customer == names.end()) return std::nullopt;
    return std::pair<std::size_t, std::size_t>{static_cast<std::size_t>(system - names.begin()),
                                               static_cast<std::size_t>(customer - names.begin())};
}

std::size_t count_differing(const helmkit::Table& result) {
    const auto& system = result.column("SYSTEM_RDD");
    const auto& customer = result.column("CUSTOMER_RDD");
    std::size_t count = 0;
    for (std::size_t row = 0; row < system.size(); ++row) count += system[row] != customer[row];
    return count;
}

// The rows of a side that no pair of `taken` names, in table order.
std::vector<std::size_t> rows_left_out(std::size_t rows, const std::vector<std::size_t>& taken) {
    std::vector<char> hit(rows, 0);
    for (const auto row : taken) hit[row] = 1;
    std::vector<std::size_t> left_out;
    for (std::size_t row = 0; row < rows; ++row) {
        if (hit[row] == 0) left_out.push_back(row);
    }
    return left_out;
}

// The rows `rows` of `side` (their cells moved out) after a column "ROW" of their file rows.
helmkit::Table unmatched_table(helmkit::Table& side, const std::vector<std::size_t>& rows,
                               const std::vector<std::uint32_t>& source_rows) {
    helmkit::Table table;
    std::vector<helmkit::CellValue> numbers;
    numbers.reserve(rows.size());
    for (const auto row : rows) numbers.emplace_back(std::int64_t{source_rows[row]});
    table.add_column("ROW", std::move(numbers));
    for (const auto& name : side.column_names()) {
        auto& cells = side.column(name);
        std::vector<helmkit::CellValue> taken;
        taken.reserve(rows.size());
        for (const auto row : rows) taken.push_back(std::move(cells[row]));
        table.add_column(name, std::move(taken));
    }
    return table;
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
    m_sys_decimal_comma = helmkit::bool_or(system, "decimal_comma", false, system_section);
    m_sys_day_first = helmkit::bool_or(system, "day_first", false, system_section);
    const auto& customer = object_key(config, "customer_data");
    const std::string customer_section = "\"customer_data\" of the \"config\" section";
    m_po_cell = helmkit::text_or(customer, "po_cell", "F3", customer_section);
    m_qty_cell = helmkit::text_or(customer, "qty_cell", "O3", customer_section);
    m_rdd_cell = helmkit::text_or(customer, "rdd_cell", "R3", customer_section);
    m_sheet = helmkit::text_or(customer, "sheet", "", customer_section);
    m_day_first = helmkit::bool_or(customer, "day_first", false, customer_section);
    m_report_unmatched = helmkit::bool_or(config, "report_unmatched", false, section);
    m_result_columns = text_list_or_none(config, "result_columns");
}

std::pair<bool, std::string> Dealmatch::run() {
    auto result = _run();
    logger().info("Summary: " + count_of(m_system_df, "system row") + " and " +
                  count_of(m_customer_df, "customer row") + " read, " +
                  count_of(m_result_df, "matched record") +
                  (m_result_df && !m_result_df->empty()
                       ? ", " + std::to_string(m_differing_dates) + " with differing delivery dates"
                       : std::string()));
    return result;
}

std::pair<bool, std::string> Dealmatch::_run() {
    auto& log = logger();
    log.info("Starting Dealmatch process on system data: " + m_system_data_path);
    if (!fileMg::check_file_exists(m_system_data_path, {".csv"})) {
        explain_wrong_kind(m_system_data_path, "a .csv file");
        m_missing_file = m_system_data_path;
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
    if (m_result_columns) check_result_columns(*m_result_columns);
    helmkit::Progress progress("Dealmatch phases", 4);
    // The workbook is parsed on a second thread while this one reads the CSV. Only this thread
    // logs, and it takes the workbook's table (or its failure) where the steps ask for it, so
    // the log lines and the outcome are those of reading one file after the other.
    std::future<CustomerRead> customer_load;
    const bool customer_found =
        fileMg::check_file_exists(m_customer_data_path, {".xlsx", ".xls"});
    if (customer_found) {
        // An .xls workbook is read by a forked child process, and no other thread may hold a
        // lock (the allocator's) at a fork: it is read after the CSV, on this thread.
        const bool forks = fileMg::check_file_exists(m_customer_data_path, {".xls"});
        const auto policy = forks ? std::launch::deferred : std::launch::async;
        customer_load = std::async(policy, [this] { return _read_customer(); });
    }
    const auto sys_mapping = checked_mapping(
        "system_data", {{"PO", "po_cell", m_sys_po_cell},
                        {"SO", "so_cell", m_sys_so_cell},
                        {"SO_POS", "so_pos_cell", m_sys_so_pos_cell},
                        {"SO_SUFFIX", "so_suffix_cell", m_sys_so_suffix_cell},
                        {"QTY", "qty_cell", m_sys_qty_cell},
                        {"RDD", "rdd_cell", m_sys_rdd_cell}});
    excelTools::ReadOptions system_options;
    system_options.decimal_comma = m_sys_decimal_comma;
    auto system = excelTools::read_csv_table(m_system_data_path, sys_mapping, log, system_options);
    const auto system_undated = normalise_dates(system.table, "RDD", day_order(m_sys_day_first));
    m_system_df = std::move(system.table);
    m_system_rows = std::move(system.source_rows);
    progress.advance();
    log.info("Successfully loaded system CSV with " + std::to_string(m_system_df->row_count()) +
             " rows.");
    warn_of_odd_values("System", *m_system_df, system_undated, m_system_rows);

    if (!customer_found) {
        explain_wrong_kind(m_customer_data_path, "an .xlsx or .xls workbook");
        m_missing_file = m_customer_data_path;
        return {false, "Customer data file not found at: " + m_customer_data_path};
    }
    log.info("Loading customer data from: " + m_customer_data_path);
    auto customer = customer_load.get();
    m_customer_df = std::move(customer.read.table);
    m_customer_rows = std::move(customer.read.source_rows);
    log.info("Read " + count_of(m_customer_df, "customer row") + " from the sheet '" +
             customer.read.sheet + "'.");
    warn_of_odd_values("Customer", *m_customer_df, customer.undated, m_customer_rows);
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
    excelTools::MatchedRows matched;
    m_result_df = excelTools::merge_exact_match(*m_system_df, *m_customer_df, merge, &matched);
    progress.advance();
    const auto system_left = rows_left_out(m_system_df->row_count(), matched.left);
    const auto customer_left = rows_left_out(m_customer_df->row_count(), matched.right);
    log.info("Unmatched: " + std::to_string(system_left.size()) + " system rows, " +
             std::to_string(customer_left.size()) + " customer rows");
    if (m_result_df->empty()) {
        log.warning("Merge resulted in an empty dataframe. No matching records found.");
        return {true, "Process completed, but no matching records found."};
    }

    m_result_df->rename_columns({{"RDD_SYS", "SYSTEM_RDD"}, {"RDD_CUST", "CUSTOMER_RDD"}});
    m_result_df = m_result_df->select_columns(k_cols_order);
    m_result_df = m_result_df->sorted_by({"PO", "SO_POS", "QTY"});
    helmkit::Table result_by_rdd = m_result_df->sorted_by({"SYSTEM_RDD", "PO"});
    log.info("Matching complete. Found " + std::to_string(m_result_df->row_count()) +
             " matched records.");
    m_differing_dates = count_differing(*m_result_df);

    std::optional<helmkit::Table> summary_df;
    try {
        summary_df = monthly_summary(*m_result_df);
    } catch (const std::exception& error) {
        log.warning(std::string("Failed to create summary table: ") + error.what());
    }

    // The columns asked for, in their order, on the two sheets of matches; the summary and
    // the counts above were made of all of them.
    helmkit::Table by_po_shown;
    const helmkit::Table* by_po = &*m_result_df;
    if (m_result_columns) {
        by_po_shown = m_result_df->select_columns(*m_result_columns);
        result_by_rdd = result_by_rdd.select_columns(*m_result_columns);
        by_po = &by_po_shown;
    }
    const auto highlight = differing_dates_columns(*by_po, m_differing_dates);

    const auto result_path = fileMg::get_output_file_path(m_output_dir, "result.xlsx");
    std::vector<excelTools::SheetBlock> bypo_config{{by_po, false, 0}};
    bypo_config.front().highlight_differing = highlight;
    if (summary_df && !summary_df->empty()) {
        bypo_config.push_back({&*summary_df, true, by_po->column_count() + 2,
                               excelTools::BlockChart::columns_by_row, "Matched QTY per month"});
    }
    excelTools::SheetBlock by_rdd_block{&result_by_rdd, false, 0};
    by_rdd_block.highlight_differing = highlight;
    excelTools::SheetsData sheets_data{{"byPO", bypo_config}, {"byRDD_SYS", {by_rdd_block}}};
    helmkit::Table unmatched_system;
    helmkit::Table unmatched_customer;
    if (m_report_unmatched) {
        unmatched_system = unmatched_table(*m_system_df, system_left, m_system_rows);
        unmatched_customer = unmatched_table(*m_customer_df, customer_left, m_customer_rows);
        sheets_data.push_back({"UNMATCHED_SYS", {{&unmatched_system, false, 0}}});
        sheets_data.push_back({"UNMATCHED_CUST", {{&unmatched_customer, false, 0}}});
    }
    try {
        excelTools::write_formatted_excel(result_path, sheets_data);
    } catch (const helmkit::Error& error) {
        log.error(error.what());
        return {false, "Failed to save result excel file."};
    }
    progress.advance();
    log.info("✅ Result Excel saved and formatted at: " + result_path.string());
    return {true, "Processed System & Customer Data and generated Result successfully."};
}

Dealmatch::CustomerRead Dealmatch::_read_customer() const {
    const auto cell_mapping = checked_mapping("customer_data", {{"PO", "po_cell", m_po_cell},
                                                                {"QTY", "qty_cell", m_qty_cell},
                                                                {"RDD", "rdd_cell", m_rdd_cell}});
    excelTools::ReadOptions options;
    options.sheet = m_sheet;
    CustomerRead customer{excelTools::read_excel_table(m_customer_data_path, cell_mapping, options),
                          {}};
    if (!customer.read.table.empty()) {
        customer.undated = normalise_dates(customer.read.table, "RDD", day_order(m_day_first));
    }
    return customer;
}

void Dealmatch::_write_debug_workbook() {
    auto& log = logger();
    log.debug("Debug mode is ON. Saving intermediate System & Customer DataFrames...");
    const auto debug_path = fileMg::get_output_file_path(m_output_dir, "debug_data.xlsx");
    try {
        excelTools::write_formatted_excel(debug_path,
                                          {{"SYS_DATA", {{&*m_system_df, false, 0}}},
                                           {"CUS_DATA", {{&*m_customer_df, false, 0}}}});
    } catch (const helmkit::Error& error) {
        log.error(error.what());
    }
    log.debug("✅ Debug files saved to " + m_output_dir);
}

}  // namespace torvane::dealmatch
