// "/check [FILE] [/regdb [DB] [/map OUT.svg]]": the findings, then the country table,
// with the regulatory audit's when it is asked for.
#include <algorithm>
#include <vector>

#include "check/check.h"
#include "check/regulatory_audit.h"
#include "commands/commands.h"
#include "common/console.h"
#include "common/text.h"

namespace ze {

namespace {

#if defined(_WIN32)
constexpr const char16_t* kDefaultDatabase = nullptr;
#else
// Debian's wireless-regdb, through the simulated machine's drive Z: as under Wine.
constexpr const char16_t* kDefaultDatabase = u"Z:\\lib\\firmware\\regulatory.db";
#endif

struct AuditRequest {
    bool requested = false;
    std::u16string databasePath;
    std::u16string mapPath;  // empty: no map
};

// Takes "/regdb [DB]" and "/map OUT.svg" out of the arguments (any order, any case),
// leaving the others in order. False with *error for "/map" without its path or
// without "/regdb", or "/regdb" without DB where there is no default.
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

std::u16string FindingsText(const CheckReport& report) {
    std::u16string text;
    int errors = 0;
    for (const Finding& finding : report.findings) {
        bool error = finding.severity == Finding::Severity::Error;
        errors += error ? 1 : 0;
        text += std::u16string(error ? u"error: " : u"warning: ") + finding.where +
                (finding.line > 0 ? Format(u":%d", finding.line) : std::u16string()) + u": " +
                finding.message + u"\r\n";
    }
    return text + Format(u"%d errors, %d warnings\r\n", errors,
                         static_cast<int>(report.findings.size()) - errors);
}

// The country table, with the regulatory audit's columns when it ran.
std::u16string TableText(const std::vector<CountryRow>& rows,
                         const std::vector<std::vector<std::u16string>>& audit) {
    std::vector<std::vector<std::u16string>> cells{{u"Country", u"2.4 GHz", u"5 GHz",
                                                    u"CarrierDetect", u"802.11h", u"TxPower",
                                                    u"TxPower 5 GHz", u"WirelessMode"}};
    for (const CountryRow& row : rows) {
        cells.push_back({row.country, row.region2_4G, row.region5G, row.carrierDetect,
                         row.ieee80211h, row.txPower, row.txPower5G, row.wirelessMode});
    }
    for (std::size_t i = 0; i < audit.size() && i < cells.size(); ++i)
        cells[i].insert(cells[i].end(), audit[i].begin(), audit[i].end());
    std::vector<std::size_t> widths(cells.front().size(), 0);
    for (auto& line : cells) {
        for (std::size_t i = 0; i < line.size(); ++i) {
            if (line[i].empty())
                line[i] = u"-";
            widths[i] = std::max(widths[i], line[i].size());
        }
    }
    std::u16string text =
        u"\r\nWhat the country reset would write on this adapter, per country code:\r\n";
    for (auto& line : cells) {
        for (std::size_t i = 0; i < line.size(); ++i) {
            line[i].resize(widths[i] + 2, u' ');
            text += line[i];
        }
        while (!text.empty() && text.back() == u' ')
            text.pop_back();
        text += u"\r\n";
    }
    return text;
}

// The exit code; errors are also named on standard error, in one line.
int CheckResult(const CheckReport& report) {
    auto errors =
        std::count_if(report.findings.begin(), report.findings.end(),
                      [](const Finding& f) { return f.severity == Finding::Severity::Error; });
    return ReportFailure(
        u"/check", errors > 0 ? ZE_EXIT_CHECK_ERRORS : 0,
        Format(u"%d errors in the files the reset reads, listed on standard output",
               static_cast<int>(errors)));
}

}  // namespace

int RunCheck(const RunInputs& inputs, CommandArguments arguments) {
    std::vector<std::u16string> rest(arguments.begin(), arguments.end());
    AuditRequest audit;
    std::u16string usage;
    if (!TakeAuditOptions(&rest, &audit, &usage)) {
        return RefuseUsage(usage);
    }
    CheckReport report;
    RunInputs checked = inputs;
    if (rest.empty()) {
        CheckInstalledFiles(inputs, &report);
    } else if (CheckFile(rest[0], &report)) {
        // The table below is the reset's own, run with this file as its data file.
        checked.dataFile = rest[0];
    } else {
        PrintOut(FindingsText(report));
        return CheckResult(report);
    }
    std::vector<CountryRow> rows = CountryTable(checked);
    CheckCoverage(checked.dataFile, rows, &report);
    if (rest.empty())
        CheckRegions(checked, rows, &report);
    std::vector<std::vector<std::u16string>> auditColumns;
    if (audit.requested) {
        auditColumns = AuditColumns({audit.databasePath, checked.dataFile, checked.netId},
                                    audit.mapPath, rows, &report);
    }
    PrintOut(FindingsText(report) + TableText(rows, auditColumns));
    return CheckResult(report);
}

}  // namespace ze
