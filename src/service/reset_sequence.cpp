#include "advprops/advprops.h"
#include "country/country.h"
#include "device/device.h"
#include "service/service.h"

namespace ze {

int RunResetSequence(const RunInputs& inputs, const std::function<void()>& stepDone) {
    auto done = [&] {
        if (stepDone) {
            stepDone();
        }
    };
    const std::u16string& netId = inputs.netId;
    ResetCountrySettings(netId, inputs.dataFile, inputs.country);
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
