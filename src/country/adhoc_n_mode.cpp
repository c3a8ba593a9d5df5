#include <iterator>

#include "common/log.h"
#include "common/text.h"
#include "country/country.h"
#include "country/driver_value.h"
#include "platform/platform.h"

namespace ze {

namespace {

// Modes below this one have no 802.11n; also the mode assumed when the driver's
// WirelessMode cannot be read.
constexpr int kFirstModeWithN = 5;
// The key paths formatted here are held in a 128-character buffer.
constexpr std::size_t kKeyPathChars = 128;
constexpr char16_t kAdHocNModeKey[] = u"%s\\NDI\\params\\AdhocNMode";
constexpr char16_t kAdHocNModeEnumKey[] = u"%s\\NDI\\params\\AdhocNMode\\enum";

}  // namespace

bool AdHocNModeKeyPathsFit(const std::u16string& driverKeyPath) {
    // The enum key's path is the longer one; "%s" gives way to the driver key path.
    return driverKeyPath.size() + std::size(kAdHocNModeEnumKey) - 3 < kKeyPathChars;
}

void RemoveAdHocNMode(std::u16string driverKeyPath) {
    int mode = kFirstModeWithN;
    std::u16string text;
    if (ReadDriverText(driverKeyPath, u"WirelessMode", &text)) {
        Scan(text, u"%d", &mode);
    }
    // A cut path would name another key: such a driver key path deletes nothing.
    if (mode >= kFirstModeWithN || !AdHocNModeKeyPathsFit(driverKeyPath)) {
        return;
    }
    char16_t keyPath[kKeyPathChars] = {};
    FormatTo(keyPath, kKeyPathChars, kAdHocNModeEnumKey, driverKeyPath.c_str());
    OS().RegDeleteKeyW(HKEY_LOCAL_MACHINE, keyPath);
    FormatTo(keyPath, kKeyPathChars, kAdHocNModeKey, driverKeyPath.c_str());
    LogPrint(u"[ZeRegionSvc] RemoveAdHocNMode: %s\n", keyPath);
    OS().RegDeleteKeyW(HKEY_LOCAL_MACHINE, keyPath);
}

}  // namespace ze
