// The country table: the country reset itself, run for each country code of the data
// file over the dry-run layer, and what it would write.
#include <algorithm>
#include <cstring>
#include <utility>

#include "check/check.h"
#include "check/check_internal.h"
#include "common/log.h"
#include "common/paths.h"
#include "common/reg_format.h"
#include "common/registry.h"
#include "common/text.h"
#include "country/country.h"
#include "platform/dryrun/dry_run_platform.h"

namespace ze {

namespace {

// Answers the data file's [Settings] WindowsCountry with one country code, so that
// the reset looks everything up under it.
class CountryOverride final : public PlatformDecorator {
  public:
    CountryOverride(Platform& inner, std::u16string country)
        : PlatformDecorator(inner), country_(std::move(country)) {}

    DWORD GetPrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpDefault,
                                   LPWSTR lpReturnedString, DWORD nSize,
                                   LPCWSTR lpFileName) override {
        bool asked = lpAppName != nullptr && lpKeyName != nullptr && lpFileName != nullptr &&
                     std::u16string_view(lpAppName) == u"Settings" &&
                     std::u16string_view(lpKeyName) == u"WindowsCountry" &&
                     std::u16string_view(lpFileName) == g_szZeCoInstDatPath;
        if (!asked || nSize == 0)
            return Inner().GetPrivateProfileStringW(lpAppName, lpKeyName, lpDefault,
                                                    lpReturnedString, nSize, lpFileName);
        std::size_t length = std::min<std::size_t>(country_.size(), nSize - 1);
        std::copy_n(country_.begin(), length, lpReturnedString);
        lpReturnedString[length] = u'\0';
        return static_cast<DWORD>(length);
    }

  private:
    std::u16string country_;
};

}  // namespace

std::vector<CountryRow> CountryTable(const std::u16string& netId) {
    std::vector<std::u16string> countries;
    for (const char16_t* section : {u"RegionChannel2_4G", u"RegionChannel5G", u"CountryTxPwr",
                                    u"CountryTxPwr5G", u"CountryWirelessMode"}) {
        for (std::u16string& country : ProfileKeyNames(section, g_szZeCoInstDatPath)) {
            if (std::find(countries.begin(), countries.end(), country) == countries.end())
                countries.push_back(std::move(country));
        }
    }
    // The reset's own log lines would only repeat what the table shows.
    int writeLogFile = std::exchange(g_bWriteLogFile, 0);
    int debugMode = std::exchange(g_bDebugMode, 0);
    std::vector<CountryRow> rows;
    std::u16string driverKeyPath = DriverKeyPath(netId);
    for (const std::u16string& country : countries) {
        DryRunPlatform layer(OS());
        CountryOverride overridden(layer, country);
        {
            ScopedPlatform scope(overridden);
            ResetCountrySettings(netId);
        }
        CountryRow row;
        row.country = country;
        const struct {
            const char16_t* name;
            std::u16string CountryRow::*column;
        } columns[] = {
            {u"CountryRegion", &CountryRow::region2_4G},
            {u"CountryRegionABand", &CountryRow::region5G},
            {u"CarrierDetect", &CountryRow::carrierDetect},
            {u"IEEE80211H", &CountryRow::ieee80211h},
            {u"CountryTxPwr", &CountryRow::txPower},
            {u"CountryTxPwr5G", &CountryRow::txPower5G},
            {u"WirelessMode", &CountryRow::wirelessMode},
        };
        for (const RegWrite& write : layer.Writes()) {
            if (write.path != driverKeyPath)
                continue;
            for (const auto& column : columns) {
                if (write.name == column.name)
                    row.*column.column = FormatRegData(write.data.type, write.data.bytes);
            }
            if (write.data.type == REG_SZ) {
                std::u16string text(write.data.bytes.size() / 2, u'\0');
                std::memcpy(text.data(), write.data.bytes.data(), 2 * text.size());
                row.texts[write.name] = text.substr(0, BoundedLength(text.data(), text.size()));
            }
        }
        rows.push_back(std::move(row));
    }
    g_bWriteLogFile = writeLogFile;
    g_bDebugMode = debugMode;
    return rows;
}

}  // namespace ze
