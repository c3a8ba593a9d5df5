// The country data file and platform settings files, read through the profile
// functions and parsed with the reset's own parsers.
#include <algorithm>
#include <map>

#include "check/check.h"
#include "check/check_internal.h"
#include "common/paths.h"
#include "common/text.h"
#include "country/country.h"
#include "platform/handles.h"
#include "platform/names.h"

namespace ze {

namespace {

// True when the file has one of the per-country sections: a data file.
bool HasCountrySection(const std::u16string& path) {
    std::vector<std::u16string> sections = ProfileSections(path);
    return std::any_of(std::begin(kCountrySections), std::end(kCountrySections), [&](auto wanted) {
        return std::any_of(sections.begin(), sections.end(), [&](const std::u16string& name) {
            return EqualsIgnoreCase(name, wanted);
        });
    });
}

// What is wrong with one entry as the reset parses it, or nothing.
std::u16string EntryProblem(const std::u16string& path, const std::u16string& section,
                            const std::u16string& key, const std::u16string& text) {
    if (section == u"CountryTxPwr") {
        std::int32_t number = 0;
        // The reset reads this entry with GetPrivateProfileIntW.
        auto read = static_cast<std::int32_t>(
            OS().GetPrivateProfileIntW(section.c_str(), key.c_str(), 0, path.c_str()));
        if (!ScanWhole(text, u"%d", &number))
            return Format(u"is not a whole decimal number: the reset reads %d", read);
        if (read == 0)
            return u"is 0, which the reset takes for no entry: it uses USA's";
    }
    if (section == u"CountryTxPwr5G") {
        std::int32_t powers[4] = {};
        if (!ParseTxPower5G(text, powers))
            return u"is not four numbers of at most two digits separated by commas";
    }
    if (section == u"CountryWirelessMode") {
        DWORD mask = 0;
        if (!ParseWirelessModeMask(text, &mask))
            return u"has no hexadecimal number: the reset writes the mask 0 and mode 0";
        if (!IsKnownWirelessModeMask(mask))
            return Format(u"is the mask 0x%08X, which names no wireless mode: mode 0", mask);
    }
    return std::u16string();
}

}  // namespace

std::u16string PlatformValueProblem(const std::u16string& typeText,
                                    const std::u16string& valueText) {
    if (!PlatformRegValueFits(typeText, valueText))
        return u"is longer than 127 characters: the section is not written";
    if (typeText == u"REG_DWORD") {
        std::size_t consumed = 0;
        int number = Wtoi(valueText, &consumed);
        if (consumed != valueText.size())
            return Format(u"is not a whole decimal number: written as %d", number);
    }
    return std::u16string();
}

bool ReadableProfile(const std::u16string& path, CheckReport* report) {
    WIN32_FIND_DATAW found{};
    UniqueFind find(OS().FindFirstFileW(path.c_str(), &found));
    if (!find) {
        report->findings.push_back({Finding::Severity::Error, path, 0, u"does not exist"});
        return false;
    }
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        report->findings.push_back({Finding::Severity::Error, path, 0, u"is a folder"});
        return false;
    }
    // /check runs without elevation: a file only administrators may read says so,
    // rather than looking empty to the profile functions.
    UniqueFile readable(OS().CreateFileW(path.c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!readable && OS().GetLastError() == static_cast<DWORD>(ERROR_ACCESS_DENIED)) {
        report->findings.push_back(
            {Finding::Severity::Error, path, 0,
             u"cannot be read without administrator rights (access denied)"});
        return false;
    }
    CheckEncoding(path, report);
    if (ProfileSections(path).empty()) {
        report->findings.push_back(
            {Finding::Severity::Error, path, 0,
             u"has no section the profile functions can read: empty, not text, or in an "
             u"encoding they misread (UTF-16 needs its byte-order mark)"});
        return false;
    }
    return true;
}

void CheckDataFile(const std::u16string& path, CheckReport* report) {
    if (!ReadableProfile(path, report))
        return;
    bool anySection = false;
    for (const char16_t* section : kCountrySections) {
        std::vector<std::u16string> countries = ProfileKeyNames(section, path);
        anySection = anySection || !countries.empty();
        for (const std::u16string& country : countries) {
            std::u16string text = GetIniString(section, country, u"", path);
            std::u16string problem = EntryProblem(path, section, country, text);
            if (!problem.empty()) {
                report->findings.push_back({Finding::Severity::Error, path,
                                            ProfileLine(path, section, country),
                                            u"[" + std::u16string(section) + u"] " + country +
                                                u"=" + text + u" " + problem});
            }
        }
    }
    if (!anySection) {
        report->findings.push_back(
            {Finding::Severity::Error, path, 0,
             u"has none of the sections [RegionChannel2_4G], [RegionChannel5G], [CountryTxPwr], "
             u"[CountryTxPwr5G], [CountryWirelessMode]"});
    }
}

void CheckCoverage(const std::u16string& path, const std::vector<CountryRow>& rows,
                   CheckReport* report) {
    // Each section with the table's column of what the reset writes from it.
    const struct {
        const char16_t* section;
        const char16_t* value;
        std::u16string CountryRow::*column;
    } columns[] = {{u"RegionChannel2_4G", u"CountryRegion", &CountryRow::region2_4G},
                   {u"RegionChannel5G", u"CountryRegionABand", &CountryRow::region5G},
                   {u"CountryTxPwr", u"CountryTxPwr", &CountryRow::txPower},
                   {u"CountryTxPwr5G", u"CountryTxPwr5G", &CountryRow::txPower5G},
                   {u"CountryWirelessMode", u"WirelessMode", &CountryRow::wirelessMode}};
    std::map<std::u16string, std::vector<std::u16string>> listed;  // country: its sections
    for (const auto& column : columns) {
        for (const std::u16string& country : ProfileKeyNames(column.section, path))
            listed[country].push_back(column.section);
    }
    for (const auto& [name, sections] : listed) {
        const std::u16string& country = name;  // older clang cannot capture a binding
        auto row = std::find_if(rows.begin(), rows.end(),
                                [&](const CountryRow& r) { return r.country == country; });
        for (const auto& column : columns) {
            if (std::find(sections.begin(), sections.end(), column.section) != sections.end())
                continue;
            // What the table shows is what the warning says: the reset's own answer.
            std::u16string written = row == rows.end() ? u"" : (*row).*column.column;
            bool fallsBack = std::u16string_view(column.section).starts_with(u"Country") &&
                             !GetIniString(column.section, u"USA", u"", path).empty();
            std::u16string outcome = written.empty() ? u": nothing is written"
                                     : fallsBack
                                         ? u": the reset uses USA's entry, " +
                                               std::u16string(column.value) + u" " + written
                                         : u": the reset writes " + std::u16string(column.value) +
                                               u" " + written + u" all the same";
            report->findings.push_back({Finding::Severity::Warning, path,
                                        ProfileLine(path, sections.front(), country),
                                        country + u" is listed in [" + sections.front() +
                                            u"] but not in [" + column.section + u"]" + outcome});
        }
    }
}

void CheckPlatformFile(const std::u16string& path, CheckReport* report) {
    if (!ReadableProfile(path, report))
        return;
    for (const std::u16string& section : ProfileSections(path)) {
        std::u16string typeText = GetIniString(section, u"RegType", u"", path);
        std::u16string valueText = GetIniString(section, u"RegValue", u"", path);
        std::u16string problem;
        Finding::Severity severity = Finding::Severity::Error;
        if (!IsPlatformRegType(typeText)) {
            severity = Finding::Severity::Warning;
            problem = u"RegType \"" + typeText +
                      u"\" is not REG_SZ, REG_DWORD, REG_BINARY or "
                      u"REG_MULTI_SZ (case matters): written as REG_SZ";
        }
        std::u16string fit = PlatformValueProblem(typeText, valueText);
        if (!fit.empty()) {
            severity = Finding::Severity::Error;
            problem = u"RegValue \"" + valueText + u"\" " + fit;
        }
        if (!problem.empty()) {
            report->findings.push_back({severity, path, ProfileLine(path, section, u"RegValue"),
                                        u"[" + section + u"] " + problem});
        }
    }
}

void CheckInstalledFiles(const RunInputs& inputs, CheckReport* report) {
    ForgetFileBytes();
    CheckDataFile(inputs.dataFile, report);
    CheckAdapter(inputs, report);
}

bool CheckFile(const std::u16string& path, CheckReport* report) {
    ForgetFileBytes();
    if (path.size() >= MAX_PATH) {
        report->findings.push_back(
            {Finding::Severity::Error, path, 0, u"is longer than the program's paths can be"});
        return false;
    }
    if (!ReadableProfile(path, report)) {
        return false;
    }
    if (!HasCountrySection(path)) {
        CheckPlatformFile(path, report);
        return false;
    }
    CheckDataFile(path, report);
    return true;
}

}  // namespace ze
