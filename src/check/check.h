// The checker: what a reset would silently get wrong in the files it reads, found
// with the reset's own reading and parsing routines (the profile functions through
// the platform port, the reset's number and mask parsers), never with a second
// parser that could disagree.
//
// CheckDataFile reads the country data file: every entry of the per-country sections
// must parse completely the way the reset parses it; CheckCoverage says, from the
// country table, what a country listed in one section but not another gets. CheckPlatformFile reads
// a platform settings file: each section's RegType must be one the reset knows and its RegValue
// must fit that type. CheckAdapter reads what belongs to the recorded adapter: its driver values
// the reset parses (the option mask, the power ranges), its region choices, its platform settings
// file and the Strings section of its OEM INF for the system language. CountryTable runs the
// country reset itself with each country code of the data file, over the dry-run layer, and reports
// what it would write. Nothing here changes the machine; every finding names its file (or key) and,
// when the profile functions can say, the line.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "common/run_inputs.h"

namespace ze {

struct Finding {
    enum class Severity { Error, Warning };
    Severity severity = Severity::Error;
    std::u16string where;  // a file path or a registry key
    int line = 0;          // 1-based; 0 when not known
    std::u16string message;
};

struct CheckReport {
    std::vector<Finding> findings;
    bool HasErrors() const;
};

// What "/check" checks: the data file inputs.dataFile and the recorded adapter.
void CheckInstalledFiles(const RunInputs& inputs, CheckReport* report);
// What "/check FILE" checks: the file as a data file when it has one of the data
// file's per-country sections, otherwise as a platform settings file. True when it
// was checked as a data file; false when it was checked as a platform settings file
// or cannot be read at all (a finding says why).
bool CheckFile(const std::u16string& path, CheckReport* report);

// The data file's per-country entries; false when the file cannot be read as a
// profile file at all (the finding says why).
void CheckDataFile(const std::u16string& path, CheckReport* report);
void CheckPlatformFile(const std::u16string& path, CheckReport* report);
// The recorded adapter (inputs.netId): its driver values, platform settings file and
// OEM INF.
void CheckAdapter(const RunInputs& inputs, CheckReport* report);

// One row per country code of the data file inputs.dataFile: the values the country
// reset would write for it on the adapter inputs.netId (its option mask and ranges
// applied); an empty text where it would write nothing.
struct CountryRow {
    std::u16string country;
    std::u16string region2_4G, region5G, carrierDetect, ieee80211h, txPower, txPower5G,
        wirelessMode;
    // The texts of the REG_SZ values above, as written (the columns show them quoted).
    std::map<std::u16string, std::u16string> texts;
};
std::vector<CountryRow> CountryTable(const RunInputs& inputs);

// A country listed in some of the data file's per-country sections but not in
// another is a warning that says what the reset writes there all the same: the row
// of `rows` for that country (USA's entry, a value the driver forces, or nothing), so
// the warning and the table cannot disagree.
void CheckCoverage(const std::u16string& path, const std::vector<CountryRow>& rows,
                   CheckReport* report);
// Each region the table's rows write on the recorded adapter (inputs.netId) must be a
// choice of the driver's own enum; a data file entry the reset does not write (the
// driver forces another value) is not judged.
void CheckRegions(const RunInputs& inputs, const std::vector<CountryRow>& rows,
                  CheckReport* report);

}  // namespace ze
