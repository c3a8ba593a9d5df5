// The regulatory audit of one country's channels: whether each channel a region
// enables lies inside the country's ranges in the regulatory database.
//
// A 20 MHz channel is inside when it lies wholly within one range that allows at
// least 20 MHz. A channel whose every such range forbids OFDM, and channel 14 always
// (802.11 defines no OFDM there), may be used only without OFDM. A channel that
// overlaps a DFS range needs radar detection, which the driver's 802.11h setting
// switches on. Transmit power is not judged: the data file's values are driver units,
// not dBm.
#pragma once

#include <string>
#include <vector>

#include "check/channels.h"
#include "check/regdb.h"

namespace ze {

struct ChannelVerdict {
    Band band = Band::k2_4GHz;
    int channel = 0;
    bool inside = false;       // within one of the country's ranges
    bool needsNoOfdm = false;  // allowed only without OFDM
    bool dfs = false;          // overlaps a DFS range
};

ChannelVerdict JudgeChannel(const regdb::Country& rules, Band band, int channel);

// True when the verdict breaks the rules for an adapter that does or does not use
// OFDM on the channel.
bool IsViolation(const ChannelVerdict& verdict, bool usesOfdm);

// Whether the driver's wireless mode (its WirelessMode number) uses OFDM at 2.4 GHz:
// all but 802.11b alone (1) do; an unknown mode (-1) is taken to.
bool UsesOfdmAt2_4GHz(int wirelessMode);

}  // namespace ze
