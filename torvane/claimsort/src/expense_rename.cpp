#include "torvane/claimsort/expense_rename.hpp"

#include <fmt/format.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <filesystem>
#include <string>

#include "claimsort_log.hpp"
#include "missing_cause.hpp"
#include "helmkit/base/config_value.hpp"
#include "helmkit/base/error.hpp"
#include "helmkit/base/json_value.hpp"
#include "helmkit/base/progress.hpp"
#include "helmkit/files/file_mg.hpp"
#include "helmkit/files/move_batch.hpp"
#include "torvane/claimsort/cell_reading.hpp"
#include "torvane/claimsort/claim_name.hpp"
#include "torvane/claimsort/command.hpp"

namespace fs = std::filesystem;
using nlohmann::ordered_json;

namespace torvane::claimsort {

namespace {

constexpr std::string_view k_excel_in = "the \"excel_in\" section";

// A missing section counts as an empty object; any other kind is refused.
const ordered_json& section(const ordered_json& config, const char* key) {
    static const ordered_json empty = ordered_json::object();
    const auto found = config.find(key);
    if (found == config.end()) return empty;
    if (!found->is_object()) {
        throw helmkit::Error(std::string("configuration: \"") + key +
                             "\" must be a JSON object, not " +
                             helmkit::fileMg::json_type_name(*found));
    }
    return *found;
}

// On when the value, in its text form and lower case, is "true": the boolean true or any
// capitalisation of the text true; everything else (1, "yes", null) is off.
bool dry_run_setting(const ordered_json& section) {
    const auto found = section.find("dry_run");
    if (found == section.end()) return false;
    std::string text = helmkit::display_text(*found);
    for (auto& c : text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return text == "true";
}

// "%m%d_%H%M%S" of the local time followed by the hundredths of the second.
std::string datecode(std::chrono::system_clock::time_point now) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    const auto micros =
        std::chrono::duration_cast<std::chrono::microseconds>(now.time_since_epoch()).count() %
        1'000'000;
    return fmt::format("{:02}{:02}_{:02}{:02}{:02}{:02}", local.tm_mon + 1, local.tm_mday,
                       local.tm_hour, local.tm_min, local.tm_sec, micros / 10'000);
}

// The current time; in builds with test hooks, TORVANE_TEST_NOW (seconds since 1970, with a
// fraction) fixes it, so tests can make workbooks collide on their new names.
std::chrono::system_clock::time_point clock_now() {
#if TORVANE_TEST_HOOKS
    if (const char* fixed = std::getenv("TORVANE_TEST_NOW")) {
        return std::chrono::system_clock::time_point(
            std::chrono::duration_cast<std::chrono::system_clock::duration>(
                std::chrono::duration<double>(std::strtod(fixed, nullptr))));
    }
#endif
    return std::chrono::system_clock::now();
}

bool is_symbolic_link(const std::string& path) {
    std::error_code error;
    return fs::is_symlink(fs::symlink_status(path, error));
}

// Tells what a real run would do about names that are taken, as its warnings would.
void log_taken_names(const helmkit::fileMg::MovedFile& names, const std::string& file_path,
                     const fs::path& dest_path, const fs::path& backup_path) {
    auto& log = logger();
    if (names.backup != backup_path) {
        log.warning("[Dry-Run] '" + backup_path.string() +
                    "' already exists; would keep the backup of '" + file_path + "' as '" +
                    names.backup.string() + "'");
    }
    if (names.dest != dest_path) {
        log.warning("[Dry-Run] '" + dest_path.string() + "' already exists; would move '" +
                    file_path + "' to '" + names.dest.string() + "' instead");
    }
}

}  // namespace

std::string RenameSummary::text() const {
    return fmt::format("{}Summary: {} {}, {} skipped, {} failed", dry_run ? "[Dry-Run] " : "",
                       moved, dry_run ? "would be moved" : "moved", skipped, failed);
}

helmkit::RunOutcome RenameSummary::outcome() const {
    if (facility_missing) return helmkit::RunOutcome::failed;
    if (skipped + failed == 0) return helmkit::RunOutcome::done;
    return moved == 0 ? helmkit::RunOutcome::failed : helmkit::RunOutcome::partly_done;
}

RenameSummary process_expense_rename(const ordered_json& config_dict) {
    auto& log = logger();
    RenameSummary summary;
    if (!config_dict.is_object()) {
        throw helmkit::Error("config_dict must be a JSON object, but the configuration holds " +
                             helmkit::fileMg::json_type_name(config_dict));
    }
    if (!HAS_OPENPYXL) {
        log.error(
            "Missing required package for reading Excel workbooks (libzip and expat). Please "
            "install them with: sudo apt-get install libzip-dev libexpat1-dev, then rebuild "
            "Torvane with its workbook feature: cmake -S . -B build -DTORVANE_WORKBOOK_READ=ON "
            "&& cmake --build build");
        summary.facility_missing = true;
        return summary;
    }

    const auto& cfg_main = section(config_dict, "config");
    const auto& cfg_excel = section(config_dict, "excel_in");
    const std::string input_path =
        helmkit::text_or(cfg_main, "path", "./data_claimsort", "the \"config\" section");
    const bool dry_run = dry_run_setting(cfg_main);
    const std::string name_cell = helmkit::text_or(cfg_excel, "name_cell", "D6", k_excel_in);
    const std::string amount_cell = helmkit::text_or(cfg_excel, "amount_cell", "P56", k_excel_in);

    fs::path target_dir;
    try {
        target_dir = helmkit::fileMg::get_folder_from_path(input_path);
    } catch (const helmkit::Error& error) {
        // The front prints the message: the second line says where a relative path led.
        throw helmkit::Error(std::string(error.what()) + "\n" +
                             helmkit::fileMg::where_looked(input_path));
    }
    const auto output_folder = helmkit::fileMg::generate_output_path(target_dir, "results");
    const auto backup_folder = helmkit::fileMg::generate_output_path(target_dir, "backup");

    const auto files = helmkit::fileMg::find_files_with_extensions(input_path, {".xlsx"}).paths;
    log.info("Starting expense processing in: " + input_path);

    summary.dry_run = dry_run;
    helmkit::Progress progress("Claimsort workbooks", files.size());
    // The backups are copied as the workbooks are read, and all flushed to disk at once before
    // the first workbook moves.
    helmkit::fileMg::MoveBatch moves;
    std::vector<std::string> planned;
    for (const auto& file_path : files) {
        const std::string base_name = fs::path(file_path).filename().string();
        if (base_name.starts_with("~$")) {
            log.info("Skipping " + base_name +
                     ": the owner file Office keeps beside a workbook that is open");
            progress.advance();
            continue;
        }
        if (is_symbolic_link(file_path)) {
            // Moved into results, a relative link would point elsewhere or nowhere.
            log.warning("---> Skipping " + base_name +
                        ": it is a symbolic link; move the workbook it points to instead");
            ++summary.skipped;
            progress.advance();
            continue;
        }
        const auto values = get_excel_cell_value(file_path, {name_cell, amount_cell});
        const auto& name = values[0];
        const auto& amount = values[1];
        if (helmkit::is_missing(name) || helmkit::is_missing(amount)) {
            log.error("---> Skipping " + base_name + ": Cannot find Name or Amount in " +
                      name_cell + " or " + amount_cell);
            if (const auto cause = missing_cells_cause(file_path, {name_cell, amount_cell}, values);
                !cause.empty()) {
                log.info(cause);
            }
            ++summary.skipped;
            progress.advance();
            continue;
        }

        const auto now = clock_now();
        const std::string new_filename =
            claim_file_name(sanitize_filename(name), sanitize_filename(amount), datecode(now));
        const auto dest_path = output_folder / new_filename;
        const auto backup_path = backup_folder / base_name;

        try {
            if (dry_run) {
                log.info("[Dry-Run] Would move: " + base_name + " -> " + new_filename);
                log_taken_names(moves.reserve(dest_path, backup_path), file_path, dest_path,
                                backup_path);
                ++summary.moved;
            } else {
                log.info("Processing: " + base_name + " -> " + new_filename);
                moves.add(file_path, dest_path, backup_path, log);
                planned.push_back(file_path);
            }
        } catch (const std::exception& error) {
            log.error("Failed to move " + file_path + ": " + error.what());
            ++summary.failed;
        }
        progress.advance();
    }

    const auto errors = moves.commit();
    for (std::size_t i = 0; i < errors.size(); ++i) {
        if (errors[i].empty()) {
            ++summary.moved;
        } else {
            log.error("Failed to move " + planned[i] + ": " + errors[i]);
            ++summary.failed;
        }
    }
    // A debug line: the run's own log has no closing count, and callers read it as it is.
    log.debug(summary.text());
    return summary;
}

}  // namespace torvane::claimsort
