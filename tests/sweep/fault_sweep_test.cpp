// The fault sweep: each scenario of the program runs once cleanly to number its calls,
// then once per (call, occurrence) with that call failing as Windows would fail it;
// the service's reset also runs once per call with a stop delivered just before it.
// Every case must end without a crash or sanitizer report, return, change the
// registry only in the driver and service keys, write no file but the program's own
// and leave the adapter enabled.
//
// By default (CI) each call name fails once per scenario, at its first occurrence;
// ZE_SWEEP=full runs every occurrence with every error (scripts/fault-sweep.sh).
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "sweep/sweep_case.h"

namespace ze::sweep {
namespace {

bool FullSweep() {
    const char* mode = std::getenv("ZE_SWEEP");
    return mode != nullptr && std::string(mode) == "full";
}

struct Tally {
    std::size_t cases = 0;
    std::set<CallPoint> points;
    std::set<Call> calls;
    std::array<std::size_t, kCheckCount> passed{};
    std::vector<std::string> failures;

    void Add(const SweepCase& sweepCase, const Outcome& outcome) {
        ++cases;
        if (sweepCase.failing) {
            points.insert(*sweepCase.failing);
            calls.insert(sweepCase.failing->call);
        }
        for (int check = 0; check < kCheckCount; ++check) {
            if (outcome.passed[check]) {
                ++passed[check];
                continue;
            }
            failures.push_back(Describe(sweepCase) + " -- " + CheckName(check) + ": " +
                               outcome.why[check]);
        }
    }

    void Print(const std::string& title, const char* unit) const {
        std::printf("[sweep] %s: %zu cases over %zu %s", title.c_str(), cases,
                    points.empty() ? cases : points.size(), unit);
        if (!calls.empty())
            std::printf(" (%zu call names)", calls.size());
        std::printf("; passed:");
        for (int check = 0; check < kCheckCount; ++check)
            std::printf("%s %s %zu", check == 0 ? "" : ",", CheckName(check), passed[check]);
        std::printf("\n");
        for (const auto& line : failures)
            std::printf("[sweep]   FAILED: %s\n", line.c_str());
        std::fflush(stdout);
    }
};

// The clean run of a scenario, itself checked; its calls are the sweep's points.
std::vector<CallRecord> CleanRun(Scenario scenario) {
    Outcome clean = RunCase(SweepCase{scenario, std::nullopt, ERROR_SUCCESS, std::nullopt});
    for (int check = 0; check < kCheckCount; ++check) {
        EXPECT_TRUE(clean.passed[check])
            << ScenarioName(scenario) << ", clean run: " << CheckName(check) << ": "
            << clean.why[check];
    }
    EXPECT_FALSE(clean.calls.empty()) << ScenarioName(scenario);
    return clean.calls;
}

std::vector<SweepCase> FaultCases(Scenario scenario, const std::vector<CallRecord>& calls) {
    bool full = FullSweep();
    std::set<Call> swept;
    std::vector<SweepCase> cases;
    for (const auto& call : calls) {
        std::vector<LONG> errors = ErrorsOf(call.point.call);
        if (errors.empty() || (!full && !swept.insert(call.point.call).second))
            continue;
        for (LONG error : errors) {
            cases.push_back(SweepCase{scenario, call.point, error, std::nullopt});
            if (!full)
                break;
        }
    }
    return cases;
}

class FaultSweep : public ::testing::TestWithParam<Scenario> {};

TEST_P(FaultSweep, EveryFailingCallEndsWell) {
    Scenario scenario = GetParam();
    Tally tally;
    for (const auto& sweepCase : FaultCases(scenario, CleanRun(scenario)))
        tally.Add(sweepCase, RunCase(sweepCase));
    tally.Print(ScenarioName(scenario), "points");
    EXPECT_GT(tally.cases, 0u);
    EXPECT_TRUE(tally.failures.empty())
        << tally.failures.size() << " failed checks, first: " << tally.failures.front();
}

INSTANTIATE_TEST_SUITE_P(Scenarios, FaultSweep, ::testing::ValuesIn(kScenarios),
                         [](const auto& info) {
                             std::string name;
                             for (char c : std::string(ScenarioName(info.param))) {
                                 if (std::isalnum(static_cast<unsigned char>(c)))
                                     name += c;
                             }
                             return name;
                         });

// A stop before each call of the service's reset (by default, before the first call of
// each name): the service still ends, with the adapter enabled.
TEST(StopSweep, AStopBeforeAnyCallOfTheResetEndsTheServiceWithTheAdapterEnabled) {
    std::vector<CallRecord> calls = CleanRun(Scenario::ServiceRun);
    bool full = FullSweep();
    std::set<Call> swept;
    Tally tally;
    std::size_t index = 0;
    for (const auto& call : calls) {
        if (!call.serviceWork)
            continue;
        if (full || swept.insert(call.point.call).second) {
            SweepCase sweepCase{Scenario::ServiceRun, std::nullopt, ERROR_SUCCESS, index};
            tally.Add(sweepCase, RunCase(sweepCase));
        }
        ++index;
    }
    tally.Print("stop during the service's reset (" + std::to_string(index) + " reset calls)",
                "stop points");
    EXPECT_GT(tally.cases, 0u);
    EXPECT_TRUE(tally.failures.empty())
        << tally.failures.size() << " failed checks, first: " << tally.failures.front();
}

}  // namespace
}  // namespace ze::sweep
