#include <optional>

#include "common/log.h"
#include "common/paths.h"
#include "country/country.h"
#include "platform/platform.h"

namespace ze {

namespace {

constexpr int kLocaleChars = 64;

// The abbreviated country name of a locale, or nothing when the locale cannot answer
// (the buffer's contents are then not trusted).
std::optional<std::u16string> LocaleCountry(LCID locale) {
    char16_t name[kLocaleChars] = {};
    if (OS().GetLocaleInfoW(locale, LOCALE_SABBREVCTRYNAME, name, kLocaleChars) == 0) {
        LogPrint(u"[ZeRegionSvc] GetLocaleInfo() failed, no country code\r\n");
        return std::nullopt;
    }
    name[kLocaleChars - 1] = u'\0';
    return std::u16string(name);
}

}  // namespace

std::optional<std::u16string> GetWindowsCountry(const std::u16string& dataFile) {
    std::optional<std::u16string> country =
        GetIniString(u"Settings", u"WindowsCountry", u"LOCALE_SYSTEM_DEFAULT", dataFile);
    if (*country == u"LOCALE_SYSTEM_DEFAULT") {
        country = LocaleCountry(LOCALE_SYSTEM_DEFAULT);
    } else if (*country == u"LOCALE_USER_DEFAULT") {
        country = LocaleCountry(LOCALE_USER_DEFAULT);
    }
    if (country) {
        LogPrint(u"[ZeRegionSvc] strWindowsCountry = %s\r\n", country->c_str());
    }
    return country;
}

}  // namespace ze
