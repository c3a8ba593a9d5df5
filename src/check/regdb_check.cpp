// The regulatory audit in "/check": its inputs from the country table, its columns and
// its map.
#include "check/regulatory_audit.h"

#include "common/registry.h"
#include "common/text.h"
#include "country/driver_value.h"

namespace ze {

namespace {

int ModeNumber(const std::u16string& text) {
    std::size_t consumed = 0;
    int mode = Wtoi(text, &consumed);
    return consumed == text.size() && !text.empty() ? mode : -1;
}

}  // namespace

std::vector<AuditCountry> AuditCountriesOf(const std::vector<CountryRow>& rows,
                                           const std::u16string& netId) {
    std::u16string driverMode;
    if (!ReadDriverText(DriverKeyPath(netId), u"WirelessMode", &driverMode))
        driverMode.clear();
    std::vector<AuditCountry> countries;
    for (const CountryRow& row : rows) {
        auto text = [&](const char16_t* name) {
            auto found = row.texts.find(name);
            return found == row.texts.end() ? std::u16string() : found->second;
        };
        std::u16string mode = text(u"WirelessMode");
        countries.push_back({row.country, text(u"CountryRegion"), text(u"CountryRegionABand"),
                             text(u"IEEE80211H") == u"1",
                             ModeNumber(mode.empty() ? driverMode : mode)});
    }
    return countries;
}

std::vector<std::vector<std::u16string>> AuditColumns(const AuditInputs& inputs,
                                                      const std::u16string& mapPath,
                                                      const std::vector<CountryRow>& rows,
                                                      CheckReport* report) {
    RegulatoryAudit audit;
    RunRegulatoryAudit(inputs, AuditCountriesOf(rows, inputs.netId), report, &audit);
    if (!mapPath.empty()) {
        std::u16string error;
        if (!audit.databaseRead)
            error = u"is not written: the regulatory database cannot be read";
        else if (WriteChannelMap(mapPath, audit.map, &error))
            error.clear();
        if (!error.empty())
            report->findings.push_back({Finding::Severity::Error, mapPath, 0, error});
    }
    std::vector<std::vector<std::u16string>> columns{
        {u"Regdb", u"2.4 GHz channels", u"5 GHz channels", u"Audit"}};
    for (const AuditRow& row : audit.rows)
        columns.push_back({row.database, row.channels2_4G, row.channels5G, row.result});
    return columns;
}

}  // namespace ze
