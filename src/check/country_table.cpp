// The country table: the country reset itself, run for each country code of the data
// file over the dry-run layer, and what it would write.
#include <algorithm>
#include <cstring>
#include <utility>

#include "check/check.h"
#include "check/check_internal.h"
#include "common/log.h"
#include "common/reg_format.h"
#include "common/registry.h"
#include "common/text.h"
#include "country/country.h"
#include "platform/dryrun/dry_run_platform.h"

namespace ze {

std::vector<CountryRow> CountryTable(const RunInputs& inputs) {
    std::vector<std::u16string> countries;
    for (const char16_t* section : kCountrySections) {
        for (std::u16string& country : ProfileKeyNames(section, inputs.dataFile)) {
            if (std::find(countries.begin(), countries.end(), country) == countries.end())
                countries.push_back(std::move(country));
        }
    }
    // The reset's own log lines would only repeat what the table shows.
    ScopedLogSilence silence;
    std::vector<CountryRow> rows;
    std::u16string driverKeyPath = DriverKeyPath(inputs.netId);
    for (const std::u16string& country : countries) {
        DryRunPlatform layer(OS());
        {
            ScopedPlatform scope(layer);
            ResetCountrySettings(inputs.netId, inputs.dataFile, country);
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
    return rows;
}

}  // namespace ze
