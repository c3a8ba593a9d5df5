#include "common/log.h"
#include "common/paths.h"
#include "common/registry.h"
#include "country/country.h"

namespace ze {

namespace {

// Region texts are held in a 256-character buffer, terminator included.
constexpr std::size_t kRegionChars = 256;

// Writes one band's region text when there is one. A text too long for the region
// buffer is refused rather than cut: a cut region would name another region.
bool WriteRegion(const std::u16string& driverKeyPath, const char16_t* valueName,
                 const std::u16string& region) {
    if (region.empty()) {
        return false;
    }
    if (region.size() >= kRegionChars) {
        LogPrint(u"[ZeRegionSvc] %s text longer than %d characters, not written\r\n", valueName,
                 static_cast<int>(kRegionChars - 1));
        return false;
    }
    return WriteRegString(driverKeyPath, valueName, region);
}

}  // namespace

bool SetCountryRegion(std::u16string driverKeyPath, std::u16string country,
                      const std::u16string& dataFile) {
    // Japanese drivers that keep channel 14 off take region 1 whatever the file says.
    std::u16string region = country == u"JPN" && IsInitChn14Disabled(driverKeyPath)
                                ? std::u16string(u"1")
                                : GetIniString(u"RegionChannel2_4G", country, u"", dataFile);
    bool written = WriteRegion(driverKeyPath, u"CountryRegion", region);
    LogPrint(u"[ZeRegionSvc] Registry CountryRegion = %s\r\n", region.c_str());

    std::u16string regionABand = GetIniString(u"RegionChannel5G", country, u"", dataFile);
    if (WriteRegion(driverKeyPath, u"CountryRegionABand", regionABand)) {
        written = true;
    }
    LogPrint(u"[ZeRegionSvc] Registry CountryRegionABand = %s\r\n", regionABand.c_str());
    return written;
}

}  // namespace ze
