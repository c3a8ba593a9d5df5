// Placeholder until this subsystem lands: logs that it is not available and fails.
#include "advprops/advprops.h"
#include "common/log.h"

namespace ze {

int ResetDriverAdvanceKey(std::u16string) {
    LogPrint(u"[ZeRegionSvc] ResetDriverAdvanceKey is not available in this build\r\n");
    return -999;
}

}  // namespace ze
