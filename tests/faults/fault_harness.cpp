#include "fault_harness.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <cstring>
#include <cstdlib>
#include <sstream>

namespace faults_test {

namespace {

std::string preload() {
    const std::string shim = TORVANE_FAULT_SHIM;
    const std::string asan = TORVANE_ASAN_RUNTIME;
    return asan.empty() ? shim : asan + ":" + shim;
}

fs::path report_path() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        (fs::path(base && *base ? base : "/tmp") / "torvane-fault-report-XXXXXX").string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) throw std::runtime_error("mkstemp failed");
    ::close(fd);
    return pattern;
}

void read_report(const std::string& text, FaultRun& run) {
    for (const auto& line : torvane_test::lines_of(text)) {
        std::istringstream in(line);
        std::string word;
        in >> word;
        if (word == "fault") {
            std::string operation;
            in >> operation >> std::ws;
            std::string path;
            std::getline(in, path);
            run.struck.emplace(operation, path);
        } else if (word == "calls") {
            while (in >> word) {
                const auto equals = word.find('=');
                run.calls[word.substr(0, equals)] = std::stol(word.substr(equals + 1));
            }
        }
    }
}

bool is_temporary(const std::string& relative) {
    const auto name = fs::path(relative).filename().string();
    return name.starts_with('.') && name.find(".tmp-") != std::string::npos;
}

}  // namespace

FaultRun run_with_fault(const std::vector<std::string>& args, const fs::path& folder,
                        const std::string& fault, const std::map<std::string, std::string>& env) {
    const auto report = report_path();
    auto all = env;
    all["LD_PRELOAD"] = preload();
    all["TORVANE_FAULT_DIR"] = folder.string();
    all["TORVANE_FAULT_REPORT"] = report.string();
    all["TORVANE_FAULT"] = fault;
    FaultRun run;
    run.result = torvane_test::run_torvane(args, folder, all);
    read_report(torvane_test::read_file(report), run);
    fs::remove(report);
    return run;
}

Snapshot snapshot(const fs::path& folder) {
    Snapshot files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const auto relative = fs::relative(entry.path(), folder).string();
        if (entry.is_directory()) {
            files[relative] = std::nullopt;
        } else {
            files[relative] = torvane_test::read_file(entry.path());
        }
    }
    return files;
}

void restore(const fs::path& folder, const Snapshot& files) {
    for (const auto& entry : fs::directory_iterator(folder)) fs::remove_all(entry.path());
    for (const auto& [relative, content] : files) {
        if (content) {
            torvane_test::write_file(folder / relative, *content);
        } else {
            fs::create_directories(folder / relative);
        }
    }
}

std::string shown_name(const std::string& path) {
    auto name = fs::path(path).filename().string();
    const auto decoration = name.rfind(".tmp-");
    if (name.starts_with('.') && decoration != std::string::npos) {
        name = name.substr(1, decoration - 1);
    }
    return name;
}

void expect_clean_end(const FaultRun& run) {
    EXPECT_LT(run.result.status, 128) << "ended by a signal\n" << run.result.err;
    EXPECT_EQ(run.result.err.find("Sanitizer"), std::string::npos) << run.result.err;
    EXPECT_EQ(run.result.err.find("runtime error"), std::string::npos) << run.result.err;
}

void expect_named_error(const FaultRun& run, const std::string& fault) {
    ASSERT_TRUE(run.struck.has_value());
    const auto name = shown_name(run.struck->second);
    const auto action = fault.substr(fault.find(':') + 1, fault.rfind(':') - fault.find(':') - 1);
    const std::string reason = std::strerror(k_error_numbers.at(action));
    bool named = false;
    for (const auto& text : {run.result.err, run.result.out}) {
        for (const auto& line : torvane_test::lines_of(text)) {
            const bool is_error = line.find(" ERROR ") != std::string::npos ||
                                  line.find(" WARNING ") != std::string::npos ||
                                  line.starts_with("Error: ") || line.starts_with("Failed") ||
                                  line.find("[ERROR]") != std::string::npos;
            named = named || (is_error && line.find(name) != std::string::npos &&
                              line.find(reason) != std::string::npos);
        }
    }
    EXPECT_TRUE(named) << "no error line names " << name << " and says \"" << reason
                       << "\"\nstdout:\n"
                       << run.result.out << "stderr:\n"
                       << run.result.err;
}

namespace {

// Checks `after` against the scenario's folder before the run; returns the outputs that hold
// complete new content.
std::set<std::string> check_leftovers(const Scenario& scenario, const Snapshot& after,
                                      bool temporaries_allowed) {
    const auto& before = scenario.before;
    std::set<std::string> complete;
    for (const auto& [relative, content] : before) {
        if (scenario.outputs.contains(relative) || scenario.scratch.contains(relative)) continue;
        const auto found = after.find(relative);
        if (found == after.end()) {
            ADD_FAILURE() << "input " << relative << " is gone";
        } else if (found->second != content) {
            ADD_FAILURE() << "input " << relative << " was changed";
        }
    }
    for (const auto& output : scenario.outputs) {
        const auto earlier = before.find(output);
        const auto now = after.find(output);
        if (now == after.end()) {
            EXPECT_EQ(earlier, before.end()) << "the earlier " << output << " is gone";
            continue;
        }
        if (earlier != before.end() && earlier->second == now->second) continue;
        const auto clean = scenario.clean.find(output);
        const bool whole =
            now->second && (scenario.complete
                                ? scenario.complete(output, *now->second, after, scenario.clean)
                                : clean != scenario.clean.end() && clean->second == now->second);
        if (whole) {
            complete.insert(output);
        } else {
            ADD_FAILURE() << output << " holds neither the earlier file nor a complete new one ("
                          << (now->second ? now->second->size() : 0) << " bytes)";
        }
    }
    for (const auto& [relative, content] : after) {
        if (before.contains(relative) || scenario.outputs.contains(relative) ||
            scenario.scratch.contains(relative)) {
            continue;
        }
        if (temporaries_allowed && is_temporary(relative)) continue;
        // Folders on the way to an output are expected.
        const bool leads_to_output =
            !content && std::any_of(scenario.outputs.begin(), scenario.outputs.end(),
                                    [&](const std::string& output) {
                                        return output.starts_with(relative + "/");
                                    });
        if (!leads_to_output) ADD_FAILURE() << "stray file left behind: " << relative;
    }
    return complete;
}

bool outputs_as_clean(const Scenario& scenario, const Snapshot& after) {
    return std::all_of(scenario.outputs.begin(), scenario.outputs.end(),
                       [&](const std::string& output) {
                           const auto now = after.find(output);
                           const auto clean = scenario.clean.find(output);
                           return now != after.end() && clean != scenario.clean.end() &&
                                  now->second == clean->second;
                       });
}

// `files` with the random part of temporaries' names blanked and their content dropped.
Snapshot leftover_kind(const Snapshot& files) {
    Snapshot kind;
    for (const auto& [relative, content] : files) {
        if (is_temporary(relative)) {
            kind[relative.substr(0, relative.rfind(".tmp-")) + ".tmp-"] = std::string();
        } else {
            kind[relative] = content;
        }
    }
    return kind;
}

FaultRun run(const Scenario& scenario, const std::string& fault) {
    return run_with_fault(scenario.args, scenario.folder, fault, scenario.env);
}

}  // namespace

std::string fault_at(const std::string& operation, const std::string& error, long n) {
    return operation + ":" + error + ":" + std::to_string(n) + (error == "ENOSPC" ? "+" : "");
}

std::map<std::string, long> count_calls(Scenario& scenario) {
    scenario.before = snapshot(scenario.folder);
    const auto counted = run(scenario, "");
    expect_clean_end(counted);
    EXPECT_TRUE(scenario.reports_success(counted.result))
        << counted.result.out << counted.result.err;
    scenario.clean = snapshot(scenario.folder);
    restore(scenario.folder, scenario.before);
    return counted.calls;
}

void sweep_faults(Scenario& scenario, const std::string& operation) {
    const auto calls = count_calls(scenario);
    const auto count = calls.contains(operation) ? calls.at(operation) : 0;
    ASSERT_GT(count, 0) << "the run makes no " << operation << " call";
    for (long n = 1; n <= count; ++n) {
        const auto& error = k_errors[static_cast<std::size_t>(n - 1) % k_errors.size()];
        const auto fault = fault_at(operation, error, n);
        SCOPED_TRACE(fault);
        restore(scenario.folder, scenario.before);
        const auto faulty = run(scenario, fault);
        expect_clean_end(faulty);
        ASSERT_TRUE(faulty.struck.has_value()) << "the fault never struck";
        const auto after = snapshot(scenario.folder);
        const auto complete = check_leftovers(scenario, after, false);
        const bool success = scenario.reports_success(faulty.result);
        if (success) {
            EXPECT_TRUE(complete.contains(scenario.main_output))
                << "success reported without a complete " << scenario.main_output << "\n"
                << faulty.result.out << faulty.result.err;
        } else {
            EXPECT_FALSE(complete.contains(scenario.main_output))
                << scenario.main_output << " replaced without a reported success";
        }
        if (!success || !outputs_as_clean(scenario, after)) expect_named_error(faulty, fault);
        if (::testing::Test::HasFailure()) return;
    }
}

void sweep_kills(Scenario& scenario) {
    const auto calls = count_calls(scenario);
    long total = 0;
    for (const auto& [operation, count] : calls) total += count;
    ASSERT_GT(total, 0);
    // Kills at neighbouring calls mostly leave the same files; a second run is tried once for
    // each kind of leftover.
    std::set<Snapshot> leftovers_tried;
    for (long n = 1; n <= total; ++n) {
        const auto fault = "any:KILL:" + std::to_string(n);
        SCOPED_TRACE(fault);
        restore(scenario.folder, scenario.before);
        const auto killed = run(scenario, fault);
        ASSERT_TRUE(killed.struck.has_value());
        EXPECT_EQ(killed.result.status, 128 + SIGKILL) << killed.result.err;
        const auto left = snapshot(scenario.folder);
        check_leftovers(scenario, left, true);
        if (!leftovers_tried.insert(leftover_kind(left)).second) continue;

        const auto again = run(scenario, "");
        expect_clean_end(again);
        EXPECT_TRUE(scenario.reports_success(again.result))
            << again.result.out << again.result.err;
        const auto after = snapshot(scenario.folder);
        const auto complete = check_leftovers(scenario, after, true);
        EXPECT_TRUE(complete.contains(scenario.main_output))
            << "the run after the kill left no complete " << scenario.main_output;
        if (::testing::Test::HasFailure()) return;
    }
}

}  // namespace faults_test
