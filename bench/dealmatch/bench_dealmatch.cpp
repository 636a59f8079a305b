// Measures dealmatch on real-shaped pairs of files: a system CSV (17 columns, semicolons, a
// byte-order mark) and a customer workbook of a fifth as many rows (18 columns), about half of
// whose rows match. Two sizes: 200,000 x 40,000, run against the pandas script a user would
// write (peer_pandas.py: pandas, openpyxl, xlsxwriter) on the same files, and 1,000,000 x
// 200,000. Per size it prints each phase (CSV parse, workbook parse, both at once as the run
// reads them, join, sorts and summary, writer) with wall and CPU seconds, each phase group in
// a child process of its own so that its peak memory is its own; then whole runs of torvane
// (without and with "report_unmatched") and of the peer, taken in turn, and the goals.
// Usage: bench_dealmatch [folder] [runs] (inputs are made once in the folder and kept).
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <xlsxwriter.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "helmkit/base/json.hpp"
#include "helmkit/files/file_mg.hpp"
#include "helmkit/workbook/excel_tools.hpp"
#include "torvane/dealmatch/dealmatch.hpp"
#include "torvane/dealmatch/monthly_summary.hpp"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct Size {
    const char* name;
    int system_rows;
    int customer_rows;
};

// The PO of system row `i`: two or three positions per purchase order.
long po_of(int i) { return 4'500'000'000L + i / 5 * 2 + (i % 5 < 2 ? 0 : 1); }
int qty_of(int i) { return 1 + i % 50; }
std::string date_of(int i) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", 2024 + i % 2, 1 + i % 12, 1 + i % 28);
    return text;
}

void make_system_csv(const fs::path& path, const Size& size) {
    std::ofstream out(path, std::ios::binary);
    out << "\xEF\xBB\xBF" << "Plant;Area;Customer;Name;Street;City;Country;PO;SO;SO_POS;"
        << "SO_SUFFIX;QTY;Unit;Price;Currency;Status;RDD\n";
    for (int i = 0; i < size.system_rows; ++i) {
        out << "DE01;North;C" << i % 977 << ";\"Customer " << i % 977 << ", Ltd.\";Main street "
            << i % 100 << ";Berlin;DE;" << po_of(i) << ";SO" << 7'000'000 + i / 5 << ";"
            << (i % 5 + 1) * 10 << ";0;" << qty_of(i) << ";PCS;" << (i % 1000) * 0.25
            << ";EUR;open;" << date_of(i) << "\n";
    }
}

// Customer row r belongs to system row 5r; half of them carry the same quantity.
void make_customer_workbook(const fs::path& path, const Size& size) {
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
    for (int r = 0; r < size.customer_rows; ++r) {
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

double seconds_of(const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; }
double cpu_seconds(const rusage& usage) {
    return seconds_of(usage.ru_utime) + seconds_of(usage.ru_stime);
}
double peak_mib(const rusage& usage) { return static_cast<double>(usage.ru_maxrss) / 1024.0; }

double process_cpu() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9;
}

// Wall and CPU seconds of one phase.
struct Span {
    Clock::time_point wall = Clock::now();
    double cpu = process_cpu();

    std::string text() const {
        char line[64];
        std::snprintf(line, sizeof line, "%6.3f s wall %6.3f s CPU",
                      std::chrono::duration<double>(Clock::now() - wall).count(),
                      process_cpu() - cpu);
        return line;
    }
};

void print_phase(const char* name, const std::string& figures, const std::string& note = "") {
    std::printf("  %-28s %s%s%s\n", name, figures.c_str(), note.empty() ? "" : "  ",
                note.c_str());
    std::fflush(stdout);
}

// Runs `work` in a child process, then prints the child's peak memory.
void in_child(const char* name, const std::function<void()>& work) {
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        work();
        std::fflush(stdout);
        _exit(0);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::printf("  %-28s FAILED (status %d)\n", name, status);
    } else {
        std::printf("  %-28s peak %.0f MiB\n", (std::string(name) + ":").c_str(),
                    peak_mib(usage));
    }
}

const helmkit::excelTools::CellMapping k_system_mapping{{"PO", "H2"},        {"SO", "I2"},
                                                        {"SO_POS", "J2"},    {"SO_SUFFIX", "K2"},
                                                        {"QTY", "L2"},       {"RDD", "Q2"}};
const helmkit::excelTools::CellMapping k_customer_mapping{{"PO", "F3"}, {"QTY", "O3"}, {"RDD", "R3"}};

helmkit::Table read_system(const fs::path& csv) {
    auto table = helmkit::excelTools::read_csv_by_cells(csv, k_system_mapping,
                                                        torvane::dealmatch::logger());
    torvane::dealmatch::normalise_dates(table, "RDD");
    return table;
}

helmkit::Table read_customer(const fs::path& workbook) {
    auto table = helmkit::excelTools::read_excel_by_cells(workbook, k_customer_mapping);
    torvane::dealmatch::normalise_dates(table, "RDD");
    return table;
}

void phases(const fs::path& dir) {
    const auto csv = dir / "system_data.csv";
    const auto workbook = dir / "customer_data.xlsx";
    in_child("CSV parse", [&] {
        const Span span;
        const auto table = read_system(csv);
        print_phase("CSV parse + dates", span.text(),
                    std::to_string(table.row_count()) + " rows of 6 of 17 columns");
    });
    in_child("workbook parse", [&] {
        const Span span;
        const auto table = read_customer(workbook);
        print_phase("workbook parse + dates", span.text(),
                    std::to_string(table.row_count()) + " rows of 3 of 18 columns");
    });
    in_child("both at once", [&] {
        const Span span;
        helmkit::Table customer;
        std::thread worker([&] { customer = read_customer(workbook); });
        const auto system = read_system(csv);
        worker.join();
        print_phase("both parses, two threads", span.text());
    });
    in_child("join, sorts, summary, writer", [&] {
        const auto system = read_system(csv);
        const auto customer = read_customer(workbook);
        Span span;
        helmkit::excelTools::MergeOptions merge;
        merge.num_keys = {"PO", "QTY"};
        merge.suffixes = {"_SYS", "_CUST"};
        auto result = helmkit::excelTools::merge_exact_match(system, customer, merge);
        print_phase("join", span.text(), std::to_string(result.row_count()) + " records");
        span = Span();
        result.rename_columns({{"RDD_SYS", "SYSTEM_RDD"}, {"RDD_CUST", "CUSTOMER_RDD"}});
        result = result.sorted_by({"PO", "SO_POS", "QTY"});
        const auto by_rdd = result.sorted_by({"SYSTEM_RDD", "PO"});
        const auto summary = torvane::dealmatch::monthly_summary(result);
        print_phase("sorts + summary", span.text(),
                    std::to_string(summary.column_count()) + " months");
        span = Span();
        const auto out = helmkit::fileMg::get_output_file_path(dir / "phase_out", "result.xlsx");
        std::string outcome = "2 sheets";
        try {
            helmkit::excelTools::write_formatted_excel(
                out, {{"byPO", {{&result, false, 0}, {&summary, true, result.column_count() + 2}}},
                      {"byRDD_SYS", {{&by_rdd, false, 0}}}});
        } catch (const std::exception& error) {
            outcome = std::string("FAILED: ") + error.what();
        }
        print_phase("writer", span.text(), outcome);
    });
}

struct Whole {
    double wall = 0;
    double cpu = 0;
    double peak = 0;
    int status = -1;
};

// Runs `args` with its output thrown away and times it from outside.
Whole run_whole(const std::vector<std::string>& args, const fs::path& log) {
    std::fflush(stdout);
    const auto start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        if (!freopen(log.c_str(), "w", stdout) || !freopen(log.c_str(), "a", stderr)) _exit(126);
        std::vector<char*> argv;
        for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    return {std::chrono::duration<double>(Clock::now() - start).count(), cpu_seconds(usage),
            peak_mib(usage), WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void print_whole(const char* name, const std::vector<Whole>& runs) {
    std::vector<double> wall;
    std::vector<double> cpu;
    double peak = 0;
    int status = 0;
    for (const auto& run : runs) {
        wall.push_back(run.wall);
        cpu.push_back(run.cpu);
        peak = std::max(peak, run.peak);
        status = std::max(status, run.status);
    }
    std::printf("  %-28s median %6.3f s wall (%.3f..%.3f) %6.3f s CPU, peak %.0f MiB, status %d\n",
                name, median(wall), *std::min_element(wall.begin(), wall.end()),
                *std::max_element(wall.begin(), wall.end()), median(cpu), peak, status);
}

struct WholeFigures {
    double wall = 0;
    double peak = 0;
    double ratio = 0;
};

// Whole runs of torvane (with or without the unmatched sheets), and of the peer when asked, in
// turn; returns torvane's median wall seconds and largest peak, and the median of the peer's
// wall over ours, pair by pair.
WholeFigures whole_runs(const fs::path& dir, int runs, bool with_peer, bool unmatched) {
    const auto config = dir / (unmatched ? "match_unmatched.json" : "match.json");
    std::ofstream(config) << nlohmann::json{
        {"config",
         {{"system_data_path", (dir / "system_data.csv").string()},
          {"customer_data_path", (dir / "customer_data.xlsx").string()},
          {"output_dir", (dir / "out").string()},
          {"report_unmatched",
           unmatched}}}}.dump();
    const std::vector<std::string> ours{TORVANE_BINARY, "dealmatch", "-c", config.string()};
    const std::vector<std::string> peer{"/usr/bin/python3", PEER_SCRIPT,
                                        (dir / "system_data.csv").string(),
                                        (dir / "customer_data.xlsx").string(),
                                        (dir / "peer_result.xlsx").string()};
    std::vector<Whole> our_runs;
    std::vector<Whole> peer_runs;
    std::vector<double> ratios;
    for (int i = 0; i < runs; ++i) {
        our_runs.push_back(run_whole(ours, dir / "torvane.log"));
        if (with_peer) {
            peer_runs.push_back(run_whole(peer, dir / "peer.log"));
            ratios.push_back(peer_runs.back().wall / our_runs.back().wall);
        }
    }
    print_whole(unmatched ? "torvane, report_unmatched" : "torvane dealmatch", our_runs);
    std::vector<double> walls;
    double peak = 0;
    for (const auto& run : our_runs) {
        walls.push_back(run.wall);
        peak = std::max(peak, run.peak);
    }
    if (!with_peer) return {median(walls), peak, 0};
    print_whole("pandas peer", peer_runs);
    std::ifstream log(dir / "peer.log");
    const std::string phases((std::istreambuf_iterator<char>(log)), {});
    std::printf("  %-28s %s\n", "peer's last run, phases:", phases.c_str());
    return {median(walls), peak, median(ratios)};
}

}  // namespace

int main(int argc, char** argv) {
    const fs::path root = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "bench_dealmatch";
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const Size sizes[] = {{"small", 200'000, 40'000}, {"large", 1'000'000, 200'000}};
    std::printf("(wall seconds are noisy when other work shares the two cores; CPU seconds show "
                "how much work each phase is)\n");
    WholeFigures small_off;
    WholeFigures small_on;
    WholeFigures large_on;
    for (const auto& size : sizes) {
        const auto dir = root / size.name;
        fs::create_directories(dir);
        if (!fs::exists(dir / "system_data.csv") || !fs::exists(dir / "customer_data.xlsx")) {
            std::printf("making inputs in %s ...\n", dir.c_str());
            make_system_csv(dir / "system_data.csv", size);
            make_customer_workbook(dir / "customer_data.xlsx", size);
        }
        std::printf("%d CSV rows (%.1f MB) x %d workbook rows (%.1f MB):\n", size.system_rows,
                    static_cast<double>(fs::file_size(dir / "system_data.csv")) / 1e6,
                    size.customer_rows,
                    static_cast<double>(fs::file_size(dir / "customer_data.xlsx")) / 1e6);
        phases(dir);
        const bool small = std::string(size.name) == "small";
        const auto off = whole_runs(dir, runs, small, false);
        const auto on = whole_runs(dir, runs, small, true);
        if (small) {
            small_off = off;
            small_on = on;
        } else {
            large_on = on;
        }
    }
    std::printf(
        "goal: 200,000 x 40,000 at least 15x faster than pandas: %.1fx, with "
        "report_unmatched %.1fx (medians of pairs)\n",
        small_off.ratio, small_on.ratio);
    std::printf(
        "goal: 1,000,000 x 200,000 with report_unmatched in under 3 s and 400 MiB: %.2f s "
        "(median), peak %.0f MiB\n",
        large_on.wall, large_on.peak);
    return 0;
}
