// claimsort under failing file operations: a workbook is moved whole with its backup, or stays
// where it was with an error naming it; no workbook is lost or left half-copied.
#if FAULTS_WORKBOOK_READ

#include <gtest/gtest.h>

#include <cstring>

#include "claimsort/claim_workbooks.hpp"
#include "fault_harness.hpp"
#include "helmkit/base/json.hpp"

using namespace faults_test;
using torvane_test::write_file;

namespace {

class ClaimsortFaults : public ::testing::TestWithParam<std::string> {
protected:
    ClaimsortFaults() {
        claimsort_test::write_claim(m_dir / "claims" / "alpha.xlsx", "Alpha", 10);
        claimsort_test::write_claim(m_dir / "claims" / "beta.xlsx", "Beta", 20);
        write_file(m_dir / "claims.json",
                   nlohmann::json{{"config", {{"path", "claims"}}}}.dump());
        m_before = snapshot(m_dir.path());
    }

    FaultRun run(const std::string& fault) const {
        return run_with_fault({"claimsort", "-c", "claims.json"}, m_dir.path(), fault);
    }

    // Checks that each workbook is either in claims/ as it was, or moved to claims/results/
    // under its new name with its backup in claims/backup/, and that nothing else is there.
    // `reason` is the text of the injected error, which the error line must give.
    void expect_workbooks_kept(const FaultRun& run, const std::string& reason = "") const {
        const auto after = snapshot(m_dir.path());
        std::set<std::string> accounted{"claims", "claims.json", "claims/results", "claims/backup"};
        for (const auto& [name, prefix] : {std::pair{"alpha.xlsx", "Alpha_10_"},
                                           std::pair{"beta.xlsx", "Beta_20_"}}) {
            const auto input = "claims/" + std::string(name);
            const auto& original = *m_before.at(input);
            const auto backup = "claims/backup/" + std::string(name);
            const auto backed_up = after.contains(backup) && after.at(backup) == original;
            if (backed_up) accounted.insert(backup);
            if (after.contains(input)) {
                EXPECT_EQ(after.at(input), original) << input << " was changed";
                accounted.insert(input);
                // A run that ended in an error of its own moved nothing; otherwise the
                // workbook that stayed needs its own error line.
                EXPECT_TRUE(run.result.status != 0 || log_names(run, name, reason))
                    << name << " stayed without an error naming it and saying \"" << reason << "\"\n"
                                     << run.result.err;
                continue;
            }
            EXPECT_TRUE(backed_up) << name << " was moved without its backup";
            int moved = 0;
            for (const auto& [path, content] : after) {
                if (path.starts_with("claims/results/" + std::string(prefix)) &&
                    content == original) {
                    ++moved;
                    accounted.insert(path);
                }
            }
            EXPECT_EQ(moved, 1) << name << " is neither in claims/ nor whole in claims/results/";
        }
        for (const auto& [path, content] : after) {
            EXPECT_TRUE(accounted.contains(path)) << "stray file left behind: " << path;
        }
    }

    static bool log_names(const FaultRun& run, const std::string& name, const std::string& reason) {
        for (const auto& line : torvane_test::lines_of(run.result.err)) {
            if (line.find(" ERROR ") != std::string::npos && line.find(name) != std::string::npos &&
                line.find(reason) != std::string::npos) {
                return true;
            }
        }
        return false;
    }

    torvane_test::TempDir m_dir;
    Snapshot m_before;
};

TEST_P(ClaimsortFaults, EveryFailingCallKeepsEachWorkbookWholeInOnePlace) {
    const auto counted = run("");
    expect_clean_end(counted);
    expect_workbooks_kept(counted);
    ASSERT_FALSE(fs::exists(m_dir / "claims" / "alpha.xlsx")) << counted.result.err;
    const auto count = counted.calls.contains(GetParam()) ? counted.calls.at(GetParam()) : 0;
    ASSERT_GT(count, 0) << "the run makes no " << GetParam() << " call";
    for (long n = 1; n <= count; ++n) {
        const auto& error = k_errors[static_cast<std::size_t>(n - 1) % k_errors.size()];
        const auto fault = fault_at(GetParam(), error, n);
        SCOPED_TRACE(fault);
        restore(m_dir.path(), m_before);
        const auto faulty = run(fault);
        expect_clean_end(faulty);
        ASSERT_TRUE(faulty.struck.has_value()) << "the fault never struck";
        if (faulty.result.status != 0) expect_named_error(faulty, fault);
        expect_workbooks_kept(faulty, std::strerror(k_error_numbers.at(error)));
        if (HasFailure()) return;
    }
}

INSTANTIATE_TEST_SUITE_P(Operations, ClaimsortFaults,
                         ::testing::Values("write", "fsync", "rename", "mkdir", "open"));

}  // namespace

#endif
