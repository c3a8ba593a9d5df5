// The audit of each country's regions against the regulatory database.
#include "check/regulatory_audit.h"

#include <map>
#include <optional>

#include "advprops/advance_tables.h"
#include "advprops/advprops.h"
#include "check/check_internal.h"
#include "check/iso3166.h"
#include "common/paths.h"
#include "common/registry.h"
#include "common/text.h"

namespace ze {

namespace {

struct BandInfo {
    Band band;
    const char16_t* section;  // of the data file
    const char16_t* name;
    const char16_t* enumArray;
};
constexpr BandInfo kBands[] = {
    {Band::k2_4GHz, u"RegionChannel2_4G", u"2.4 GHz", u"CountryRegion_Array"},
    {Band::k5GHz, u"RegionChannel5G", u"5 GHz", u"CountryRegionABand_Array"},
};

std::u16string Joined(const std::vector<std::u16string>& parts, const char16_t* separator) {
    std::u16string text;
    for (const std::u16string& part : parts)
        text += (text.empty() ? u"" : separator) + part;
    return text;
}

class Auditor {
  public:
    Auditor(const AuditInputs& inputs, CheckReport* report, RegulatoryAudit* audit)
        : inputs_(inputs), report_(report), audit_(audit) {
        std::u16string error;
        haveDatabase_ = regdb::LoadDatabase(inputs.databasePath, &audit->database, &error);
        audit->databaseRead = haveDatabase_;
        if (!haveDatabase_)
            Add(Finding::Severity::Error, inputs.databasePath, 0, error);
        haveInf_ = LocateOemInf(inputs.netId, &infPath_) == 0;
        if (!haveInf_)
            Add(Finding::Severity::Error, u"HKLM\\" + DriverKeyPath(inputs.netId), 0,
                u"InfPath cannot be read: the regions' channels cannot be audited");
    }

    void Audit(const AuditCountry& country) {
        AuditRow row;
        MapRow map;
        std::vector<std::u16string> notes;
        const regdb::Country* rules = Rules(country.code, &notes);
        row.database = rules != nullptr ? rules->alpha2 : u"-";
        map.label = country.code + u" (" + row.database + u")";
        map.rules = rules;
        for (const BandInfo& band : kBands) {
            const std::u16string& region =
                band.band == Band::k2_4GHz ? country.region2_4G : country.region5G;
            std::u16string& cell = band.band == Band::k2_4GHz ? row.channels2_4G : row.channels5G;
            const ChannelList* list =
                region.empty() ? nullptr : RegionChannels(band, country.code, region);
            cell = region.empty()    ? u"-"
                   : list == nullptr ? u"channels unknown"
                                     : FormatChannels(list->channels, band.band);
            if (list != nullptr && rules != nullptr)
                Judge(country, band, region, list->channels, *rules, &map, &notes);
        }
        row.result = notes.empty() ? u"ok" : Joined(notes, u"; ");
        audit_->rows.push_back(std::move(row));
        if (haveDatabase_)
            audit_->map.push_back(std::move(map));
    }

  private:
    void Add(Finding::Severity severity, const std::u16string& where, int line,
             std::u16string message) {
        report_->findings.push_back({severity, where, line, std::move(message)});
    }

    int CountryLine(const std::u16string& code) const {
        for (const char16_t* section : kCountrySections) {
            if (int line = ProfileLine(inputs_.dataFile, section, code))
                return line;
        }
        return 0;
    }

    // The database's country for the code, or the world domain; notes what stands in
    // the way.
    const regdb::Country* Rules(const std::u16string& code, std::vector<std::u16string>* notes) {
        const Iso3166Country* iso = FindIso3166Alpha3(code);
        if (iso == nullptr) {
            std::vector<std::u16string> likely;
            for (const Iso3166Country* candidate : SuggestIso3166Alpha3(code))
                likely.push_back(std::u16string(candidate->alpha3) + u" (" + candidate->name +
                                 u")");
            Add(Finding::Severity::Error, inputs_.dataFile, CountryLine(code),
                code + u" is not an ISO 3166-1 alpha-3 country code" +
                    (likely.empty() ? u"" : u": " + Joined(likely, u" or ") + u" is likely meant"));
            notes->push_back(u"unknown code");
        }
        if (!haveDatabase_)
            return nullptr;
        const regdb::Country* rules = iso != nullptr ? audit_->database.Find(iso->alpha2) : nullptr;
        if (iso != nullptr && rules == nullptr) {
            Add(Finding::Severity::Warning, inputs_.dataFile, CountryLine(code),
                code + u" (" + iso->alpha2 +
                    u") has no entry in the regulatory database: the world domain 00 applies");
            notes->push_back(u"not in the database");
        }
        return rules != nullptr ? rules : audit_->database.Find(u"00");
    }

    // The channels of the region's enumeration text, or null when they are unknown;
    // what keeps them unknown is reported once per text.
    const ChannelList* RegionChannels(const BandInfo& band, const std::u16string& code,
                                      const std::u16string& region) {
        if (!haveInf_)
            return nullptr;
        const AdvanceEnumArray* array = FindAdvanceEnumArray(band.enumArray);
        std::size_t consumed = 0;
        int index = Wtoi(region, &consumed);
        if (consumed != region.size() || index < 0 || index >= array->nArrayCount) {
            Add(Finding::Severity::Error, inputs_.dataFile,
                ProfileLine(inputs_.dataFile, band.section, code),
                Format(u"[%s] %s: region %s has no enumeration text (the driver's regions are 0 "
                       u"to %d): its channels cannot be audited",
                       band.section, code.c_str(), region.c_str(), array->nArrayCount - 1));
            return nullptr;
        }
        std::u16string token(array->pTokens[index]);
        auto [known, added] = texts_.try_emplace(token);
        if (added)
            known->second = ReadRegionText(band, token, region);
        return known->second ? &*known->second : nullptr;
    }

    std::optional<ChannelList> ReadRegionText(const BandInfo& band, const std::u16string& token,
                                              const std::u16string& region) {
        std::u16string text = GetIniString(u"Strings", token, u"", infPath_);
        int line = ProfileLine(infPath_, u"Strings", token);
        std::u16string subject = u"[Strings] " + token + u" \"" + text + u"\"";
        std::u16string unaudited =
            Format(u": the %s channels of region %s ", band.name, region.c_str());
        ChannelList list = ReadChannelList(text, band.band);
        if (text.empty()) {
            Add(Finding::Severity::Error, infPath_, 0,
                u"[Strings] lacks " + token + unaudited + u"cannot be audited");
        } else if (list.state == ChannelList::State::Unreadable) {
            Add(Finding::Severity::Error, infPath_, line,
                subject + u": its channel list cannot be read, " + list.problem + unaudited +
                    u"cannot be audited");
        } else if (list.state == ChannelList::State::None) {
            // 5 GHz texts of some drivers name no channels; 2.4 GHz texts always do.
            bool required = band.band == Band::k2_4GHz;
            Add(required ? Finding::Severity::Error : Finding::Severity::Warning, infPath_, line,
                subject + u" has no channel list such as \"#1 (1-13)\"" + unaudited +
                    (required ? u"cannot be audited" : u"are unknown"));
        }
        if (list.state != ChannelList::State::Listed)
            return std::nullopt;
        return list;
    }

    void Judge(const AuditCountry& country, const BandInfo& band, const std::u16string& region,
               const std::vector<int>& channels, const regdb::Country& rules, MapRow* map,
               std::vector<std::u16string>* notes) {
        std::u16string where = u"[" + std::u16string(band.section) + u"] " + country.code +
                               u": region " + region + u": ";
        int line = ProfileLine(inputs_.dataFile, band.section, country.code);
        bool ofdm = band.band == Band::k5GHz || UsesOfdmAt2_4GHz(country.wirelessMode);
        std::vector<int> outside, noOfdm, dfs;
        for (int channel : channels) {
            ChannelVerdict verdict = JudgeChannel(rules, band.band, channel);
            bool violation = IsViolation(verdict, ofdm);
            map->channels.push_back(verdict);
            map->violations.push_back(violation);
            std::u16string subject =
                Format(u"channel %d (%d MHz) ", channel, ChannelCentreMhz(band.band, channel));
            if (!verdict.inside) {
                outside.push_back(channel);
                Add(Finding::Severity::Error, inputs_.dataFile, line,
                    where + subject + u"lies outside the ranges " + rules.alpha2 + u" allows");
            } else if (violation) {
                noOfdm.push_back(channel);
                Add(Finding::Severity::Error, inputs_.dataFile, line,
                    where + subject + u"is allowed in " + rules.alpha2 + u" only without OFDM, " +
                        OfdmReason(country.wirelessMode));
            } else if (verdict.dfs) {
                dfs.push_back(channel);
            }
        }
        if (!outside.empty())
            notes->push_back(u"outside: " + FormatChannels(outside, band.band));
        if (!noOfdm.empty())
            notes->push_back(FormatChannels(noOfdm, band.band) + u" only without OFDM");
        if (!dfs.empty() && !country.ieee80211h) {
            Add(Finding::Severity::Warning, inputs_.dataFile, line,
                where + u"channels " + FormatChannels(dfs, band.band) + u" lie in DFS ranges of " +
                    rules.alpha2 + u", and 802.11h stays off for " + country.code +
                    u" ([Settings] IEEE80211H does not switch it on)");
            notes->push_back(u"DFS without 802.11h");
        }
    }

    static std::u16string OfdmReason(int wirelessMode) {
        if (wirelessMode < 0)
            return u"and the adapter's wireless mode is not known to be 802.11b alone";
        return Format(u"and wireless mode %d uses OFDM", wirelessMode);
    }

    const AuditInputs& inputs_;
    CheckReport* report_;
    RegulatoryAudit* audit_;
    bool haveDatabase_ = false;
    bool haveInf_ = false;
    std::u16string infPath_;
    std::map<std::u16string, std::optional<ChannelList>> texts_;  // by INF token
};

}  // namespace

void RunRegulatoryAudit(const AuditInputs& inputs, const std::vector<AuditCountry>& countries,
                        CheckReport* report, RegulatoryAudit* audit) {
    Auditor auditor(inputs, report, audit);
    for (const AuditCountry& country : countries)
        auditor.Audit(country);
}

}  // namespace ze
