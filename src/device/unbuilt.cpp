// Placeholder until this subsystem lands: logs that it is not available and fails.
#include "device/device.h"
#include "common/log.h"

namespace ze {

int FindNetIdByHwId(const char16_t*, char16_t*) {
    LogPrint(u"[ZeRegionSvc] FindNetIdByHwId is not available in this build\r\n");
    return -999;
}

int EnableDevice(int, std::u16string) {
    LogPrint(u"[ZeRegionSvc] EnableDevice is not available in this build\r\n");
    return -999;
}

}  // namespace ze
