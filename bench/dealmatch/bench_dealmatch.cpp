// Measures dealmatch on a real-sized pair of files: a system CSV of 1,000,000 rows (17
// columns, semicolons, a byte-order mark) and a customer workbook of 200,000 rows (18
// columns), about half of whose rows match. Each phase runs in a child process of its own so
// that the peak memory printed is that phase's; then the whole torvane run is timed.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xlsxwriter.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "helmkit/workbook/excel_tools.hpp"
#include "helmkit/files/file_mg.hpp"
#include "torvane/dealmatch/dealmatch.hpp"
#include "torvane/dealmatch/monthly_summary.hpp"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int k_system_rows = 1'000'000;
constexpr int k_customer_rows = 200'000;

// The PO of system row `i`: 400,000 purchase orders of 2 or 3 positions each.
long po_of(int i) { return 4'500'000'000L + i / 5 * 2 + (i % 5 < 2 ? 0 : 1); }
int qty_of(int i) { return 1 + i % 50; }
std::string date_of(int i) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", 2024 + i % 2, 1 + i % 12, 1 + i % 28);
    return text;
}

void make_system_csv(const fs::path& path) {
    std::ofstream out(path, std::ios::binary);
    out << "\xEF\xBB\xBF" << "Plant;Area;Customer;Name;Street;City;Country;PO;SO;SO_POS;"
        << "SO_SUFFIX;QTY;Unit;Price;Currency;Status;RDD\n";
    for (int i = 0; i < k_system_rows; ++i) {
        out << "DE01;North;C" << i % 977 << ";\"Customer " << i % 977 << ", Ltd.\";Main street "
            << i % 100 << ";Berlin;DE;" << po_of(i) << ";SO" << 7'000'000 + i / 5 << ";"
            << (i % 5 + 1) * 10 << ";0;" << qty_of(i) << ";PCS;" << (i % 1000) * 0.25
            << ";EUR;open;" << date_of(i) << "\n";
    }
}

// Every fifth system row has a customer row; half of those carry the same quantity.
void make_customer_workbook(const fs::path& path) {
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    lxw_workbook* book = workbook_new_opt(path.c_str(), &options);
    lxw_worksheet* sheet = workbook_add_worksheet(book, "Orders");
    lxw_format* date_format = workbook_add_format(book);
    format_set_num_format(date_format, "dd.mm.yyyy");
    worksheet_write_string(sheet, 0, 0, "Customer order list", nullptr);
    for (lxw_col_t column = 0; column < 18; ++column) {
        worksheet_write_string(sheet, 1, column, ("Column " + std::to_string(column)).c_str(),
                               nullptr);
    }
    for (int r = 0; r < k_customer_rows; ++r) {
        const int i = r * 5;
        const auto row = static_cast<lxw_row_t>(r + 2);
        for (lxw_col_t column = 0; column < 5; ++column) {
            worksheet_write_string(sheet, row, column, ("info " + std::to_string(r % 31)).c_str(),
                                   nullptr);
        }
        worksheet_write_number(sheet, row, 5, static_cast<double>(po_of(i)), nullptr);
        for (lxw_col_t column = 6; column < 14; ++column) {
            worksheet_write_number(sheet, row, column, r % 97, nullptr);
        }
        worksheet_write_number(sheet, row, 14, r % 2 == 0 ? qty_of(i) : qty_of(i) + 100, nullptr);
        worksheet_write_string(sheet, row, 15, "open", nullptr);
        worksheet_write_string(sheet, row, 16, "DE", nullptr);
        lxw_datetime date{2024 + r % 2, 1 + r % 12, 1 + r % 27, 0, 0, 0};
        worksheet_write_datetime(sheet, row, 17, &date, date_format);
    }
    if (workbook_close(book) != LXW_NO_ERROR) {
        std::fprintf(stderr, "bench_dealmatch: cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double cpu_seconds(const rusage& usage) {
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double peak_mib(const rusage& usage) { return static_cast<double>(usage.ru_maxrss) / 1024.0; }

// Runs `work` in a child process; prints its line with the child's peak memory.
void in_child(const char* name, const std::function<std::string()>& work) {
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        const std::string line = work();
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        std::printf("%-34s %s, peak %.0f MiB, CPU %.2f s\n", name, line.c_str(), peak_mib(usage),
                    cpu_seconds(usage));
        std::fflush(stdout);
        _exit(0);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::printf("%-34s FAILED (status %d)\n", name, status);
    }
}

const helmkit::excelTools::CellMapping k_system_mapping{{"PO", "H2"},        {"SO", "I2"},
                                                        {"SO_POS", "J2"},    {"SO_SUFFIX", "K2"},
                                                        {"QTY", "L2"},       {"RDD", "Q2"}};
const helmkit::excelTools::CellMapping k_customer_mapping{{"PO", "F3"}, {"QTY", "O3"}, {"RDD", "R3"}};

std::string rate(double count, double seconds, const char* unit) {
    char text[96];
    std::snprintf(text, sizeof text, "%.2f s, %.2f M %s/s", seconds, count / seconds / 1e6, unit);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    const fs::path dir = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "bench_dealmatch";
    fs::create_directories(dir);
    const auto csv = dir / "system_data.csv";
    const auto workbook = dir / "customer_data.xlsx";
    if (!fs::exists(csv) || !fs::exists(workbook)) {
        std::printf("making inputs in %s ...\n", dir.c_str());
        make_system_csv(csv);
        make_customer_workbook(workbook);
    }
    const double csv_mb = static_cast<double>(fs::file_size(csv)) / 1e6;
    std::printf("system CSV: %d rows, %.1f MB; customer workbook: %d rows x 18 columns, %.1f MB\n",
                k_system_rows, csv_mb, k_customer_rows,
                static_cast<double>(fs::file_size(workbook)) / 1e6);
    auto& log = torvane::dealmatch::logger();

    in_child("CSV read (6 of 17 columns)", [&] {
        const auto start = Clock::now();
        const auto table = helmkit::excelTools::read_csv_by_cells(csv, k_system_mapping, log);
        const double s = seconds_since(start);
        char text[128];
        std::snprintf(text, sizeof text, "%.2f s, %.0f MB/s, %.2f M rows/s (%zu rows)", s,
                      csv_mb / s, table.row_count() / s / 1e6, table.row_count());
        return std::string(text);
    });
    in_child("workbook read (all 18 columns)", [&] {
        const auto start = Clock::now();
        const auto table = helmkit::excelTools::read_excel_by_cells(workbook, k_customer_mapping);
        const double s = seconds_since(start);
        return rate(18.0 * (k_customer_rows + 2), s, "cells") + " (" +
               std::to_string(table.row_count()) + " rows)";
    });
    in_child("join, sorts, summary, write", [&] {
        auto system = helmkit::excelTools::read_csv_by_cells(csv, k_system_mapping, log);
        auto customer = helmkit::excelTools::read_excel_by_cells(workbook, k_customer_mapping);
        torvane::dealmatch::normalise_dates(system, "RDD");
        torvane::dealmatch::normalise_dates(customer, "RDD");
        auto start = Clock::now();
        helmkit::excelTools::MergeOptions merge;
        merge.num_keys = {"PO", "QTY"};
        merge.suffixes = {"_SYS", "_CUST"};
        auto result = helmkit::excelTools::merge_exact_match(system, customer, merge);
        const double join = seconds_since(start);
        result.rename_columns({{"RDD_SYS", "SYSTEM_RDD"}, {"RDD_CUST", "CUSTOMER_RDD"}});
        start = Clock::now();
        result = result.sorted_by({"PO", "SO_POS", "QTY"});
        const auto by_rdd = result.sorted_by({"SYSTEM_RDD", "PO"});
        const double sorts = seconds_since(start);
        start = Clock::now();
        const auto summary = torvane::dealmatch::monthly_summary(result);
        const double summarise = seconds_since(start);
        start = Clock::now();
        const auto out = helmkit::fileMg::get_output_file_path(dir / "out", "result.xlsx");
        const bool written = helmkit::excelTools::write_formatted_excel(
            out,
            {{"byPO", {{&result, false, 0}, {&summary, true, result.column_count() + 2}}},
             {"byRDD_SYS", {{&by_rdd, false, 0}}}},
            log);
        const double write = seconds_since(start);
        char text[256];
        std::snprintf(text, sizeof text,
                      "join %.2f s (%zu records), sorts %.2f s, summary %.3f s (%zu months), "
                      "write %.2f s (%s)",
                      join, result.row_count(), sorts, summarise, summary.column_count(), write,
                      written ? "written" : "FAILED");
        return std::string(text);
    });

    const auto config = dir / "match.json";
    std::ofstream(config) << "{\"config\": {\"system_data_path\": \"" << csv.string()
                          << "\", \"customer_data_path\": \"" << workbook.string()
                          << "\", \"output_dir\": \"" << (dir / "out").string() << "\"}}";
    std::fflush(stdout);
    const auto start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        execl(TORVANE_BINARY, TORVANE_BINARY, "dealmatch", "-c", config.c_str(), nullptr);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    const double whole = seconds_since(start);
    std::printf("%-34s %.2f s, %.2f M system rows/s, peak %.0f MiB, CPU %.2f s, exit status %d\n",
                "whole torvane dealmatch run", whole, k_system_rows / whole / 1e6,
                peak_mib(usage), cpu_seconds(usage), WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    std::printf("(times are wall-clock; CPU is the process's user + system time, which shows how "
                "much of the wall time other load on the machine took)\n");
    return 0;
}
