// Judging one channel against a country's ranges.
#include "check/channel_audit.h"

#include <algorithm>

namespace ze {

namespace {

constexpr std::uint32_t kHalfChannelKhz = 10000;
constexpr std::uint32_t kChannelKhz = 20000;

}  // namespace

ChannelVerdict JudgeChannel(const regdb::Country& rules, Band band, int channel) {
    ChannelVerdict verdict;
    verdict.band = band;
    verdict.channel = channel;
    auto centre = static_cast<std::uint32_t>(ChannelCentreMhz(band, channel)) * 1000;
    std::uint32_t low = centre - kHalfChannelKhz, high = centre + kHalfChannelKhz;
    bool ofdmAllowed = false;
    for (const regdb::Rule& rule : rules.rules) {
        if (rule.startKhz < high && low < rule.endKhz && (rule.flags & regdb::kDfs))
            verdict.dfs = true;
        if (rule.startKhz <= low && high <= rule.endKhz && rule.maxBandwidthKhz >= kChannelKhz) {
            verdict.inside = true;
            ofdmAllowed = ofdmAllowed || !(rule.flags & regdb::kNoOfdm);
        }
    }
    verdict.needsNoOfdm =
        verdict.inside && (!ofdmAllowed || (band == Band::k2_4GHz && channel == 14));
    return verdict;
}

bool IsViolation(const ChannelVerdict& verdict, bool usesOfdm) {
    return !verdict.inside || (verdict.needsNoOfdm && usesOfdm);
}

bool UsesOfdmAt2_4GHz(int wirelessMode) {
    return wirelessMode != 1;
}

}  // namespace ze
