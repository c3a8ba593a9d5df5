#include "advprops/advprops.h"
#include "country/country.h"
#include "device/device.h"
#include "service/service.h"

namespace ze {

void RunResetSequence(const std::u16string& netId) {
    ResetCountrySettings(netId);
    ResetDriverAdvanceKey(netId);
    EnableDevice(0, netId);
    EnableDevice(1, netId);
}

}  // namespace ze
