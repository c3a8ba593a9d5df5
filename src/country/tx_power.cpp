#include <cstdint>

#include "common/paths.h"
#include "common/registry.h"
#include "common/text.h"
#include "country/country.h"
#include "country/driver_value.h"
#include "platform/platform.h"

namespace ze {

namespace {

// Parses `pairs` lo-hi ranges from the driver's value; every range stays open when
// the value cannot be read.
void ReadRanges(const std::u16string& driverKeyPath, const char16_t* valueName,
                TxPowerRange* ranges, std::size_t pairs) {
    std::u16string text;
    if (ReadDriverText(driverKeyPath, valueName, &text)) {
        ParseTxPowerRanges(text, pairs, ranges);
    }
}

// Bounds a number by its range, the upper end first: with lo > hi a number above hi
// ends at hi. Number is int32_t for signed, uint32_t for unsigned comparisons.
template <typename Number>
Number Bound(Number value, const TxPowerRange& range) {
    if (range.hasHi && value > static_cast<Number>(range.hi)) {
        return static_cast<Number>(range.hi);
    }
    if (range.hasLo && value < static_cast<Number>(range.lo)) {
        return static_cast<Number>(range.lo);
    }
    return value;
}

// The country's 2.4 GHz power entry, else the "USA" one; 0 means none.
UINT TxPowerEntry(const std::u16string& country, const std::u16string& dataFile) {
    UINT entry = OS().GetPrivateProfileIntW(u"CountryTxPwr", country.c_str(), 0, dataFile.c_str());
    if (entry == 0) {
        entry = OS().GetPrivateProfileIntW(u"CountryTxPwr", u"USA", 0, dataFile.c_str());
    }
    return entry;
}

bool SetTxPower2_4G(const std::u16string& driverKeyPath, const std::u16string& country,
                    const std::u16string& dataFile) {
    UINT entry = TxPowerEntry(country, dataFile);
    if (entry == 0) {
        return false;
    }
    // The entry's last two decimal digits are the power, so 100 stands for 0.
    auto power = static_cast<std::uint32_t>(static_cast<std::int32_t>(entry) % 100);
    TxPowerRange ranges[1];
    ReadRanges(driverKeyPath, u"InitTxPwrRange", ranges, 1);
    power = Bound<std::uint32_t>(power, ranges[0]);
    return WriteRegDword(driverKeyPath, u"CountryTxPwr", power);
}

bool SetTxPower5G(const std::u16string& driverKeyPath, const std::u16string& country,
                  const std::u16string& dataFile) {
    std::u16string entry = GetIniString(u"CountryTxPwr5G", country, u"", dataFile);
    if (entry.empty()) {
        entry = GetIniString(u"CountryTxPwr5G", u"USA", u"", dataFile);
    }
    if (entry.empty()) {
        return false;
    }
    // Numbers the entry does not give are 0 (and then bounded like the others).
    std::int32_t powers[4] = {};
    ParseTxPower5G(entry, powers);
    TxPowerRange ranges[4];
    ReadRanges(driverKeyPath, u"InitTxPwrRange5G", ranges, 4);
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        // Not masked: a number outside 0-255 spills into the bytes above its own.
        value |= static_cast<std::uint32_t>(Bound<std::int32_t>(powers[i], ranges[i]))
                 << (8 * (3 - i));
    }
    return WriteRegDword(driverKeyPath, u"CountryTxPwr5G", value);
}

}  // namespace

bool ParseTxPowerRanges(const std::u16string& text, std::size_t pairs, TxPowerRange* ranges) {
    // Room for four pairs; a format of fewer fields leaves the rest unused.
    const char16_t* format = pairs == 1 ? u"%d-%d%n" : u"%d-%d,%d-%d,%d-%d,%d-%d%n";
    std::int32_t ends[8] = {};
    int consumed = -1;
    int converted = pairs == 1 ? Scan(text, format, &ends[0], &ends[1], &consumed)
                               : Scan(text, format, &ends[0], &ends[1], &ends[2], &ends[3],
                                      &ends[4], &ends[5], &ends[6], &ends[7], &consumed);
    for (std::size_t i = 0; i < pairs; ++i) {
        auto loField = static_cast<int>(2 * i);
        ranges[i] = {ends[2 * i], ends[2 * i + 1], converted > loField, converted > loField + 1};
    }
    return converted == static_cast<int>(2 * pairs) && consumed == static_cast<int>(text.size());
}

bool ParseTxPower5G(const std::u16string& entry, std::int32_t powers[4]) {
    return ScanWhole(entry, u"%02d,%02d,%02d,%02d", &powers[0], &powers[1], &powers[2], &powers[3]);
}

bool SetCountryTxPower(std::u16string driverKeyPath, std::u16string country,
                       const std::u16string& dataFile) {
    bool written2_4G = SetTxPower2_4G(driverKeyPath, country, dataFile);
    bool written5G = SetTxPower5G(driverKeyPath, country, dataFile);
    return written2_4G || written5G;
}

}  // namespace ze
