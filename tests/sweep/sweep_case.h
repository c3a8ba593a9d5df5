// One case of the fault sweep: a scenario of the program run on a fresh copy of the
// demo machine, in a child process of its own, with at most one call failing or a
// stop delivered before one call of the service's reset; and what it checks.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "sweep/sweep_layer.h"

namespace ze::sweep {

enum class Scenario { DebugJapanese, DebugEnglish, ServiceRun, Install, Uninstall, HardwareId };
inline constexpr Scenario kScenarios[] = {Scenario::DebugJapanese, Scenario::DebugEnglish,
                                          Scenario::ServiceRun,    Scenario::Install,
                                          Scenario::Uninstall,     Scenario::HardwareId};
const char* ScenarioName(Scenario scenario);

struct SweepCase {
    Scenario scenario = Scenario::DebugJapanese;
    std::optional<CallPoint> failing;
    LONG error = ERROR_SUCCESS;
    // Service scenario: a stop is delivered before this call of the service's reset.
    std::optional<std::size_t> stopBefore;
};
std::string Describe(const SweepCase& sweepCase);

enum Check {
    kNoCrash,
    kNoSanitizerReport,
    kReturns,
    kRegistryInScope,
    kOwnFilesOnly,
    kAdapterEnabled,
    kCheckCount
};
const char* CheckName(int check);

struct Outcome {
    std::array<bool, kCheckCount> passed{};
    std::array<std::string, kCheckCount> why;  // what a failed check saw
    std::vector<CallRecord> calls;             // every call the program made, in order
};

// Runs the case in a child process; a child that does not report within a minute is
// killed and counts as not returning.
Outcome RunCase(const SweepCase& sweepCase);

// The errors Windows gives when the call fails; empty for calls that cannot fail
// (GetLastError, GetLocalTime, Sleep, ...).
std::vector<LONG> ErrorsOf(Call call);

}  // namespace ze::sweep
