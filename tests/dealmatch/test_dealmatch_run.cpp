#include <gtest/gtest.h>

#include "dealmatch_fixture.hpp"
#include "helmkit/workbook/xlsx_reader.hpp"

using namespace dealmatch_test;
using helmkit::CellValue;
using nlohmann::json;

namespace {

CellValue text(const char* value) { return CellValue(std::string(value)); }
CellValue whole(std::int64_t value) { return CellValue(value); }
CellValue day(int year, unsigned month, unsigned d) {
    return helmkit::DateTime(std::chrono::local_days(std::chrono::year(year) / month / d));
}

json number(double value) { return json::array({"number", value}); }
json str(const char* value) { return json::array({"text", value}); }
json date(const char* iso) { return json::array({"date", std::string(iso) + "T00:00:00"}); }
// A list of cell entries (a brace list of [kind, value] pairs would make a JSON object).
json list(std::initializer_list<json> cells) {
    json result = json::array();
    for (const auto& cell : cells) result.push_back(cell);
    return result;
}

const std::string k_success =
    "Success: Processed System & Customer Data and generated Result successfully.\n";

// Matches that cross a year end, with dates in several notations, a date that does not exist
// and keys of mixed types.
class RealShapedRun : public DealmatchRun {
protected:
    RealShapedRun() {
        write_system("\xEF\xBB\xBF" + k_system_header +
                     system_line("4500002", "SO-3", "10", "3", "2025-01-05") +
                     system_line("4500001", "SO-2", "20", "7", "15.01.2025") +
                     system_line("4500001", "SO-1", "10", "5", "2024-12-15") +
                     system_line("4500003", "SO-4", "10", "9", "2024-02-30") +
                     system_line("4500004", "SO-5", "10", "1", ""));
        write_customer({{whole(4500001), whole(5), day(2024, 12, 20)},
                        {text("4500001"), whole(7), text("2025-01-10")},
                        {whole(4500002), CellValue(3.0), text("02/01/2025")},
                        {whole(4500003), whole(9), CellValue()},
                        {whole(4500004), whole(2), text("2025-01-01")},
                        {whole(4500099), whole(1), text("soon")}});
    }
};

}  // namespace

TEST_F(RealShapedRun, WritesMatchesByPoWithTheSummaryAndByDate) {
    const auto result = run();
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, k_success);
    EXPECT_EQ(
        log_messages(result.err, "INFO"),
        (std::vector<std::string>{
            "Starting Dealmatch process on system data: system.csv",
            "Loading System data from: system.csv",
            "Successfully loaded system CSV with 5 rows.",
            "Loading customer data from: customer.xlsx",
            "Read 6 customer rows from the sheet 'Orders'.",
            "Matching System and Customer data by PO and QTY...",
            "Unmatched: 1 system rows, 2 customer rows",
            "Matching complete. Found 4 matched records.",
            "✅ Result Excel saved and formatted at: " + (fs::path("out") / "result.xlsx").string(),
            "Summary: 5 system rows and 6 customer rows read, 4 matched records, 3 with "
            "differing delivery dates",
        }));
    // The day that does not exist and the text that is no date are named, never dropped in
    // silence.
    EXPECT_EQ(log_messages(result.err, "WARNING"),
              (std::vector<std::string>{
                  "System data: 1 RDD value is not a date and left empty (row 5)",
                  "Customer data: 1 RDD value is not a date and left empty (row 8)"}));

    const auto book = result_book();
    ASSERT_EQ(book["sheets"].size(), 2u);
    EXPECT_EQ(book["active"], "byPO");
    const auto& by_po = book["sheets"][0];
    const auto& by_rdd = book["sheets"][1];
    EXPECT_EQ(by_po["name"], "byPO");
    EXPECT_EQ(by_rdd["name"], "byRDD_SYS");

    const std::vector<std::string> header{"A1", "B1", "C1", "D1", "E1", "F1", "G1"};
    const json header_values = list({str("PO"),  str("SO"),         str("SO_POS"),      str("SO_SUFFIX"),
                                str("QTY"), str("SYSTEM_RDD"), str("CUSTOMER_RDD")});
    EXPECT_EQ(values_at(by_po, header), header_values);
    EXPECT_EQ(values_at(by_rdd, header), header_values);
    auto row = [](int n) {
        std::vector<std::string> cells;
        for (const char column : std::string("ABCDEFG")) cells.push_back(column + std::to_string(n));
        return cells;
    };
    const json first = list({number(4500001), str("SO-1"), number(10), number(0), number(5),
                        date("2024-12-15"), date("2024-12-20")});
    const json second = list({number(4500001), str("SO-2"), number(20), number(0), number(7),
                         date("2025-01-15"), date("2025-01-10")});
    const json third = list({number(4500002), str("SO-3"), number(10), number(0), number(3),
                        date("2025-01-05"), date("2025-02-01")});
    const json undated = list({number(4500003), str("SO-4"), number(10), number(0), number(9), nullptr,
                          nullptr});
    EXPECT_EQ(values_at(by_po, row(2)), first);
    EXPECT_EQ(values_at(by_po, row(3)), second);
    EXPECT_EQ(values_at(by_po, row(4)), third);
    EXPECT_EQ(values_at(by_po, row(5)), undated);
    EXPECT_EQ(values_at(by_po, row(6)), json(std::vector<json>(7, nullptr)));
    // By system date; the record without one last.
    EXPECT_EQ(values_at(by_rdd, row(2)), first);
    EXPECT_EQ(values_at(by_rdd, row(3)), third);
    EXPECT_EQ(values_at(by_rdd, row(4)), second);
    EXPECT_EQ(values_at(by_rdd, row(5)), undated);

    // The summary starts two empty columns after the result, at J: months in calendar order
    // across the year end, 0 where a side has none.
    EXPECT_EQ(values_at(by_po, {"H1", "I1", "J1", "K1", "L1", "M1", "N1"}),
              list({nullptr, nullptr, nullptr, str("24-Dec"), str("25-Jan"), str("25-Feb"), nullptr}));
    EXPECT_EQ(values_at(by_po, {"J2", "K2", "L2", "M2"}),
              list({str("SYS_RDD"), number(5), number(10), number(0)}));
    EXPECT_EQ(values_at(by_po, {"J3", "K3", "L3", "M3"}),
              list({str("CUS_RDD"), number(5), number(7), number(3)}));
    EXPECT_EQ(values_at(by_po, {"J4", "K4"}), list({nullptr, nullptr}));
    EXPECT_EQ(values_at(by_rdd, {"J1", "K1", "J2"}), list({nullptr, nullptr, nullptr}));

    // Formatting: dates shown as yyyy-mm-dd, bold headers, frozen header row, filter.
    EXPECT_EQ(by_po["cells"]["F2"][2], "yyyy-mm-dd");
    EXPECT_EQ(by_po["cells"]["A1"][3], true);
    EXPECT_EQ(by_po["cells"]["K1"][3], true);
    EXPECT_EQ(by_po["cells"]["A2"][3], false);
    EXPECT_EQ(by_po["freeze"], "A2");
    EXPECT_EQ(by_po["filter"], "A1:G5");
    EXPECT_EQ(by_rdd["freeze"], "A2");
    EXPECT_EQ(by_rdd["filter"], "A1:G5");
    EXPECT_GE(by_po["widths"]["G"].get<double>(), 12.0);
}

TEST_F(RealShapedRun, ResultIsReadBackByTheStreamingReaderToo) {
    ASSERT_EQ(run().out, k_success);
    std::map<std::string, CellValue> cells;
    helmkit::XlsxReader reader(path("out/result.xlsx"));
    EXPECT_EQ(reader.sheet_name(), "byPO");
    reader.for_each_cell([&](std::uint32_t r, std::uint32_t c, const CellValue& value) {
        cells[std::string(1, static_cast<char>('A' + c - 1)) + std::to_string(r)] = value;
        return true;
    });
    EXPECT_EQ(cells["A2"], whole(4500001));
    EXPECT_EQ(cells["B2"], text("SO-1"));
    EXPECT_EQ(cells["F2"], day(2024, 12, 15));
    EXPECT_EQ(cells["G4"], day(2025, 2, 1));
    EXPECT_EQ(cells.count("F5"), 0u);
    EXPECT_EQ(cells["J3"], text("CUS_RDD"));
    EXPECT_EQ(cells["M2"], whole(0));
    EXPECT_EQ(cells["M3"], whole(3));
    EXPECT_EQ(cells.count("N1"), 0u);
}

TEST_F(RealShapedRun, ByPoSheetHasAColumnChartOfTheSummaryBesideIt) {
    ASSERT_EQ(run().out, k_success);
    const auto parts = read_zip(path("out/result.xlsx"));
    ASSERT_EQ(parts.count("xl/charts/chart1.xml"), 1u);
    EXPECT_EQ(parts.count("xl/charts/chart2.xml"), 0u);
    const auto& chart = parts.at("xl/charts/chart1.xml");
    EXPECT_NE(chart.find("<c:barDir val=\"col\"/>"), std::string::npos);
    std::vector<std::string> formulas;
    for (auto at = chart.find("<c:f>"); at != std::string::npos; at = chart.find("<c:f>", at + 1)) {
        formulas.push_back(chart.substr(at + 5, chart.find("</c:f>", at) - at - 5));
    }
    // The system and the customer row over the three months of the summary (J1:M3).
    EXPECT_EQ(formulas, (std::vector<std::string>{"byPO!$J$2", "byPO!$K$1:$M$1", "byPO!$K$2:$M$2",
                                                  "byPO!$J$3", "byPO!$K$1:$M$1",
                                                  "byPO!$K$3:$M$3"}));
    // Anchored at row 1 in column O, one empty column right of the summary; only on byPO.
    EXPECT_NE(parts.at("xl/drawings/drawing1.xml")
                  .find("<xdr:from><xdr:col>14</xdr:col><xdr:colOff>0</xdr:colOff><xdr:row>0</xdr:row>"),
              std::string::npos);
    EXPECT_NE(parts.at("xl/worksheets/_rels/sheet1.xml.rels").find("drawing1.xml"), std::string::npos);
    EXPECT_EQ(parts.count("xl/worksheets/_rels/sheet2.xml.rels"), 0u);
}

TEST_F(RealShapedRun, ExistingResultIsReplacedWhole) {
    fs::create_directories(path("out"));
    write_file(path("out/result.xlsx"), "old result");
    ASSERT_EQ(run().out, k_success);
    EXPECT_NE(read_file(path("out/result.xlsx")), "old result");
    EXPECT_EQ(result_book()["sheets"].size(), 2u);
    for (const auto& entry : fs::directory_iterator(path("out"))) {
        EXPECT_EQ(entry.path().filename().string().front() != '.', true) << entry.path();
    }
}

TEST_F(RealShapedRun, DebugWorkbookOnlyForTheExactValue1) {
    for (const std::string value : {"true", "yes", "1 ", "0", ""}) {
        const auto result = run({{"TORVANE_DEBUG", value}});
        EXPECT_EQ(result.out, k_success) << value;
        EXPECT_FALSE(fs::exists(path("out/debug_data.xlsx"))) << "TORVANE_DEBUG=" << value;
        EXPECT_EQ(log_messages(result.err, "DEBUG"), std::vector<std::string>{}) << value;
    }
    const auto result = run({{"TORVANE_DEBUG", "1"}});
    EXPECT_EQ(result.out, k_success);
    EXPECT_EQ(log_messages(result.err, "DEBUG"),
              (std::vector<std::string>{
                  "Debug mode is ON. Saving intermediate System & Customer DataFrames...",
                  "✅ Debug files saved to out"}));
    const auto debug = read_back(path("out/debug_data.xlsx"));
    ASSERT_EQ(debug["sheets"].size(), 2u);
    const auto& system = debug["sheets"][0];
    const auto& customer = debug["sheets"][1];
    EXPECT_EQ(system["name"], "SYS_DATA");
    EXPECT_EQ(customer["name"], "CUS_DATA");
    EXPECT_EQ(values_at(system, {"A1", "B1", "C1", "D1", "E1", "F1", "G1"}),
              list({str("PO"), str("SO"), str("SO_POS"), str("SO_SUFFIX"), str("QTY"), str("RDD"),
                    nullptr}));
    // The loaded tables after date normalisation: the day that does not exist is missing.
    EXPECT_EQ(values_at(system, {"A4", "F4", "F5", "A6", "F6", "A7"}),
              list({number(4500001), date("2024-12-15"), nullptr, number(4500004), nullptr,
                    nullptr}));
    EXPECT_EQ(values_at(customer, {"A1", "B1", "C1", "A3", "C2", "C3", "C4", "C5", "C7", "A8"}),
              list({str("PO"), str("QTY"), str("RDD"), str("4500001"), date("2024-12-20"),
                    date("2025-01-10"), date("2025-02-01"), nullptr, nullptr, nullptr}));
}

TEST_F(DealmatchRun, NoMatchIsASuccessWithoutAWorkbook) {
    write_system(k_system_header + system_line("1", "SO", "10", "5", "2024-01-01"));
    write_customer({{whole(1), whole(6), text("2024-01-01")}, {whole(2), whole(5), CellValue()}});
    const auto result = run();
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "Success: Process completed, but no matching records found.\n");
    EXPECT_EQ(log_messages(result.err, "WARNING"),
              std::vector<std::string>{
                  "Merge resulted in an empty dataframe. No matching records found."});
    EXPECT_FALSE(fs::exists(path("out/result.xlsx")));
}

TEST_F(DealmatchRun, MissingOrWrongKindOfInputFileFails) {
    write_system(k_system_header + system_line("1", "SO", "10", "5", ""));
    write_customer({{whole(1), whole(5), CellValue()}});
    fs::copy_file(path("system.csv"), path("system.txt"));
    fs::copy_file(path("system.csv"), path("orders.CSV"));
    fs::copy_file(path("customer.xlsx"), path("customer.XLSX"));
    fs::create_directory(path("folder.csv"));
    const std::vector<std::tuple<std::string, std::string, std::string>> cases{
        {"missing.csv", "customer.xlsx", "Failed: System data file not found at: missing.csv"},
        {"system.txt", "customer.xlsx", "Failed: System data file not found at: system.txt"},
        {"folder.csv", "customer.xlsx", "Failed: System data file not found at: folder.csv"},
        {"system.csv", "missing.xlsx", "Failed: Customer data file not found at: missing.xlsx"},
        {"system.csv", "system.csv", "Failed: Customer data file not found at: system.csv"},
        {"system.csv", "", "Failed: Customer data file not found at: "},
        // Extensions compare ignoring letter case.
        {"orders.CSV", "customer.XLSX",
         "Success: Processed System & Customer Data and generated Result successfully."},
    };
    for (const auto& [system, customer, line] : cases) {
        write_config({{"system_data_path", system}, {"customer_data_path", customer}});
        const auto result = run();
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out, line + "\n") << system << " " << customer;
        const auto infos = log_messages(result.err, "INFO");
        if (line.starts_with("Failed: ")) {
            const std::string tried = line.starts_with("Failed: System") ? system : customer;
            const std::string where = tried.empty() ? "The path is empty"
                                                    : "Looked for '" + path(tried).string() + "'";
            EXPECT_EQ(infos.back(), where + " (current folder: '" + m_dir.path().string() + "')");
        } else {
            EXPECT_EQ(infos.back().find("Looked for"), std::string::npos);
        }
    }
    // The default output folder is "out".
    EXPECT_TRUE(fs::exists(path("out/result.xlsx")));
}

TEST_F(DealmatchRun, EmptyTableFailsAfterTheDebugDump) {
    write_system(k_system_header + system_line("1", "SO", "10", "5", "2024-01-01"));
    write_customer({});
    const auto result = run({{"TORVANE_DEBUG", "1"}});
    EXPECT_EQ(result.out, "Failed: Data extraction failed or data is empty.\n");
    EXPECT_EQ(log_messages(result.err, "ERROR"),
              std::vector<std::string>{
                  "System or Customer data is missing/empty. Cannot proceed with matching."});
    const auto debug = read_back(path("out/debug_data.xlsx"));
    ASSERT_EQ(debug["sheets"].size(), 2u);
    EXPECT_EQ(values_at(debug["sheets"][1], {"A1", "B1", "C1", "A2"}),
              list({str("PO"), str("QTY"), str("RDD"), nullptr}));
    EXPECT_FALSE(fs::exists(path("out/result.xlsx")));

    write_system(k_system_header);
    write_customer({{whole(1), whole(5), CellValue()}});
    EXPECT_EQ(run().out, "Failed: Data extraction failed or data is empty.\n");
}

TEST_F(DealmatchRun, DuplicateSystemRowsGiveTwoRecordsBothSummed) {
    write_system(k_system_header + system_line("77", "SO-A", "10", "4", "2024-03-01") +
                 system_line("77", "SO-B", "20", "4", "2024-03-09"));
    write_customer({{whole(77), whole(4), CellValue()}});
    ASSERT_EQ(run().out, k_success);
    const auto book = result_book();
    const auto& by_po = book["sheets"][0];
    EXPECT_EQ(values_at(by_po, {"B2", "B3", "A4"}), list({str("SO-A"), str("SO-B"), nullptr}));
    // No customer date at all: the customer row is 0 in every month.
    EXPECT_EQ(values_at(by_po, {"K1", "L1", "K2", "K3"}),
              list({str("24-Mar"), nullptr, number(8), number(0)}));
}

TEST_F(DealmatchRun, NoDateOnEitherSideLeavesOnlyTheResultBlock) {
    write_system(k_system_header + system_line("5", "SO", "10", "2", "later"));
    write_customer({{whole(5), whole(2), text("n/a")}});
    ASSERT_EQ(run().out, k_success);
    const auto book = result_book();
    const auto& by_po = book["sheets"][0];
    for (const auto& [address, cell] : by_po["cells"].items()) {
        EXPECT_LT(address[0], 'H') << address;
    }
    EXPECT_EQ(values_at(by_po, {"A2", "F2", "G2"}), list({number(5), nullptr, nullptr}));
    // No summary, no chart.
    for (const auto& [name, content] : read_zip(path("out/result.xlsx"))) {
        EXPECT_EQ(name.find("chart"), std::string::npos) << name;
        EXPECT_EQ(name.find("drawing"), std::string::npos) << name;
    }
}

TEST_F(DealmatchRun, SummaryFailureIsAWarningAndTheRunSucceeds) {
    // Quantities that are no numbers still match as texts, but cannot be summed.
    write_system(k_system_header + system_line("5", "SO", "10", "n/a", "2024-05-05"));
    write_customer({{whole(5), text("n/a "), text("2024-05-06")}});
    const auto result = run();
    EXPECT_EQ(result.out, k_success);
    const auto warnings = log_messages(result.err, "WARNING");
    ASSERT_EQ(warnings.size(), 3u);
    EXPECT_EQ(warnings[0], "System data: 1 QTY value is not a whole number (row 2)");
    EXPECT_EQ(warnings[1], "Customer data: 1 QTY value is not a whole number (row 3)");
    EXPECT_EQ(warnings[2].rfind("Failed to create summary table: ", 0), 0u) << warnings[2];
    const auto book = result_book();
    const auto& by_po = book["sheets"][0];
    EXPECT_EQ(values_at(by_po, {"E2", "F2", "J1", "J2"}),
              list({str("n/a"), date("2024-05-05"), nullptr, nullptr}));
}

TEST_F(DealmatchRun, MixedKeysMatchAsNumbersAndSortWithoutFailing) {
    write_system(k_system_header + system_line("B-7", "S1", "10", "1", "") +
                 system_line("12", "S2", "10", "2", "") + system_line("\"00012\"", "S3", "5", "2", "") +
                 system_line("A-7", "S4", "10", "1", "") + system_line("3", "S5", "10", "4.0", ""));
    write_customer({{text(" A-7 "), whole(1), CellValue()},
                    {text("B-7"), text("1"), CellValue()},
                    {CellValue(12.0), whole(2), CellValue()},
                    {text("3"), whole(4), CellValue()},
                    {CellValue(), whole(1), CellValue()}});
    ASSERT_EQ(run().out, k_success);
    const auto book = result_book();
    const auto& by_po = book["sheets"][0];
    // Numbers before texts; 00012 keeps its zeros and matches 12 as a number.
    EXPECT_EQ(values_at(by_po, {"A2", "A3", "A4", "A5", "A6", "A7"}),
              list({number(3), number(12), str("00012"), str("A-7"), str("B-7"), nullptr}));
    // Equal PO: by SO_POS.
    EXPECT_EQ(values_at(by_po, {"B3", "B4"}), list({str("S2"), str("S3")}));
}

TEST_F(DealmatchRun, FailuresInsideTheRunAreReportedWithTheirMessage) {
    write_system(k_system_header + system_line("1", "SO", "10", "5", ""));
    write_customer({{whole(1), whole(5), CellValue()}});
    write_file(path("out"), "a file where the folder should be");
    auto result = run();
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out.rfind("Failed: cannot create the folder 'out'", 0), 0u) << result.out;
    auto errors = log_messages(result.err, "ERROR");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind("Error during data processing", 0), 0u) << errors[0];

    fs::remove(path("out"));
    write_file(path("customer.xlsx"), "PK\x03\x04 not really a workbook");
    result = run();
    EXPECT_EQ(result.out.rfind("Failed: ", 0), 0u);
    EXPECT_NE(result.out.find("customer.xlsx"), std::string::npos) << result.out;

    write_file(path("customer.xls"), "not an old workbook either");
    write_config({{"system_data_path", "system.csv"}, {"customer_data_path", "customer.xls"}});
    result = run();
    EXPECT_EQ(result.out.rfind("Failed: ", 0), 0u);
    EXPECT_NE(result.out.find("customer.xls"), std::string::npos) << result.out;

    write_config({{"system_data_path", "system.csv"},
                  {"customer_data_path", "customer.xlsx"},
                  {"system_data", {{"po_cell", "PO"}}}});
    result = run();
    EXPECT_EQ(result.out.rfind("Failed: ", 0), 0u);
    EXPECT_NE(result.out.find("'PO'"), std::string::npos) << result.out;

    write_file(path("system.csv"), k_system_header + "x;;;;;;;\"1;SO\n");
    write_config({{"system_data_path", "system.csv"}, {"customer_data_path", "customer.xlsx"}});
    result = run();
    EXPECT_EQ(result.out.rfind("Failed: ", 0), 0u);
    EXPECT_NE(result.out.find("system.csv"), std::string::npos) << result.out;
    EXPECT_FALSE(fs::exists(path("out/result.xlsx")));
}

TEST_F(DealmatchRun, WriterFailureIsFailedToSave) {
    write_system(k_system_header + system_line("1", "SO", "10", "5", ""));
    write_customer({{whole(1), whole(5), CellValue()}});
    fs::create_directories(path("out/result.xlsx"));
    const auto result = run();
    EXPECT_EQ(result.out, "Failed: Failed to save result excel file.\n");
    const auto errors = log_messages(result.err, "ERROR");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("result.xlsx"), std::string::npos) << errors[0];
    EXPECT_TRUE(fs::is_directory(path("out/result.xlsx")));
    for (const auto& entry : fs::directory_iterator(path("out"))) {
        EXPECT_EQ(entry.path().filename(), "result.xlsx") << "left behind: " << entry.path();
    }
}

TEST_F(DealmatchRun, OwnCellAddressesAndAWindowsExport) {
    // Rows count as spreadsheet software shows them, the blank line too: PO, SO and QTY from
    // row 4, dates from row 5 (one row lower).
    write_file(path("export.csv"),
               "Report\tstate\n\nPO\tSO\tQTY\n"
               "1\tS\xE9\t7\t\t\n2\tS2\t8\t\t2024-06-01\n\t\t\t\t2024-07-01\n");
    write_customer({{whole(1), whole(7), text("2024-06-03")}, {whole(2), whole(8), CellValue()}});
    write_config({{"system_data_path", "export.csv"},
                  {"customer_data_path", "customer.xlsx"},
                  {"system_data",
                   {{"po_cell", "A4"}, {"so_cell", "B4"}, {"qty_cell", "C4"}, {"rdd_cell", "E5"}}}});
    const auto result = run();
    ASSERT_EQ(result.out, k_success);
    const auto warnings = log_messages(result.err, "WARNING");
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("Windows-1252"), std::string::npos) << warnings[0];
    const auto book = result_book();
    const auto& by_po = book["sheets"][0];
    EXPECT_EQ(values_at(by_po, {"A2", "B2", "E2", "F2", "A3", "F3", "A4"}),
              list({number(1), str("Sé"), number(7), date("2024-06-01"), number(2),
                    date("2024-07-01"), nullptr}));
}

TEST_F(DealmatchRun, CustomerWorkbookInTheOldFormat) {
    fs::copy_file(source_dir() / "tests/fixtures/xls/orders.xls", path("orders.xls"));
    write_system(k_system_header + system_line("4500001", "S1", "10", "5", "2024-12-01") +
                 system_line("4500002", "S2", "10", "7.5", "2025-01-02") +
                 system_line("4500003", "S3", "10", "3", ""));
    write_config({{"system_data_path", "system.csv"}, {"customer_data_path", "orders.xls"}});
    ASSERT_EQ(run().out, k_success);
    const auto book = result_book();
    const auto& by_po = book["sheets"][0];
    EXPECT_EQ(values_at(by_po, {"A2", "E2", "G2", "A3", "E3", "G3", "A4"}),
              list({number(4500001), number(5), date("2024-12-20"), number(4500002), number(7.5),
                    date("2025-01-10"), nullptr}));
}

TEST_F(DealmatchRun, SampleExportAndAWorkbookSavedByOpenpyxl) {
    const auto examples = source_dir() / "examples/dealmatch";
    for (const char* name : {"system_data.csv", "customer_data.xlsx", "match.json"}) {
        fs::copy_file(examples / name, path(name), fs::copy_options::overwrite_existing);
    }
    const auto result = run_torvane({"dealmatch", "-c", "match.json"}, m_dir.path());
    ASSERT_EQ(result.out, k_success);
    EXPECT_NE(result.err.find("Found 8 matched records."), std::string::npos) << result.err;
    const auto book = result_book();
    const auto& by_po = book["sheets"][0];
    // The quoted name with a semicolon does not shift the columns.
    EXPECT_EQ(values_at(by_po, {"A2", "B2", "E2", "F2", "G2"}),
              list({number(4500017001), str("SO-880101"), number(120), date("2024-11-28"),
                    date("2024-12-02")}));
    EXPECT_EQ(values_at(by_po, {"K1", "L1", "M1", "N1", "O1", "P1"}),
              list({str("24-Nov"), str("24-Dec"), str("25-Jan"), str("25-Feb"), str("25-Mar"),
                    nullptr}));
    EXPECT_EQ(values_at(by_po, {"K2", "L2", "M2", "N2", "O2"}),
              list({number(120), number(115), number(600), number(0), number(90)}));
    EXPECT_EQ(values_at(by_po, {"K3", "L3", "M3", "N3", "O3"}),
              list({number(0), number(235), number(600), number(60), number(90)}));
}

TEST_F(DealmatchRun, InputsFailInTheOrderOfTheSteps) {
    // The workbook is read beside the CSV, but a broken CSV is still the failure reported,
    // whatever the workbook holds, and nothing is logged of the customer side.
    write_system(k_system_header + "x;;;;;;;\"1;SO\n");
    for (const std::string customer : {"customer.xlsx", "missing.xlsx"}) {
        write_file(path("customer.xlsx"), "PK\x03\x04 not really a workbook");
        write_config({{"system_data_path", "system.csv"}, {"customer_data_path", customer}});
        const auto result = run();
        EXPECT_EQ(result.out.rfind("Failed: ", 0), 0u) << result.out;
        EXPECT_NE(result.out.find("system.csv"), std::string::npos) << result.out;
        EXPECT_EQ(result.out.find("customer"), std::string::npos) << result.out;
        EXPECT_EQ(log_messages(result.err, "INFO"),
                  (std::vector<std::string>{
                      "Starting Dealmatch process on system data: system.csv",
                      "Loading System data from: system.csv",
                      "Summary: 0 system rows and 0 customer rows read, 0 matched records"}));
    }
    // A good CSV and a broken workbook: the workbook's failure comes after the CSV's lines.
    write_system(k_system_header + system_line("1", "SO", "10", "5", ""));
    write_config({{"system_data_path", "system.csv"}, {"customer_data_path", "customer.xlsx"}});
    const auto result = run();
    EXPECT_EQ(result.out.rfind("Failed: ", 0), 0u) << result.out;
    EXPECT_NE(result.out.find("customer.xlsx"), std::string::npos) << result.out;
    EXPECT_EQ(log_messages(result.err, "INFO"),
              (std::vector<std::string>{"Starting Dealmatch process on system data: system.csv",
                                        "Loading System data from: system.csv",
                                        "Successfully loaded system CSV with 1 rows.",
                                        "Loading customer data from: customer.xlsx",
                                        "Summary: 1 system row and 0 customer rows read, "
                                        "0 matched records"}));
}

TEST_F(DealmatchRun, NulByteInACsvFieldIsKeptInTheResult) {
    const std::string so("SO-12\0" "345", 9);
    write_system(k_system_header + system_line("7", so, "10", "5", "2024-02-01"));
    write_customer({{whole(7), whole(5), text("2024-02-02")}});
    ASSERT_EQ(run().out, k_success);
    std::map<std::string, CellValue> cells;
    helmkit::XlsxReader(path("out/result.xlsx"))
        .for_each_cell([&](std::uint32_t r, std::uint32_t c, const CellValue& value) {
            cells[std::string(1, static_cast<char>('A' + c - 1)) + std::to_string(r)] = value;
            return true;
        });
    EXPECT_EQ(cells["B2"], CellValue(so));
    EXPECT_NE(read_zip(path("out/result.xlsx")).at("xl/worksheets/sheet2.xml").find("SO-12_x0000_345"),
              std::string::npos);
}

// Valid UTF-8 that XML may not hold: the result must still open in another reader (which
// shows the escapes Excel decodes), and this reader gets the characters back.
TEST_F(DealmatchRun, NoncharactersInACsvFieldGiveAWorkbookThatOpens) {
    const std::string so = "SO\xEF\xBF\xBE-\xEF\xBF\xBF";
    write_system(k_system_header + system_line("7", so, "10", "5", "2024-02-01"));
    write_customer({{whole(7), whole(5), text("2024-02-02")}});
    ASSERT_EQ(run().out, k_success);
    const auto book = result_book();
    ASSERT_EQ(book["sheets"].size(), 2u);
    EXPECT_EQ(values_at(book["sheets"][0], {"B2"}),
              nlohmann::json::array({nlohmann::json::array({"text", "SO_xFFFE_-_xFFFF_"})}));
    helmkit::XlsxReader(path("out/result.xlsx"))
        .for_each_cell([&](std::uint32_t r, std::uint32_t c, const CellValue& value) {
            if (r == 2 && c == 2) {
                EXPECT_EQ(value, CellValue(so));
            }
            return true;
        });
}

// 3,000 rows on each side sharing one key would make 9,000,000 records, more than a sheet
// holds: refused at once, before anything is written.
TEST_F(DealmatchRun, RepeatedKeysBeyondWhatASheetHoldsFailAtOnce) {
    std::string system = k_system_header;
    std::vector<CustomerRow> customer;
    for (int i = 0; i < 3000; ++i) {
        system += system_line("1", "SO-" + std::to_string(i), "10", "5", "");
        customer.push_back({whole(1), whole(5), CellValue()});
    }
    system += system_line("2", "SO-X", "10", "5", "");
    customer.push_back({whole(2), whole(5), CellValue()});
    write_system(system);
    write_customer(customer);
    const auto result = run();
    EXPECT_EQ(result.out,
              "Failed: the match would make 9000001 rows, more than the 1048575 a sheet can hold; "
              "the most come from PO '1', QTY '5', which 3000 left rows and 3000 right rows share "
              "(9000000 rows)\n");
    EXPECT_FALSE(fs::exists(path("out/result.xlsx")));
}

TEST_F(DealmatchRun, StrictStatusesForRunsThatDidNothing) {
    write_system(k_system_header + system_line("1", "SO", "10", "5", ""));
    write_customer({{whole(1), whole(5), CellValue()}});
    const std::map<std::string, std::string> strict{{"TORVANE_STRICT", "1"}};
    // Done: 0 either way, with or without matches.
    EXPECT_EQ(run(strict).status, 0);
    write_customer({{whole(1), whole(6), CellValue()}});
    auto result = run(strict);
    EXPECT_EQ(result.out, "Success: Process completed, but no matching records found.\n");
    EXPECT_EQ(result.status, 0);
    // A "Failed:" line: 1 under TORVANE_STRICT=1 only.
    write_config({{"system_data_path", "missing.csv"}});
    result = run(strict);
    EXPECT_EQ(result.out, "Failed: System data file not found at: missing.csv\n");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(run().status, 0);
    EXPECT_EQ(run({{"TORVANE_STRICT", "0"}}).status, 0);
    write_config({{"system_data_path", "system.csv"}, {"customer_data_path", "customer.xlsx"},
                  {"customer_data", {{"rdd_cell", "R"}}}});
    EXPECT_EQ(run(strict).status, 1);
    // A configuration the loader refuses ends quietly: 0, or 1 under TORVANE_STRICT=1.
    write_file(path("match.json"), R"({"settings": {}})");
    result = run(strict);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(run().status, 0);
}

TEST_F(DealmatchRun, SummaryLineCountsBothSidesAndTheMatches) {
    write_system(k_system_header + system_line("1", "SO-1", "10", "5", "") +
                 system_line("2", "SO-2", "10", "5", "") + system_line("3", "SO-3", "10", "5", ""));
    write_customer({{whole(1), whole(5), CellValue()}, {whole(1), whole(5), CellValue()},
                    {whole(3), whole(6), CellValue()}, {CellValue(), CellValue(), CellValue()},
                    {whole(4), whole(5), CellValue()}});
    auto result = run();
    ASSERT_EQ(result.out, k_success);
    auto infos = log_messages(result.err, "INFO");
    ASSERT_FALSE(infos.empty());
    // The empty workbook row in the middle is no row of the table.
    EXPECT_EQ(infos.back(),
              "Summary: 3 system rows and 4 customer rows read, 2 matched records, 0 with "
              "differing delivery dates");

    write_customer({{whole(9), whole(9), CellValue()}});
    result = run();
    ASSERT_EQ(result.out, "Success: Process completed, but no matching records found.\n");
    infos = log_messages(result.err, "INFO");
    ASSERT_FALSE(infos.empty());
    EXPECT_EQ(infos.back(), "Summary: 3 system rows and 1 customer row read, 0 matched records");
}

TEST_F(DealmatchRun, MessagesNameTheKeyOrTheKindOfFile) {
    write_system(k_system_header + system_line("1", "SO", "10", "5", ""));
    write_customer({{whole(1), whole(5), CellValue()}});
    write_config({{"system_data_path", "system.csv"}, {"customer_data_path", "customer.xlsx"},
                  {"customer_data", {{"po_cell", "PO"}}}});
    auto result = run();
    EXPECT_EQ(result.out.rfind("Failed: \"customer_data\" -> \"po_cell\": 'PO' is not a cell address", 0),
              0u)
        << result.out;
    write_config({{"system_data_path", "system.csv"}, {"customer_data_path", "customer.xlsx"},
                  {"system_data", {{"qty_cell", "L0"}}}});
    result = run();
    EXPECT_EQ(result.out.rfind("Failed: \"system_data\" -> \"qty_cell\": 'L0' is not a cell address", 0),
              0u)
        << result.out;
    // The customer's bad address is found where the workbook is read: after the CSV.
    write_config({{"system_data_path", "system.csv"}, {"customer_data_path", "customer.xlsx"},
                  {"customer_data", {{"qty_cell", "15"}}}});
    result = run();
    EXPECT_EQ(result.out.rfind("Failed: \"customer_data\" -> \"qty_cell\": '15'", 0), 0u) << result.out;
    EXPECT_NE(result.err.find("Successfully loaded system CSV with 1 rows."), std::string::npos);

    // A customer file of another kind gets its own error line before the not-found result; a missing one does not.
    write_file(path("orders.ods"), "an OpenDocument sheet");
    write_config({{"system_data_path", "system.csv"}, {"customer_data_path", "orders.ods"}});
    result = run();
    EXPECT_EQ(result.out, "Failed: Customer data file not found at: orders.ods\n");
    EXPECT_EQ(log_messages(result.err, "ERROR"),
              std::vector<std::string>{
                  "'orders.ods' exists but is not an .xlsx or .xls workbook (its extension is '.ods')"});
    write_config({{"system_data_path", "system.csv"}, {"customer_data_path", "missing.xlsx"}});
    result = run();
    EXPECT_EQ(result.out, "Failed: Customer data file not found at: missing.xlsx\n");
    EXPECT_EQ(log_messages(result.err, "ERROR"), std::vector<std::string>{});

    // The same for the system file, and for a folder on either side.
    fs::create_directory(path("exports.csv"));
    fs::create_directory(path("book.xlsx"));
    const std::vector<std::tuple<std::string, std::string, std::string, std::string>> cases{
        {"customer.xlsx", "customer.xlsx", "Failed: System data file not found at: customer.xlsx",
         "'customer.xlsx' exists but is not a .csv file (its extension is '.xlsx')"},
        {"match.json", "customer.xlsx", "Failed: System data file not found at: match.json",
         "'match.json' exists but is not a .csv file (its extension is '.json')"},
        {"exports.csv", "customer.xlsx", "Failed: System data file not found at: exports.csv",
         "'exports.csv' is a folder, not a .csv file"},
        {"system.csv", "book.xlsx", "Failed: Customer data file not found at: book.xlsx",
         "'book.xlsx' is a folder, not an .xlsx or .xls workbook"},
        {"missing.csv", "customer.xlsx", "Failed: System data file not found at: missing.csv", ""},
    };
    for (const auto& [system, customer, line, error] : cases) {
        write_config({{"system_data_path", system}, {"customer_data_path", customer}});
        result = run();
        EXPECT_EQ(result.out, line + "\n");
        EXPECT_EQ(log_messages(result.err, "ERROR"),
                  error.empty() ? std::vector<std::string>{} : std::vector<std::string>{error});
    }
}

namespace {

// A Windows-1252 export with semicolons, quantities with a decimal comma and day-first dates.
const std::string k_european_export = k_system_header +
                                      system_line("1", "S\xE9-1", "10", "1.000", "03/04/2026") +
                                      system_line("2", "S\xE9-2", "10", "1.000,50", "15/04/2026") +
                                      system_line("3", "S\xE9-3", "10", "7", "bald");

const std::vector<CustomerRow> k_european_customer{{whole(1), whole(1000), text("2026-04-03")},
                                                   {whole(2), CellValue(1000.5), day(2026, 4, 16)},
                                                   {whole(3), whole(7), text("2026-05-01")},
                                                   {whole(9), whole(1), CellValue()}};

}  // namespace

TEST_F(DealmatchRun, EuropeanExportWithDecimalCommaAndDayFirstDates) {
    write_system(k_european_export);
    write_customer(k_european_customer);
    write_config({{"system_data_path", "system.csv"},
                  {"customer_data_path", "customer.xlsx"},
                  {"system_data", {{"decimal_comma", true}, {"day_first", true}}}});
    auto result = run();
    ASSERT_EQ(result.out, k_success);
    EXPECT_EQ(log_messages(result.err, "WARNING"),
              (std::vector<std::string>{
                  "'system.csv' is not UTF-8 text; read it as Windows-1252",
                  "System data: 1 QTY value is not a whole number (row 3); 1 RDD value is not a "
                  "date and left empty (row 4)",
                  "Customer data: 1 QTY value is not a whole number (row 4)"}));
    auto infos = log_messages(result.err, "INFO");
    EXPECT_NE(std::find(infos.begin(), infos.end(), "Unmatched: 0 system rows, 1 customer rows"),
              infos.end());
    EXPECT_EQ(infos.back(),
              "Summary: 3 system rows and 4 customer rows read, 3 matched records, 2 with "
              "differing delivery dates");
    auto book = result_book();
    const auto& by_po = book["sheets"][0];
    EXPECT_EQ(values_at(by_po, {"A2", "B2", "E2", "F2", "G2"}),
              list({number(1), str("Sé-1"), number(1000), date("2026-04-03"), date("2026-04-03")}));
    EXPECT_EQ(values_at(by_po, {"A3", "E3", "F3", "G3"}),
              list({number(2), number(1000.5), date("2026-04-15"), date("2026-04-16")}));
    EXPECT_EQ(values_at(by_po, {"A4", "E4", "F4", "G4"}),
              list({number(3), number(7), nullptr, date("2026-05-01")}));

    // Without the keys "1.000" is one and "1.000,50" a text, as before: they match nothing,
    // 03/04/2026 is March 4th, and the text that is no whole number is named.
    write_config({{"system_data_path", "system.csv"}, {"customer_data_path", "customer.xlsx"}});
    result = run();
    ASSERT_EQ(result.out, k_success);
    EXPECT_EQ(log_messages(result.err, "WARNING"),
              (std::vector<std::string>{
                  "'system.csv' is not UTF-8 text; read it as Windows-1252",
                  "System data: 1 QTY value is not a whole number (row 3); 1 RDD value is not a "
                  "date and left empty (row 4)",
                  "Customer data: 1 QTY value is not a whole number (row 4)"}));
    infos = log_messages(result.err, "INFO");
    EXPECT_NE(std::find(infos.begin(), infos.end(), "Unmatched: 2 system rows, 3 customer rows"),
              infos.end());
    book = result_book();
    EXPECT_EQ(values_at(book["sheets"][0], {"A2", "E2", "A3"}),
              list({number(3), number(7), nullptr}));

    // Day first gives way when the second number cannot be a month; the customer side has its
    // own key.
    write_system(k_system_header + system_line("1", "S", "10", "5", "04/13/2026"));
    write_customer({{whole(1), whole(5), text("03/04/2026")}});
    write_config({{"system_data_path", "system.csv"},
                  {"customer_data_path", "customer.xlsx"},
                  {"system_data", {{"day_first", true}}},
                  {"customer_data", {{"day_first", true}}}});
    ASSERT_EQ(run().out, k_success);
    EXPECT_EQ(values_at(result_book()["sheets"][0], {"F2", "G2"}),
              list({date("2026-04-13"), date("2026-04-03")}));
}

TEST_F(DealmatchRun, OddValuesAreCountedWithTheirFirstThreeRows) {
    std::string lines = k_system_header;
    for (const char* qty : {"1", "2.5", "3", "x", "4.25", "5,5", "6"}) {
        lines += system_line("1", "S", "10", qty, "2024-01-01");
    }
    write_system(lines);
    write_customer({{whole(1), whole(1), text("someday")},
                    {whole(1), whole(3), text("2024-13-01")},
                    {whole(1), whole(6), text("2024-01-02")}});
    const auto result = run();
    ASSERT_EQ(result.out, k_success);
    EXPECT_EQ(log_messages(result.err, "WARNING"),
              (std::vector<std::string>{
                  "System data: 4 QTY values are not a whole number (rows 3, 5, 6, ...)",
                  "Customer data: 2 RDD values are not a date and left empty (rows 3, 4)"}));
}

TEST_F(DealmatchRun, UnmatchedRowsOfBothSidesOnTwoMoreSheets) {
    write_system(k_system_header + system_line("1", "SO-1", "10", "5", "2024-01-01") +
                 system_line("2", "SO-2", "10", "6", "2024-01-02") + "\n" +
                 system_line("3", "SO-3", "10", "", "2024-01-03") +
                 system_line("1", "SO-4", "20", "5", "2024-01-04"));
    write_customer({{whole(1), whole(5), text("2024-01-01")},
                    {whole(2), whole(7), CellValue()},
                    {CellValue(), CellValue(), CellValue()},
                    {text("X-9"), whole(1), text("2024-02-01")}});
    auto result = run();
    ASSERT_EQ(result.out, k_success);
    auto infos = log_messages(result.err, "INFO");
    const auto matching =
        std::find(infos.begin(), infos.end(), "Matching System and Customer data by PO and QTY...");
    ASSERT_NE(matching, infos.end());
    EXPECT_EQ(*(matching + 1), "Unmatched: 2 system rows, 2 customer rows");
    EXPECT_EQ(*(matching + 2), "Matching complete. Found 2 matched records.");
    // Without the key the workbook keeps its two sheets.
    EXPECT_EQ(result_book()["sheets"].size(), 2u);

    write_config({{"system_data_path", "system.csv"},
                  {"customer_data_path", "customer.xlsx"},
                  {"report_unmatched", true}});
    result = run();
    ASSERT_EQ(result.out, k_success);
    const auto book = result_book();
    ASSERT_EQ(book["sheets"].size(), 4u);
    EXPECT_EQ(book["active"], "byPO");
    EXPECT_EQ(book["sheets"][0]["name"], "byPO");
    EXPECT_EQ(book["sheets"][1]["name"], "byRDD_SYS");
    const auto& system = book["sheets"][2];
    const auto& customer = book["sheets"][3];
    EXPECT_EQ(system["name"], "UNMATCHED_SYS");
    EXPECT_EQ(customer["name"], "UNMATCHED_CUST");
    // The file rows: the CSV's blank line is row 4, so SO-3 stands in row 5.
    EXPECT_EQ(values_at(system, {"A1", "B1", "C1", "D1", "E1", "F1", "G1", "H1"}),
              list({str("ROW"), str("PO"), str("SO"), str("SO_POS"), str("SO_SUFFIX"), str("QTY"),
                    str("RDD"), nullptr}));
    EXPECT_EQ(values_at(system, {"A2", "B2", "C2", "F2", "G2", "A3", "C3", "F3", "A4"}),
              list({number(3), number(2), str("SO-2"), number(6), date("2024-01-02"), number(5),
                    str("SO-3"), nullptr, nullptr}));
    EXPECT_EQ(
        values_at(customer, {"A1", "B1", "C1", "D1", "A2", "B2", "C2", "A3", "B3", "D3", "A4"}),
        list({str("ROW"), str("PO"), str("QTY"), str("RDD"), number(4), number(2), number(7),
              number(6), str("X-9"), date("2024-02-01"), nullptr}));
    for (const auto* sheet : {&system, &customer}) {
        EXPECT_EQ((*sheet)["freeze"], "A2");
        EXPECT_EQ((*sheet)["cells"]["A1"][3], true);
        EXPECT_EQ((*sheet)["cells"]["A2"][3], false);
    }
    EXPECT_EQ(system["filter"], "A1:G3");
    EXPECT_EQ(customer["filter"], "A1:D3");
    EXPECT_EQ(system["cells"]["G2"][2], "yyyy-mm-dd");
    EXPECT_GE(system["widths"]["G"].get<double>(), 10.0);

    // No match writes no workbook, and still counts what was left out.
    write_customer({{whole(8), whole(8), CellValue()}});
    fs::remove_all(path("out"));
    result = run();
    EXPECT_EQ(result.out, "Success: Process completed, but no matching records found.\n");
    infos = log_messages(result.err, "INFO");
    EXPECT_NE(std::find(infos.begin(), infos.end(), "Unmatched: 4 system rows, 1 customer rows"),
              infos.end());
    EXPECT_FALSE(fs::exists(path("out/result.xlsx")));
}

TEST_F(RealShapedRun, RowsWithDifferingDatesAreHighlightedAndCounted) {
    const auto result = run();
    ASSERT_EQ(result.out, k_success);
    // 4500001/5: Dec 15 against Dec 20, 4500001/7 and 4500002/3 differ too; 4500003 has no
    // date on either side.
    EXPECT_EQ(log_messages(result.err, "INFO").back(),
              "Summary: 5 system rows and 6 customer rows read, 4 matched records, 3 with "
              "differing delivery dates");
    const auto book = result_book();
    const json expected = json::array({json::array({"A2:G5", json::array({"$F2<>$G2"})})});
    EXPECT_EQ(book["sheets"][0]["conditional"], expected);
    EXPECT_EQ(book["sheets"][1]["conditional"], expected);
    // The cells keep their own formats.
    EXPECT_EQ(book["sheets"][0]["cells"]["F2"][2], "yyyy-mm-dd");
}

TEST_F(RealShapedRun, ResultColumnsPickAndOrderTheShownColumns) {
    write_config({{"system_data_path", "system.csv"},
                  {"customer_data_path", "customer.xlsx"},
                  {"result_columns", {"QTY", "PO", "CUSTOMER_RDD", "SYSTEM_RDD"}}});
    auto result = run();
    ASSERT_EQ(result.out, k_success);
    auto book = result_book();
    const auto& by_po = book["sheets"][0];
    const auto& by_rdd = book["sheets"][1];
    const json header =
        list({str("QTY"), str("PO"), str("CUSTOMER_RDD"), str("SYSTEM_RDD"), nullptr});
    EXPECT_EQ(values_at(by_po, {"A1", "B1", "C1", "D1", "E1"}), header);
    EXPECT_EQ(values_at(by_rdd, {"A1", "B1", "C1", "D1", "E1"}), header);
    // Still sorted by PO, SO_POS, QTY and by the system date, though SO_POS is not shown.
    EXPECT_EQ(
        values_at(by_po, {"A2", "B2", "D2", "A3", "D3"}),
        list({number(5), number(4500001), date("2024-12-15"), number(7), date("2025-01-15")}));
    EXPECT_EQ(values_at(by_rdd, {"A3", "D3"}), list({number(3), date("2025-01-05")}));
    // The summary two columns after the four shown, and the highlight on the dates' columns.
    EXPECT_EQ(values_at(by_po, {"F2", "G2", "H1", "H2"}),
              list({nullptr, str("SYS_RDD"), str("24-Dec"), number(5)}));
    EXPECT_EQ(by_po["conditional"],
              json::array({json::array({"A2:D5", json::array({"$D2<>$C2"})})}));
    EXPECT_EQ(by_po["filter"], "A1:D5");

    // Without a date column there is nothing to highlight.
    write_config({{"system_data_path", "system.csv"},
                  {"customer_data_path", "customer.xlsx"},
                  {"result_columns", {"PO", "SYSTEM_RDD"}}});
    ASSERT_EQ(run().out, k_success);
    EXPECT_EQ(result_book()["sheets"][0]["conditional"], json::array());

    // Names that are no result column fail before anything is read.
    const std::string valid = "valid: PO, SO, SO_POS, SO_SUFFIX, QTY, SYSTEM_RDD, CUSTOMER_RDD";
    const std::vector<std::pair<json, std::string>> refused{
        {json::array({"PO", "Price"}),
         "Failed: \"result_columns\": 'Price' is not a result column; " + valid},
        {json::array({"PO", "RDD"}),
         "Failed: \"result_columns\": 'RDD' is not a result column; " + valid},
        {json::array({"PO", "PO"}), "Failed: \"result_columns\": 'PO' is named twice"},
        {json::array(), "Failed: \"result_columns\" names no column; " + valid}};
    for (const auto& [names, line] : refused) {
        write_config({{"system_data_path", "system.csv"},
                      {"customer_data_path", "customer.xlsx"},
                      {"result_columns", names}});
        result = run();
        EXPECT_EQ(result.out, line + "\n") << names;
        EXPECT_EQ(result.err.find("Successfully loaded"), std::string::npos) << result.err;
    }
    // A value that is no list of texts is a configuration error.
    write_config({{"system_data_path", "system.csv"}, {"result_columns", "PO"}});
    result = run();
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("'result_columns' in the \"config\" section must be a list of texts"),
              std::string::npos)
        << result.err;
}

TEST_F(DealmatchRun, SheetIsPickedByNameAndNamedInTheLog) {
    {
        TestWorkbook book(path("customer.xlsx"));
        lxw_worksheet* orders = book.add_sheet("Orders");
        lxw_worksheet* notes = book.add_sheet("Notes");
        worksheet_write_number(orders, 2, 5, 1, nullptr);
        worksheet_write_number(orders, 2, 14, 5, nullptr);
        worksheet_write_string(notes, 0, 0, "Saved while reading these notes", nullptr);
        worksheet_activate(notes);
        book.close();
    }
    write_system(k_system_header + system_line("1", "SO", "10", "5", ""));
    auto result = run();
    EXPECT_EQ(result.out, "Failed: Data extraction failed or data is empty.\n");
    auto infos = log_messages(result.err, "INFO");
    EXPECT_NE(std::find(infos.begin(), infos.end(), "Read 0 customer rows from the sheet 'Notes'."),
              infos.end());

    write_config({{"system_data_path", "system.csv"},
                  {"customer_data_path", "customer.xlsx"},
                  {"customer_data", {{"sheet", "Orders"}}}});
    result = run();
    ASSERT_EQ(result.out, k_success);
    infos = log_messages(result.err, "INFO");
    const auto loading =
        std::find(infos.begin(), infos.end(), "Loading customer data from: customer.xlsx");
    ASSERT_NE(loading, infos.end());
    EXPECT_EQ(*(loading + 1), "Read 1 customer row from the sheet 'Orders'.");

    write_config({{"system_data_path", "system.csv"},
                  {"customer_data_path", "customer.xlsx"},
                  {"customer_data", {{"sheet", "orders"}}}});
    EXPECT_EQ(run().out,
              "Failed: cannot read workbook 'customer.xlsx': it has no sheet 'orders'; its sheets "
              "are 'Orders', 'Notes'\n");

    fs::copy_file(source_dir() / "tests/fixtures/xls/orders.xls", path("orders.xls"));
    write_config({{"system_data_path", "system.csv"},
                  {"customer_data_path", "orders.xls"},
                  {"customer_data", {{"sheet", "Data"}}}});
    result = run();
    EXPECT_EQ(result.out,
              "Failed: cannot read workbook 'orders.xls': it has no sheet 'Data'; its sheets are "
              "'Orders', 'Notes'\n");
    write_system(k_system_header + system_line("4500001", "S1", "10", "5", "2024-12-01"));
    for (const char* sheet : {"", "Orders"}) {
        write_config({{"system_data_path", "system.csv"},
                      {"customer_data_path", "orders.xls"},
                      {"customer_data", {{"sheet", sheet}}}});
        result = run();
        ASSERT_EQ(result.out, k_success) << sheet;
        infos = log_messages(result.err, "INFO");
        EXPECT_NE(std::find(infos.begin(), infos.end(), "Read 3 customer rows from the sheet 'Orders'."),
                  infos.end())
            << sheet;
    }
}

TEST_F(DealmatchRun, WithoutTheNewKeysTheWorkbookIsTheSameCellByCell) {
    // Written by the matcher before it could report unmatched rows or highlight dates.
    const auto examples = source_dir() / "examples/dealmatch";
    for (const char* name : {"system_data.csv", "customer_data.xlsx", "match.json"}) {
        fs::copy_file(examples / name, path(name), fs::copy_options::overwrite_existing);
    }
    ASSERT_EQ(run().out, k_success);
    auto now = result_book();
    auto before = read_back(source_dir() / "tests/fixtures/dealmatch/sample_result.xlsx");
    ASSERT_EQ(now["sheets"].size(), before["sheets"].size());
    for (std::size_t i = 0; i < now["sheets"].size(); ++i) {
        now["sheets"][i].erase("conditional");
        before["sheets"][i].erase("conditional");
    }
    EXPECT_EQ(now, before);
}
