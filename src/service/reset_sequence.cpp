#include "advprops/advprops.h"
#include "country/country.h"
#include "device/device.h"
#include "service/service.h"

namespace ze {

int RunResetSequence(const std::u16string& netId, const std::function<void()>& stepDone) {
    auto done = [&] {
        if (stepDone) {
            stepDone();
        }
    };
    ResetCountrySettings(netId);
    done();
    ResetDriverAdvanceKey(netId);
    done();
    bool disabled = EnableDevice(0, netId) == 0;
    done();
    int result = 0;
    if (disabled && EnableDeviceAgain(netId) != 0) {
        result = ZE_ERR_ADAPTER_NOT_ENABLED;
    }
    done();
    return result;
}

}  // namespace ze
