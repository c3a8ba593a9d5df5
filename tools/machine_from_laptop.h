// A machine folder made from what a user brings back from a laptop, in one folder:
//
//   system.reg    reg export HKLM\SYSTEM system.reg
//   program\      the program's folder (its settings file and ZeCoInst.dat)
//   inf\          the adapter's OEM INF (oemNN.inf)
//   system32\     the platform settings file (ZC*.ini), when the laptop has one
//
// The export becomes the machine's registry.reg. The system locale comes from the
// export's Control\Nls\Language unless given; the user locale is the system's unless
// given (HKLM\SYSTEM does not hold it). The present devices are those under Enum that
// have a driver and are not marked removed, unless named.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/sim/machine.h"

namespace ze::tools {

struct LaptopOptions {
    sim::MachineSettings settings;
    bool systemLocaleGiven = false;
    bool userLocaleGiven = false;
    std::vector<std::u16string> present;  // --present; empty: from the export
};

enum class LaptopResult {
    Made = 0,
    Failed = 1,        // the machine could not be written or the export not read
    MissingPiece = 3,  // the laptop folder lacks a piece, named in the message
    BadExport = 4,     // the export is not one of HKLM\SYSTEM or names no control set
};

// Makes the machine folder `dir` (which must not hold a machine) from `from`. On
// failure prints the reason on standard error and removes what it made of `dir`.
LaptopResult CreateFromLaptop(const std::filesystem::path& dir, const std::filesystem::path& from,
                              LaptopOptions options);

}  // namespace ze::tools
