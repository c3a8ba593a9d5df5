#include "common/events.h"
#include "common/log.h"
#include "common/paths.h"
#include "common/registry.h"
#include "country/country.h"
#include "platform/handles.h"

namespace ze {

namespace {

// The sequence works only on an existing driver instance key. Anything else would
// have it write into the network class key itself (empty Net ID), into some other
// key below it (a Net ID with a backslash), or create a phantom instance key.
bool IsDriverInstance(const std::u16string& netId) {
    if (netId.empty()) {
        LogPrint(u"[ZeRegionSvc] No Net ID, country settings not reset\r\n");
        return false;
    }
    std::u16string driverKeyPath = DriverKeyPath(netId);
    if (netId.find(u'\\') != std::u16string::npos || !AdHocNModeKeyPathsFit(driverKeyPath)) {
        LogPrint(
            u"[ZeRegionSvc] Net ID %s is not a driver instance, country settings not reset\r\n",
            netId.c_str());
        return false;
    }
    UniqueKey key;
    if (OS().RegOpenKeyExW(HKEY_LOCAL_MACHINE, driverKeyPath.c_str(), 0, KEY_READ, key.put()) ==
        ERROR_FILE_NOT_FOUND) {
        LogPrint(u"[ZeRegionSvc] No driver key for Net ID %s, country settings not reset\r\n",
                 netId.c_str());
        return false;
    }
    return true;
}

// Switches a driver flag on ("1") when the data file's [Settings] entry lists the
// country code. Flags are never switched off.
bool SetCountryFlag(const std::u16string& driverKeyPath, const std::u16string& country,
                    const std::u16string& dataFile, const char16_t* name,
                    const char16_t* logFormat) {
    std::u16string countries = GetIniString(u"Settings", name, u"Disabled", dataFile);
    LogPrint(logFormat, countries.c_str());
    if (countries == u"Disabled" || countries.find(country) == std::u16string::npos) {
        return false;
    }
    return WriteRegString(driverKeyPath, name, u"1");
}

}  // namespace

int ResetCountrySettings(std::u16string netId, const std::u16string& dataFile,
                         const std::optional<std::u16string>& country,
                         std::u16string* countryUsed) {
    if (!IsDriverInstance(netId)) {
        return 0;
    }
    std::u16string driverKeyPath = DriverKeyPath(netId);
    std::optional<std::u16string> windowsCountry = country ? country : GetWindowsCountry(dataFile);
    DWORD dwCoInstOpt = GetCoInstOpt(driverKeyPath);
    LogPrint(u"[ZeRegionSvc] dwCoInstOpt = 0x%02X\r\n", dwCoInstOpt);
    // Without a country code no country's values apply; guessing one (the empty
    // text occurs in every list) would switch on whatever the lists name.
    constexpr DWORD kCountrySteps = ZE_COINST_OPT_REGION | ZE_COINST_OPT_CARRIER_DETECT |
                                    ZE_COINST_OPT_IEEE80211H | ZE_COINST_OPT_TX_POWER |
                                    ZE_COINST_OPT_WIRELESS_MODE;
    if (!windowsCountry && (dwCoInstOpt & kCountrySteps) != 0) {
        LogPrint(u"[ZeRegionSvc] No country code, country settings skipped\r\n");
        ReportOutcome(ZE_EVENT_NO_COUNTRY, {dataFile});
        dwCoInstOpt &= ~kCountrySteps;
    }
    const std::u16string code = windowsCountry.value_or(u"");
    if (countryUsed != nullptr)
        *countryUsed = code;

    // Each step's true or false counts as 1 or 0.
    int result = 0;
    if (dwCoInstOpt & ZE_COINST_OPT_REGION) {
        LogPrint(u"[ZeRegionSvc] =====> Set CountryRegion: %s\r\n", code.c_str());
        result |= SetCountryRegion(driverKeyPath, code, dataFile);
    }
    if (dwCoInstOpt & ZE_COINST_OPT_CARRIER_DETECT) {
        result |= SetCountryFlag(driverKeyPath, code, dataFile, u"CarrierDetect",
                                 u"[ZeRegionSvc] =====> Set CarrierDetect: %s\r\n");
    }
    if (dwCoInstOpt & ZE_COINST_OPT_IEEE80211H) {
        result |= SetCountryFlag(driverKeyPath, code, dataFile, u"IEEE80211H",
                                 u"[ZeRegionSvc] =====> Set IEEE802.11H: %s\r\n");
    }
    if (dwCoInstOpt & ZE_COINST_OPT_TX_POWER) {
        LogPrint(u"[ZeRegionSvc] =====> Set Country Tx Power\r\n");
        result |= SetCountryTxPower(driverKeyPath, code, dataFile);
    }
    if (dwCoInstOpt & ZE_COINST_OPT_WIRELESS_MODE) {
        LogPrint(u"[ZeRegionSvc] =====> Set Country Wireless Mode\r\n");
        result |= SetCountryWirelessMode(driverKeyPath, code, dataFile);
    }
    // Reads the WirelessMode the wireless mode step may just have written.
    if (dwCoInstOpt & ZE_COINST_OPT_ADHOC_N) {
        LogPrint(
            u"[ZeRegionSvc] =====> Remove AdHoc N mode from driver property if N is not "
            u"allowed\r\n");
        RemoveAdHocNMode(driverKeyPath);
    }
    // Last, so the model's own values override the country's.
    result |= SetPlatformSettings(driverKeyPath);
    return result;
}

}  // namespace ze
