// Makes 2,000 expense workbooks of about 60 rows with a few hundred shared strings each, then
// prints workbooks per second for a claimsort dry run (over 300 of them beside openpyxl in
// read-only mode reading the same two cells of the same files, and over all 2,000) and for a
// real run (beside a real run as it was made before, with one flush per backup), and the
// reader's cells per second over whole sheets. Usage: bench_claimsort [folder] (default: a new
// folder under /tmp, removed afterwards).
#include <fcntl.h>
#include <unistd.h>
#include <xlsxwriter.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "helmkit/base/json.hpp"
#include "helmkit/base/process_setup.hpp"
#include "helmkit/files/atomic_file.hpp"
#include "helmkit/files/file_mg.hpp"
#include "helmkit/workbook/xlsx_reader.hpp"
#include "torvane/claimsort/cell_reading.hpp"
#include "torvane/claimsort/expense_rename.hpp"

namespace fs = std::filesystem;

namespace {

constexpr int k_workbooks = 2000;
constexpr int k_peer_workbooks = 300;
constexpr int k_rows = 60;
constexpr int k_columns = 8;
constexpr std::size_t k_single_moves = 300;

void write_workbook(const fs::path& path, int index) {
    lxw_workbook* book = workbook_new(path.c_str());
    lxw_worksheet* sheet = workbook_add_worksheet(book, "Claim");
    worksheet_write_string(sheet, 0, 0, "Expense claim", nullptr);
    for (int row = 1; row < k_rows; ++row) {
        for (int column = 0; column < k_columns; ++column) {
            const auto r = static_cast<lxw_row_t>(row);
            const auto c = static_cast<lxw_col_t>(column);
            if (column % 2 == 0) {
                const std::string text = "Item " + std::to_string(row * k_columns + column) +
                                         " of claim " + std::to_string(index % 97);
                worksheet_write_string(sheet, r, c, text.c_str(), nullptr);
            } else {
                worksheet_write_number(sheet, r, c, row * 1.25 + column, nullptr);
            }
        }
    }
    worksheet_write_string(sheet, 5, 3, ("Person " + std::to_string(index)).c_str(), nullptr);
    worksheet_write_number(sheet, 55, 15, 100 + index * 0.5, nullptr);
    if (workbook_close(book) != LXW_NO_ERROR) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

double seconds_of(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Does for `k_single_moves` of the workbooks in `from` what a real run did before its backups
// shared one flush: read the two cells, copy the workbook to `to`/backup through an AtomicFile
// flushed on its own, then rename the workbook into `to`/results. Returns the seconds.
double one_flush_per_backup(const fs::path& from, const fs::path& to) {
    std::vector<fs::path> workbooks;
    for (const auto& entry : fs::directory_iterator(from)) {
        if (workbooks.size() == k_single_moves) break;
        workbooks.push_back(entry.path());
    }
    fs::create_directories(to / "results");
    fs::create_directories(to / "backup");
    return seconds_of([&] {
        for (const auto& workbook : workbooks) {
            torvane::claimsort::get_excel_cell_value(workbook.string(), {"D6", "P56"});
            helmkit::AtomicFile backup(to / "backup" / workbook.filename());
            backup.write(helmkit::fileMg::read_file(workbook));
            backup.commit(helmkit::Overwrite::no);
            if (helmkit::rename_no_replace(workbook, to / "results" / workbook.filename()) != 0) {
                std::fprintf(stderr, "cannot move %s\n", workbook.c_str());
                std::exit(1);
            }
        }
    });
}

// Runs `work` with standard error sent to /dev/null, so log lines cost what they cost in a
// run whose log goes to a file.
double quietly(const std::function<void()>& work) {
    std::fflush(stderr);
    const int saved = ::dup(2);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 2);
    const double seconds = seconds_of(work);
    ::dup2(saved, 2);
    ::close(null);
    ::close(saved);
    return seconds;
}

// The seconds python3-openpyxl takes to read D6 and P56 of every workbook in `folder` the way a
// user's script would (read-only, stored values), timed inside Python without its start-up;
// nothing when python3 or openpyxl is missing.
std::optional<double> openpyxl_seconds(const fs::path& folder) {
    const std::string script =
        "import os, sys, time\n"
        "try:\n"
        "    import openpyxl\n"
        "except ImportError:\n"
        "    sys.exit(3)\n"
        "folder = sys.argv[1]\n"
        "paths = [os.path.join(folder, n) for n in os.listdir(folder) if n.endswith('.xlsx')]\n"
        "start = time.perf_counter()\n"
        "for path in paths:\n"
        "    book = openpyxl.load_workbook(path, read_only=True, data_only=True)\n"
        "    sheet = book.active\n"
        "    values = (sheet['D6'].value, sheet['P56'].value)\n"
        "    book.close()\n"
        "print(time.perf_counter() - start)\n";
    const fs::path script_path = folder.parent_path() / "peer_openpyxl.py";
    std::FILE* file = std::fopen(script_path.c_str(), "w");
    if (file == nullptr) return std::nullopt;
    std::fputs(script.c_str(), file);
    std::fclose(file);
    // Debian's interpreter, where python3-openpyxl is installed, before any other on the PATH.
    const std::string python = fs::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
    const std::string command =
        python + " '" + script_path.string() + "' '" + folder.string() + "'";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return std::nullopt;
    double seconds = 0;
    const bool read = std::fscanf(pipe, "%lf", &seconds) == 1;
    if (::pclose(pipe) != 0 || !read) return std::nullopt;
    return seconds;
}

}  // namespace

int main(int argc, char** argv) {
    // The runs below are in this process: set it up as the front program sets up its own.
    helmkit::setup_process();
    const bool own_folder = argc < 2;
    fs::path root;
    if (own_folder) {
        std::string pattern = "/tmp/bench_claimsort_XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) return 1;
        root = pattern;
    } else {
        root = argv[1];
        fs::create_directories(root);
    }
    const fs::path data = root / "data";
    fs::create_directories(data);

    const double made = seconds_of([&] {
        for (int i = 0; i < k_workbooks; ++i) {
            write_workbook(data / ("claim_" + std::to_string(i) + ".xlsx"), i);
        }
    });
    std::printf("made %d workbooks of %d rows in %.2f s\n", k_workbooks, k_rows, made);

    std::uint64_t cells = 0;
    const double read = seconds_of([&] {
        for (const auto& entry : fs::directory_iterator(data)) {
            helmkit::XlsxReader reader(entry.path());
            reader.for_each_cell([&](std::uint32_t, std::uint32_t, const helmkit::CellValue&) {
                ++cells;
                return true;
            });
        }
    });
    std::printf("reader, whole sheets: %llu cells in %.3f s = %.0f cells/s\n",
                static_cast<unsigned long long>(cells), read, static_cast<double>(cells) / read);

    const auto config = [&](bool dry_run) {
        return nlohmann::ordered_json{{"config", {{"path", data.string()}, {"dry_run", dry_run}}}};
    };
    const fs::path peer_data = root / "peer_data";
    fs::create_directories(peer_data);
    for (int i = 0; i < k_peer_workbooks; ++i) {
        const std::string name = "claim_" + std::to_string(i) + ".xlsx";
        fs::copy_file(data / name, peer_data / name, fs::copy_options::overwrite_existing);
    }
    const auto peer_config = nlohmann::ordered_json{
        {"config", {{"path", peer_data.string()}, {"dry_run", true}}}};
    const double dry_peer =
        quietly([&] { torvane::claimsort::process_expense_rename(peer_config); });
    std::printf("dry run:  %d workbooks in %.3f s = %.0f workbooks/s (goal: 3000)\n",
                k_peer_workbooks, dry_peer, k_peer_workbooks / dry_peer);
    if (const auto peer = openpyxl_seconds(peer_data)) {
        std::printf("openpyxl read-only, same %d workbooks: %.3f s = %.0f workbooks/s; "
                    "claimsort dry run %.1fx faster (goal: 35x)\n",
                    k_peer_workbooks, *peer, k_peer_workbooks / *peer, *peer / dry_peer);
    } else {
        std::printf("openpyxl read-only: not run (python3 or python3-openpyxl missing)\n");
    }
    const double dry = quietly([&] { torvane::claimsort::process_expense_rename(config(true)); });
    std::printf("dry run:  %d workbooks in %.3f s = %.0f workbooks/s (goal: 3000)\n", k_workbooks,
                dry, k_workbooks / dry);
    const double real = quietly([&] { torvane::claimsort::process_expense_rename(config(false)); });
    std::printf("real run: %d workbooks in %.3f s = %.0f workbooks/s (goal: 1000; every backup "
                "on disk before its workbook moves)\n",
                k_workbooks, real, k_workbooks / real);

    const auto moved = std::distance(fs::directory_iterator(data / "results"), {});
    if (moved != k_workbooks) {
        std::printf("error: %ld workbooks in results, expected %d\n", static_cast<long>(moved),
                    k_workbooks);
        return 1;
    }
    const double single = one_flush_per_backup(data / "results", root / "single");
    std::printf("real run as before, one flush per backup: %d workbooks in %.3f s = "
                "%.0f workbooks/s\n",
                static_cast<int>(k_single_moves), single, k_single_moves / single);
    if (own_folder) fs::remove_all(root);
    return 0;
}
