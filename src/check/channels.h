// The channels a driver's region enumeration text names, as in "#1 (1-13)" or
// "#0 (36-64, 149-165)": a parenthesised list of channels and ranges. A 2.4 GHz range
// names every channel from one end to the other, a 5 GHz range every fourth (the
// 20 MHz channels).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ze {

enum class Band { k2_4GHz, k5GHz };

// The centre of a 20 MHz channel in MHz: 2407 + 5n at 2.4 GHz (channel 14 at 2484),
// 5000 + 5n at 5 GHz.
int ChannelCentreMhz(Band band, int channel);

struct ChannelList {
    enum class State { Listed, None, Unreadable } state = State::None;
    std::vector<int> channels;  // ascending, each once; empty unless Listed
    std::u16string problem;     // why it is Unreadable
};

// The list in the first parentheses of the text. None when the text has no
// parentheses; Unreadable, with the problem, when what they hold is not a list of
// channels of the band ("10-", "a-b", "13-1", "36-50" at 5 GHz, a channel 15 at
// 2.4 GHz).
ChannelList ReadChannelList(std::u16string_view text, Band band);

// The channels as a driver text lists them: "1-13", "36-64, 149-165", "14".
std::u16string FormatChannels(const std::vector<int>& channels, Band band);

}  // namespace ze
