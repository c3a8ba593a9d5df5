// Placeholder until this subsystem lands: logs that it is not available and fails.
#include "country/country.h"
#include "common/log.h"

namespace ze {

int ResetCountrySettings(std::u16string) {
    LogPrint(u"[ZeRegionSvc] ResetCountrySettings is not available in this build\r\n");
    return 0;
}

}  // namespace ze
