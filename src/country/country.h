// The country settings reset: the driver's country-dependent values, switched by
// the driver's option mask, then the platform settings file.
//
// ResetCountrySettings runs, in this fixed order: the country code, the option mask,
// then by option bit the country region, carrier detection, IEEE 802.11h, transmit
// power, wireless mode and the removal of the ad-hoc N mode property, and last,
// whatever the mask, the platform settings file. Each step is in a source of its own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/wintypes.h"

namespace ze {

// Option bits of the driver's ZeCoInstOpt mask; a set bit lets its step run.
constexpr DWORD ZE_COINST_OPT_REGION = 0x01;
constexpr DWORD ZE_COINST_OPT_CARRIER_DETECT = 0x02;
constexpr DWORD ZE_COINST_OPT_IEEE80211H = 0x04;
constexpr DWORD ZE_COINST_OPT_TX_POWER = 0x08;
constexpr DWORD ZE_COINST_OPT_WIRELESS_MODE = 0x10;
constexpr DWORD ZE_COINST_OPT_ADHOC_N = 0x20;
// The mask used when the driver's own cannot be read: every step runs.
constexpr DWORD ZE_COINST_OPT_ALL = 0x3F;

// Resets the country settings of the adapter whose driver instance is `netId` from
// the country data file `dataFile`. The entries are looked up under `country` when
// the caller gives one; otherwise GetWindowsCountry chooses the code as the sequence
// starts.
// Returns the OR of the steps' results (1 as soon as one step wrote something).
// Without a country code the steps that look it up are skipped, logged.
// A Net ID that is empty, is not a single key name, or names no driver key is
// refused with one log line: nothing is written and the result is 0.
// `countryUsed`, when given, receives the code the entries were looked up under
// (empty without one); it is left untouched for a refused Net ID.
int ResetCountrySettings(std::u16string netId, const std::u16string& dataFile,
                         const std::optional<std::u16string>& country = std::nullopt,
                         std::u16string* countryUsed = nullptr);

// The country code the data file's entries are looked up under: the data file's
// [Settings] WindowsCountry text, or the abbreviated country name of the system or
// user default locale when it names one of them (the default is the system's).
// Nothing, logged, when that locale cannot answer.
std::optional<std::u16string> GetWindowsCountry(const std::u16string& dataFile);

// The option mask from the driver key's ZeCoInstOpt text (eight binary digits, most
// significant first). Any failure is logged and gives ZE_COINST_OPT_ALL.
DWORD GetCoInstOpt(std::u16string driverKeyPath);
// Reads eight binary digits, the first being bit 7. False when the text has fewer
// than eight characters or any of its first eight is not 0 or 1.
bool ParseCoInstOpt(std::u16string_view text, DWORD* mask);
// True when the driver key's InitChn14Disabled holds exactly the text "1".
bool IsInitChn14Disabled(std::u16string driverKeyPath);

// CountryRegion and CountryRegionABand from [RegionChannel2_4G] and
// [RegionChannel5G]; true when at least one was written.
bool SetCountryRegion(std::u16string driverKeyPath, std::u16string country,
                      const std::u16string& dataFile);
// CountryTxPwr and CountryTxPwr5G from [CountryTxPwr] and [CountryTxPwr5G] ("USA"
// when the country has no entry), bounded by the driver's InitTxPwrRange and
// InitTxPwrRange5G; true when at least one was written.
bool SetCountryTxPower(std::u16string driverKeyPath, std::u16string country,
                       const std::u16string& dataFile);
// CountryWirelessMode and WirelessMode from [CountryWirelessMode] ("USA" when the
// country has no entry); true when at least one was written.
bool SetCountryWirelessMode(std::u16string driverKeyPath, std::u16string country,
                            const std::u16string& dataFile);
// A permitted transmit power range lo-hi; an end its text does not give does not bound.
struct TxPowerRange {
    std::int32_t lo = 0;
    std::int32_t hi = 0;
    bool hasLo = false;
    bool hasHi = false;
};
// Parses `pairs` (1 or 4) ranges "lo-hi" separated by commas, as the driver's
// InitTxPwrRange and InitTxPwrRange5G hold them. True when the whole text parsed.
bool ParseTxPowerRanges(const std::u16string& text, std::size_t pairs, TxPowerRange* ranges);
// Parses a [CountryTxPwr5G] entry "p1,p2,p3,p4" (each at most two characters);
// numbers it lacks are 0. True when the whole text parsed.
bool ParseTxPower5G(const std::u16string& entry, std::int32_t powers[4]);
// Parses a [CountryWirelessMode] entry as a hexadecimal mask of at most eight
// digits; false (and mask 0) when it does not start with one.
bool ParseWirelessModeMask(const std::u16string& entry, DWORD* mask);
// True when the mask is one the mode table names (others give mode 0).
bool IsKnownWirelessModeMask(DWORD mask);
// Deletes NDI\params\AdhocNMode (enum subkey first) when the driver's WirelessMode
// is a mode without 802.11n (below 5).
void RemoveAdHocNMode(std::u16string driverKeyPath);
// True when the key paths RemoveAdHocNMode forms from `driverKeyPath` fit its
// 128-character buffer (Net IDs of up to 22 characters).
bool AdHocNModeKeyPathsFit(const std::u16string& driverKeyPath);

// Applies the platform settings file named after the driver's MatchingDeviceId.
// False when the driver key or MatchingDeviceId cannot be read or the file is
// missing; otherwise true, whatever became of the single writes.
bool SetPlatformSettings(std::u16string driverKeyPath);
// Writes the value of every section of `filePath` into the driver key. False only
// when the file does not exist.
bool ApplyRegistryFile(std::u16string driverKeyPath, std::u16string filePath);
// The platform settings file named after the driver's MatchingDeviceId; false (with
// the reset's log line) when the driver key or MatchingDeviceId cannot be read or
// the system directory is unknown.
bool PlatformSettingsFile(const std::u16string& driverKeyPath, std::u16string* filePath);
// True for the RegType texts the platform file step writes as their own type (case
// matters); any other is written as REG_SZ.
bool IsPlatformRegType(const std::u16string& typeText);
// False when RegValue is too long for the text types' buffer (127 characters): such
// a section is not written.
bool PlatformRegValueFits(const std::u16string& typeText, const std::u16string& valueText);
// The chip identifier of an upper-cased MatchingDeviceId: the PCI SUBSYS digits,
// or the USB vendor and product digits; empty for any other or too short text.
std::u16string PlatformChipId(const std::u16string& matchingDeviceId);

}  // namespace ze
