// What belongs to the recorded adapter: the driver values the reset parses, the
// region choices its driver offers, its platform settings file and its OEM INF.
#include <algorithm>

#include "advprops/advance_tables.h"
#include "advprops/advprops.h"
#include "check/check.h"
#include "check/check_internal.h"
#include "common/paths.h"
#include "common/registry.h"
#include "common/text.h"
#include "country/country.h"
#include "country/driver_value.h"
#include "platform/handles.h"

namespace ze {

namespace {

void Add(CheckReport* report, Finding::Severity severity, const std::u16string& where,
         std::u16string message) {
    report->findings.push_back({severity, where, 0, std::move(message)});
}

// The subkey names, or the value names, of a key; empty when it cannot be opened.
std::vector<std::u16string> Names(const std::u16string& keyPath, bool values) {
    std::vector<std::u16string> names;
    UniqueKey key;
    if (OS().RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ, key.put()) !=
        ERROR_SUCCESS)
        return names;
    for (DWORD index = 0;; ++index) {
        char16_t name[256] = {};
        DWORD chars = 256;
        LONG result = values ? OS().RegEnumValueW(key.get(), index, name, &chars, nullptr, nullptr,
                                                  nullptr, nullptr)
                             : OS().RegEnumKeyExW(key.get(), index, name, &chars, nullptr, nullptr,
                                                  nullptr, nullptr);
        if (result != ERROR_SUCCESS)
            return names;
        names.emplace_back(name, chars);
    }
}

void CheckDriverValues(const std::u16string& driverKeyPath, CheckReport* report) {
    std::u16string where = u"HKLM\\" + driverKeyPath;
    char16_t text[32] = {};
    DWORD type = 0;
    DWORD size = sizeof(text);
    if (!ReadDriverValue(driverKeyPath, u"ZeCoInstOpt", &type, reinterpret_cast<BYTE*>(text),
                         &size)) {
        Add(report, Finding::Severity::Warning, where,
            u"ZeCoInstOpt cannot be read: every country step runs");
    } else {
        DWORD mask = 0;
        std::u16string_view shown(text, BoundedLength(text, (size + 1) / 2));
        if (type != REG_SZ || !ParseCoInstOpt(shown, &mask))
            Add(report, Finding::Severity::Error, where,
                u"ZeCoInstOpt is not a REG_SZ of eight binary digits: every country step runs");
    }
    const struct {
        const char16_t* name;
        std::size_t pairs;
    } ranges[] = {{u"InitTxPwrRange", 1}, {u"InitTxPwrRange5G", 4}};
    for (const auto& range : ranges) {
        std::u16string rangeText;
        TxPowerRange parsed[4];
        if (ReadDriverText(driverKeyPath, range.name, &rangeText) &&
            !ParseTxPowerRanges(rangeText, range.pairs, parsed)) {
            Add(report, Finding::Severity::Error, where,
                std::u16string(range.name) + u" \"" + rangeText +
                    u"\" does not parse completely: the ends it lacks do not bound");
        }
    }
}

// The INF's Strings section for the system language must hold every token the
// properties present under NDI\params need.
void CheckOemInf(const std::u16string& netId, const std::u16string& driverKeyPath,
                 CheckReport* report) {
    std::u16string infPath;
    if (LocateOemInf(netId, &infPath) != 0) {
        Add(report, Finding::Severity::Error, u"HKLM\\" + driverKeyPath,
            u"InfPath cannot be read or names a path too long: no text is rewritten");
        return;
    }
    CheckReport readable;
    if (!ReadableProfile(infPath, &readable)) {
        report->findings.insert(report->findings.end(), readable.findings.begin(),
                                readable.findings.end());
        return;
    }
    std::u16string section = GetInfStringsSection();
    std::u16string params = driverKeyPath + u"\\NDI\\params";
    for (const std::u16string& name : Names(params, false)) {
        const AdvanceSubKeyEntry* entry = FindAdvanceSubKeyEntry(name);
        if (entry == nullptr)
            continue;
        std::vector<std::u16string> tokens{std::u16string(entry->strParamDescToken)};
        if (const AdvanceEnumArray* array = FindAdvanceEnumArray(entry->strEnumArrayName)) {
            for (const std::u16string& choice : Names(params + u"\\" + name + u"\\enum", true)) {
                int index = Wtoi(choice);
                if (index >= 0 && index < array->nArrayCount)
                    tokens.emplace_back(array->pTokens[index]);
            }
        }
        for (const std::u16string& token : tokens) {
            if (GetIniString(section, token, u"", infPath).empty())
                Add(report, Finding::Severity::Error, infPath,
                    u"[" + section + u"] lacks " + token + u", which " + name +
                        u" needs: the text reset stops there");
        }
    }
}

}  // namespace

void CheckRegions(const RunInputs& inputs, const std::vector<CountryRow>& rows,
                  CheckReport* report) {
    const struct {
        const char16_t* section;
        const char16_t* property;
    } bands[] = {{u"RegionChannel2_4G", u"CountryRegion"},
                 {u"RegionChannel5G", u"CountryRegionABand"}};
    std::u16string driverKeyPath = DriverKeyPath(inputs.netId);
    for (const auto& band : bands) {
        std::u16string enumKey = driverKeyPath + u"\\NDI\\params\\" + band.property + u"\\enum";
        std::vector<std::u16string> choices = Names(enumKey, true);
        if (inputs.netId.empty() || choices.empty())
            continue;
        for (const CountryRow& row : rows) {
            auto written = row.texts.find(band.property);
            if (written == row.texts.end() ||
                std::find(choices.begin(), choices.end(), written->second) != choices.end())
                continue;
            // The entry when the reset writes it, otherwise the value the driver forces.
            std::u16string entry = GetIniString(band.section, row.country, u"", inputs.dataFile);
            std::u16string what =
                entry == written->second
                    ? u"[" + std::u16string(band.section) + u"] " + row.country + u"=" + entry
                    : row.country + u": the reset writes " + band.property + u"=" +
                          written->second + u", which";
            report->findings.push_back({Finding::Severity::Error, inputs.dataFile,
                                        ProfileLine(inputs.dataFile, band.section, row.country),
                                        what + u" is not a choice of the driver's " +
                                            band.property + u" (HKLM\\" + enumKey + u")"});
        }
    }
}

bool CheckReport::HasErrors() const {
    return std::any_of(findings.begin(), findings.end(), [](const Finding& finding) {
        return finding.severity == Finding::Severity::Error;
    });
}

void CheckAdapter(const RunInputs& inputs, CheckReport* report) {
    const std::u16string& netId = inputs.netId;
    if (netId.empty()) {
        Add(report, Finding::Severity::Error, inputs.settingsFile,
            u"[DriverKey] NetID is empty: no adapter is recorded");
        return;
    }
    std::u16string driverKeyPath = DriverKeyPath(netId);
    UniqueKey key;
    LONG opened =
        OS().RegOpenKeyExW(HKEY_LOCAL_MACHINE, driverKeyPath.c_str(), 0, KEY_READ, key.put());
    if (opened != ERROR_SUCCESS) {
        // /check runs without elevation; a key only administrators may read says so.
        Add(report, Finding::Severity::Error, u"HKLM\\" + driverKeyPath,
            u"the driver key of Net ID " + netId +
                (opened == ERROR_ACCESS_DENIED
                     ? u" cannot be read without administrator rights (access denied)"
                     : u" cannot be read"));
        return;
    }
    CheckDriverValues(driverKeyPath, report);
    std::u16string platformFile;
    if (PlatformSettingsFile(driverKeyPath, &platformFile)) {
        WIN32_FIND_DATAW found{};
        if (UniqueFind(OS().FindFirstFileW(platformFile.c_str(), &found))) {
            CheckPlatformFile(platformFile, report);
        } else {
            Add(report, Finding::Severity::Warning, platformFile,
                u"does not exist: no model-specific value is written");
        }
    }
    CheckOemInf(netId, driverKeyPath, report);
}

}  // namespace ze
