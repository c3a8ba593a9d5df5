#include "common/log.h"
#include "common/text.h"
#include "country/country.h"
#include "country/driver_value.h"

namespace ze {

namespace {

constexpr DWORD kCoInstOptBytes = 64;
constexpr std::size_t kMaskDigits = 8;

}  // namespace

bool ParseCoInstOpt(std::u16string_view text, DWORD* mask) {
    if (text.size() < kMaskDigits) {
        return false;
    }
    DWORD bits = 0;
    for (std::size_t i = 0; i < kMaskDigits; ++i) {
        if (text[i] != u'0' && text[i] != u'1') {
            return false;
        }
        bits = (bits << 1) | (text[i] == u'1' ? 1u : 0u);
    }
    *mask = bits;
    return true;
}

DWORD GetCoInstOpt(std::u16string driverKeyPath) {
    char16_t text[kCoInstOptBytes / 2] = {};
    DWORD type = 0;
    DWORD size = kCoInstOptBytes;
    if (!ReadDriverValue(driverKeyPath, u"ZeCoInstOpt", &type, reinterpret_cast<BYTE*>(text), &size,
                         u"[ZeRegionSvc] Failed to open Registry Key!\r\n",
                         u"[ZeRegionSvc] Failed to get dwCoInstOpt!\r\n")) {
        return ZE_COINST_OPT_ALL;
    }
    if (type != REG_SZ) {
        LogPrint(u"[ZeRegionSvc] registry ZeCoInstOpt incorrect type\r\n");
        return ZE_COINST_OPT_ALL;
    }
    DWORD mask = 0;
    if (!ParseCoInstOpt(std::u16string_view(text, BoundedLength(text, (size + 1) / 2)), &mask)) {
        LogPrint(u"[ZeRegionSvc] registry ZeCoInstOpt is not eight binary digits\r\n");
        return ZE_COINST_OPT_ALL;
    }
    return mask;
}

bool IsInitChn14Disabled(std::u16string driverKeyPath) {
    std::u16string text;
    return ReadDriverText(driverKeyPath, u"InitChn14Disabled", &text) && text == u"1";
}

}  // namespace ze
