// "/check [FILE]": the findings, then the country table.
#include <algorithm>

#include "check/check.h"
#include "commands/commands.h"
#include "common/console.h"
#include "common/text.h"

namespace ze {

namespace {

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

std::u16string TableText(const std::vector<CountryRow>& rows) {
    std::vector<std::vector<std::u16string>> cells{{u"Country", u"2.4 GHz", u"5 GHz",
                                                    u"CarrierDetect", u"802.11h", u"TxPower",
                                                    u"TxPower 5 GHz", u"WirelessMode"}};
    for (const CountryRow& row : rows) {
        cells.push_back({row.country, row.region2_4G, row.region5G, row.carrierDetect,
                         row.ieee80211h, row.txPower, row.txPower5G, row.wirelessMode});
    }
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

}  // namespace

int RunCheck(const RunInputs& inputs, CommandArguments arguments) {
    CheckReport report;
    RunInputs checked = inputs;
    if (arguments.empty()) {
        CheckInstalledFiles(inputs, &report);
    } else if (CheckFile(arguments[0], &report)) {
        // The table below is the reset's own, run with this file as its data file.
        checked.dataFile = arguments[0];
    } else {
        PrintOut(FindingsText(report));
        return report.HasErrors() ? ZE_EXIT_CHECK_ERRORS : 0;
    }
    PrintOut(FindingsText(report) + TableText(CountryTable(checked)));
    return report.HasErrors() ? ZE_EXIT_CHECK_ERRORS : 0;
}

}  // namespace ze
