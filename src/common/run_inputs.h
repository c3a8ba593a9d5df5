// What one run of the reset works from. It is read once, where the run starts (the
// command line's entry, or the service's main routine), and passed down: nothing
// below varies a run through process-wide state or by intercepting the system.
#pragma once

#include <optional>
#include <string>

namespace ze {

struct RunInputs {
    std::u16string settingsFile;  // the program settings file
    std::u16string dataFile;      // the country data file
    std::u16string netId;         // the recorded adapter: [DriverKey] NetID of the settings file
    // The code the country data file's entries are looked up under. Unset: the data
    // file's [Settings] WindowsCountry chooses it when the country reset starts.
    std::optional<std::u16string> country;
    // The restart keeps its record in the settings file while the adapter is disabled;
    // a preview, which only shows what a run would write, keeps none.
    bool keepsRestartRecord = true;
};

// The inputs of this process's run: the files start-up derived from the executable's
// path, and the Net ID the settings file records (empty when it records none).
RunInputs ReadRunInputs();

}  // namespace ze
