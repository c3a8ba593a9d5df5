// The country settings reset: the driver's country-dependent values, switched by
// the driver's option mask, then the platform settings file.
//
// ResetCountrySettings runs, in this fixed order: the country code, the option mask,
// then by option bit the country region, carrier detection, IEEE 802.11h, transmit
// power, wireless mode and the removal of the ad-hoc N mode property, and last,
// whatever the mask, the platform settings file. Each step is in a source of its own.
#pragma once

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

// Resets the country settings of the adapter whose driver instance is `netId`.
// Returns the OR of the steps' results (1 as soon as one step wrote something).
// Without a country code the steps that look it up are skipped, logged.
// A Net ID that is empty, is not a single key name, or names no driver key is
// refused with one log line: nothing is written and the result is 0.
int ResetCountrySettings(std::u16string netId);

// The country code the data file's entries are looked up under: the data file's
// [Settings] WindowsCountry text, or the abbreviated country name of the system or
// user default locale when it names one of them (the default is the system's).
// Nothing, logged, when that locale cannot answer.
std::optional<std::u16string> GetWindowsCountry();

// The option mask from the driver key's ZeCoInstOpt text (eight binary digits, most
// significant first). Any failure is logged and gives ZE_COINST_OPT_ALL.
DWORD GetCoInstOpt(std::u16string driverKeyPath);
// True when the driver key's InitChn14Disabled holds exactly the text "1".
bool IsInitChn14Disabled(std::u16string driverKeyPath);

// CountryRegion and CountryRegionABand from [RegionChannel2_4G] and
// [RegionChannel5G]; true when at least one was written.
bool SetCountryRegion(std::u16string driverKeyPath, std::u16string country);
// CountryTxPwr and CountryTxPwr5G from [CountryTxPwr] and [CountryTxPwr5G] ("USA"
// when the country has no entry), bounded by the driver's InitTxPwrRange and
// InitTxPwrRange5G; true when at least one was written.
bool SetCountryTxPower(std::u16string driverKeyPath, std::u16string country);
// CountryWirelessMode and WirelessMode from [CountryWirelessMode] ("USA" when the
// country has no entry); true when at least one was written.
bool SetCountryWirelessMode(std::u16string driverKeyPath, std::u16string country);
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
// The chip identifier of an upper-cased MatchingDeviceId: the PCI SUBSYS digits,
// or the USB vendor and product digits; empty for any other or too short text.
std::u16string PlatformChipId(const std::u16string& matchingDeviceId);

}  // namespace ze
