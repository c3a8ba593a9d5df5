// Drawing the channel map.
#include "check/channel_map.h"

#include <algorithm>
#include <cstdio>

#include "common/text.h"
#include "platform/handles.h"

namespace ze {

namespace {

constexpr int kWidth = 1000;
constexpr int kTop = 44;
constexpr int kRowHeight = 24;
constexpr int kLegendHeight = 36;

// A band's panel: the pixels it spans and the frequencies they show.
struct Panel {
    Band band;
    const char* title;
    double left, right;
    double lowMhz, highMhz;
    int ticks[6];  // channels labelled on the axis; 0 ends the list

    double X(double mhz) const {
        double clamped = std::clamp(mhz, lowMhz, highMhz);
        return left + (clamped - lowMhz) * (right - left) / (highMhz - lowMhz);
    }
};

constexpr Panel kPanels[] = {
    {Band::k2_4GHz, "2.4 GHz", 120, 390, 2400, 2500, {1, 6, 11, 14, 0}},
    {Band::k5GHz, "5 GHz", 420, 980, 5150, 5900, {36, 64, 100, 140, 165, 0}},
};

std::string Escaped(const std::u16string& text) {
    std::string escaped;
    for (char c : Utf16ToUtf8(text)) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

std::string Printf(const char* format, double a, double b, double c, double d) {
    char buffer[160];
    std::snprintf(buffer, sizeof(buffer), format, a, b, c, d);
    return buffer;
}

std::string Rect(double x, double y, double width, double height, const char* fill) {
    return Printf("<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\"", x, y, width,
                  height) +
           " fill=\"" + fill + "\"/>\n";
}

std::string Text(double x, double y, const std::string& text, const char* anchor = "start") {
    return Printf("<text x=\"%.1f\" y=\"%.1f\"", x, y, 0, 0) + " text-anchor=\"" + anchor + "\">" +
           text + "</text>\n";
}

std::string Header() {
    std::string svg;
    for (const Panel& panel : kPanels) {
        svg += Text(panel.left, 16,
                    std::string("<tspan font-weight=\"bold\">") + panel.title + "</tspan>");
        for (const int* tick = panel.ticks; *tick != 0; ++tick) {
            double x = panel.X(ChannelCentreMhz(panel.band, *tick));
            svg += Text(x, 36, std::to_string(*tick), "middle");
        }
    }
    return svg + Text(8, 36, "Country");
}

std::string Ranges(const Panel& panel, const regdb::Country& rules, double y) {
    std::string svg;
    for (const regdb::Rule& rule : rules.rules) {
        double low = rule.startKhz / 1000.0, high = rule.endKhz / 1000.0;
        if (high <= panel.lowMhz || low >= panel.highMhz)
            continue;
        double x = panel.X(low), width = panel.X(high) - x;
        svg +=
            Rect(x, y + 4, width, kRowHeight - 8, rule.flags & regdb::kDfs ? "#F3C74F" : "#9ED39E");
        if (rule.flags & regdb::kNoIr)
            svg += Rect(x, y + 4, width, kRowHeight - 8, "url(#noir)");
    }
    return svg;
}

std::string Row(const MapRow& row, double y) {
    std::string svg = Text(8, y + 16, Escaped(row.label));
    for (const Panel& panel : kPanels) {
        svg += Rect(panel.left, y + 2, panel.right - panel.left, kRowHeight - 4, "#F2F2F2");
        if (row.rules != nullptr)
            svg += Ranges(panel, *row.rules, y);
        for (std::size_t i = 0; i < row.channels.size(); ++i) {
            if (row.channels[i].band != panel.band)
                continue;
            bool red = i < row.violations.size() && row.violations[i];
            double x = panel.X(ChannelCentreMhz(panel.band, row.channels[i].channel));
            svg += Rect(x - 2, y + 1, 4, kRowHeight - 2, red ? "#FF0000" : "#1B3B8C");
        }
    }
    return svg;
}

std::string Legend(double y) {
    return Rect(8, y + 8, 18, 12, "#9ED39E") + Text(30, y + 18, "allowed range") +
           Rect(140, y + 8, 18, 12, "#F3C74F") + Text(162, y + 18, "DFS range") +
           Rect(260, y + 8, 18, 12, "#9ED39E") + Rect(260, y + 8, 18, 12, "url(#noir)") +
           Text(282, y + 18, "NO-IR range (no initiating radiation)") +
           Rect(560, y + 6, 4, 16, "#1B3B8C") + Text(570, y + 18, "channel") +
           Rect(650, y + 6, 4, 16, "#FF0000") + Text(660, y + 18, "channel outside the rules");
}

}  // namespace

int ChannelMapWidth() {
    return kWidth;
}

int ChannelMapHeight(std::size_t rows) {
    return kTop + static_cast<int>(rows) * kRowHeight + kLegendHeight;
}

std::string ChannelMapSvg(const std::vector<MapRow>& rows) {
    std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(kWidth) +
           "\" height=\"" + std::to_string(ChannelMapHeight(rows.size())) +
           "\" font-family=\"sans-serif\" font-size=\"12\">\n";
    svg +=
        "<defs><pattern id=\"noir\" width=\"6\" height=\"6\" patternUnits=\"userSpaceOnUse\">"
        "<path d=\"M0,6 L6,0\" stroke=\"#555555\" stroke-width=\"1\"/></pattern></defs>\n";
    svg += Rect(0, 0, kWidth, ChannelMapHeight(rows.size()), "#FFFFFF") + Header();
    for (std::size_t i = 0; i < rows.size(); ++i)
        svg += Row(rows[i], kTop + static_cast<double>(i) * kRowHeight);
    return svg + Legend(kTop + static_cast<double>(rows.size()) * kRowHeight) + "</svg>\n";
}

bool WriteChannelMap(const std::u16string& path, const std::vector<MapRow>& rows,
                     std::u16string* error) {
    std::string svg = ChannelMapSvg(rows);
    UniqueFile file(OS().CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!file ||
        !OS().WriteFile(file.get(), svg.data(), static_cast<DWORD>(svg.size()), &written,
                        nullptr) ||
        written != svg.size()) {
        *error = Format(u"cannot be written (error %u)", OS().GetLastError());
        return false;
    }
    return true;
}

}  // namespace ze
