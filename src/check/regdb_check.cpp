// The regulatory audit in "/check": its arguments, its inputs from the country table,
// its columns and its map.
#include "check/regulatory_audit.h"

#include "common/registry.h"
#include "common/text.h"
#include "country/driver_value.h"
#include "platform/names.h"

namespace ze {

namespace {

#if defined(_WIN32)
constexpr const char16_t* kDefaultDatabase = nullptr;
#else
constexpr const char16_t* kDefaultDatabase = u"Z:\\lib\\firmware\\regulatory.db";
#endif

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

bool TakeAuditOptions(std::vector<std::u16string>* arguments, AuditRequest* request,
                      std::u16string* error) {
    std::vector<std::u16string> rest;
    bool map = false;
    for (std::size_t i = 0; i < arguments->size(); ++i) {
        const std::u16string& argument = (*arguments)[i];
        bool hasNext = i + 1 < arguments->size();
        if (EqualsIgnoreCase(argument, u"/regdb")) {
            request->requested = true;
            if (hasNext && !EqualsIgnoreCase((*arguments)[i + 1], u"/map"))
                request->databasePath = (*arguments)[++i];
        } else if (EqualsIgnoreCase(argument, u"/map")) {
            map = true;
            if (hasNext)
                request->mapPath = (*arguments)[++i];
        } else {
            rest.push_back(argument);
        }
    }
    if (map && (request->mapPath.empty() || !request->requested)) {
        *error = u"/map needs the path of the SVG file to write, and /regdb";
        return false;
    }
    if (request->requested && request->databasePath.empty()) {
        if (kDefaultDatabase == nullptr) {
            *error = u"/regdb needs the path of the regulatory database (regulatory.db)";
            return false;
        }
        request->databasePath = kDefaultDatabase;
    }
    *arguments = std::move(rest);
    return true;
}

std::vector<std::vector<std::u16string>> AuditColumns(const AuditRequest& request,
                                                      const AuditInputs& inputs,
                                                      const std::vector<CountryRow>& rows,
                                                      CheckReport* report) {
    RegulatoryAudit audit;
    RunRegulatoryAudit(inputs, AuditCountriesOf(rows, inputs.netId), report, &audit);
    if (!request.mapPath.empty()) {
        std::u16string error;
        if (!audit.databaseRead)
            error = u"is not written: the regulatory database cannot be read";
        else if (WriteChannelMap(request.mapPath, audit.map, &error))
            error.clear();
        if (!error.empty())
            report->findings.push_back({Finding::Severity::Error, request.mapPath, 0, error});
    }
    std::vector<std::vector<std::u16string>> columns{
        {u"Regdb", u"2.4 GHz channels", u"5 GHz channels", u"Audit"}};
    for (const AuditRow& row : audit.rows)
        columns.push_back({row.database, row.channels2_4G, row.channels5G, row.result});
    return columns;
}

}  // namespace ze
