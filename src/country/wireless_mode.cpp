#include <algorithm>

#include "common/paths.h"
#include "common/registry.h"
#include "common/text.h"
#include "country/country.h"

namespace ze {

namespace {

struct ModeOfMask {
    DWORD mask;
    int mode;
};

// The driver's WirelessMode for each wireless mode mask; the whole mask must match.
// Modes 5, 8 and 9 include 802.11n, modes 0, 2 and 3 do not.
constexpr ModeOfMask kModesOfMasks[] = {
    {0x11101110, 5}, {0x11100000, 8}, {0x00001110, 9},
    {0x10001000, 3}, {0x10000000, 2}, {0x00001000, 0},
};
constexpr int kModeOfOtherMasks = 0;

int WirelessModeOfMask(DWORD mask) {
    for (const ModeOfMask& entry : kModesOfMasks) {
        if (entry.mask == mask) {
            return entry.mode;
        }
    }
    return kModeOfOtherMasks;
}

}  // namespace

bool ParseWirelessModeMask(const std::u16string& entry, DWORD* mask) {
    *mask = 0;
    return Scan(entry, u"%08X", mask) == 1;
}

bool IsKnownWirelessModeMask(DWORD mask) {
    return std::any_of(std::begin(kModesOfMasks), std::end(kModesOfMasks),
                       [&](const ModeOfMask& entry) { return entry.mask == mask; });
}

bool SetCountryWirelessMode(std::u16string driverKeyPath, std::u16string country,
                            const std::u16string& dataFile) {
    std::u16string entry = GetIniString(u"CountryWirelessMode", country, u"", dataFile);
    if (entry.empty()) {
        entry = GetIniString(u"CountryWirelessMode", u"USA", u"", dataFile);
    }
    if (entry.empty()) {
        return false;
    }
    // An entry that does not start with a hexadecimal number is the mask 0.
    DWORD mask = 0;
    ParseWirelessModeMask(entry, &mask);
    bool maskWritten = WriteRegDword(driverKeyPath, u"CountryWirelessMode", mask);
    bool modeWritten =
        WriteRegString(driverKeyPath, u"WirelessMode", Format(u"%d", WirelessModeOfMask(mask)));
    return maskWritten || modeWritten;
}

}  // namespace ze
