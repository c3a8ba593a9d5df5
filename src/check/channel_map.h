// The channel map: one self-contained SVG picture of the audit, a row per country,
// the 2.4 GHz and 5 GHz bands side by side. The database's ranges are bands (DFS
// ranges amber, NO-IR ranges hatched), the region's channels are marks, and the marks
// of channels outside the rules are red (#FF0000, a colour nothing else uses).
#pragma once

#include <string>
#include <vector>

#include "check/channel_audit.h"
#include "check/regdb.h"

namespace ze {

struct MapRow {
    std::u16string label;                   // the data file's code and the database's
    const regdb::Country* rules = nullptr;  // the ranges that apply
    std::vector<ChannelVerdict> channels;
    std::vector<bool> violations;  // one per channel
};

// The picture's size in pixels for that many rows.
int ChannelMapWidth();
int ChannelMapHeight(std::size_t rows);

// The SVG document (UTF-8).
std::string ChannelMapSvg(const std::vector<MapRow>& rows);

// Writes the document to a Windows path through the platform, replacing the file;
// false with *error when it cannot be written.
[[nodiscard]] bool WriteChannelMap(const std::u16string& path, const std::vector<MapRow>& rows,
                                   std::u16string* error);

}  // namespace ze
