// The regulatory audit behind "/check /regdb": each country code of the data file
// against the public regulatory database.
//
// For each country it checks that the code is an ISO 3166-1 alpha-3 code (suggesting
// the code likely meant when it is not) and that the database has the country (the
// world domain "00" applies when it has not); then, for each band, the channels of
// the region the reset would write, read from the adapter's enumeration text for that
// region in the OEM INF's untranslated [Strings], must lie inside the country's
// ranges, channel 14 and NO-OFDM ranges only without OFDM, and 5 GHz channels in DFS
// ranges want 802.11h. Transmit power is not judged (driver units, not dBm).
//
// Errors and warnings go to the report with the data file's line (or the INF's); the
// audit's rows give the table's columns and the channel map's rows.
#pragma once

#include <string>
#include <vector>

#include "check/channel_map.h"
#include "check/check.h"
#include "check/regdb.h"

namespace ze {

// What the country reset would do for one code, as far as the audit needs it.
struct AuditCountry {
    std::u16string code;
    std::u16string region2_4G, region5G;  // the region texts it writes; empty for none
    bool ieee80211h = false;              // it switches 802.11h on
    int wirelessMode = -1;                // the WirelessMode the driver ends with; -1 unknown
};

struct AuditRow {
    std::u16string database;  // the database's country that applies, "00" for the world
    std::u16string channels2_4G, channels5G;  // "-" for no region, "channels unknown"
    std::u16string result;                    // "ok", or what is wrong in a few words
};

struct RegulatoryAudit {
    regdb::Database database;
    bool databaseRead = false;
    std::vector<AuditRow> rows;  // one per country, in order
    std::vector<MapRow> map;     // the same, for the channel map; empty without a database
};

struct AuditInputs {
    std::u16string databasePath;
    std::u16string dataFile;  // where the findings point
    std::u16string netId;     // the adapter whose OEM INF names the regions' channels
};

// Audits the countries; findings into *report. A database that cannot be read is one
// error, and the rest of the audit (codes, region texts) still runs.
void RunRegulatoryAudit(const AuditInputs& inputs, const std::vector<AuditCountry>& countries,
                        CheckReport* report, RegulatoryAudit* audit);

// What the country table's rows say the reset would do, with the wireless mode the
// driver already has where the reset writes none.
std::vector<AuditCountry> AuditCountriesOf(const std::vector<CountryRow>& rows,
                                           const std::u16string& netId);

// The audit as "/check" shows it: runs it on the table's rows, writes the channel map
// to mapPath unless it is empty (a file that cannot be written is an error finding),
// and returns the table's extra columns, the header first, then one line per row.
std::vector<std::vector<std::u16string>> AuditColumns(const AuditInputs& inputs,
                                                      const std::u16string& mapPath,
                                                      const std::vector<CountryRow>& rows,
                                                      CheckReport* report);

}  // namespace ze
