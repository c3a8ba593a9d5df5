#include "advprops/advprops.h"
#include "common/events.h"
#include "common/registry.h"
#include "common/text.h"
#include "country/country.h"
#include "device/device.h"
#include "service/service.h"

namespace ze {

namespace {

// The outcome of the whole reset, to the Event Log.
void ReportResetOutcome(const RunInputs& inputs, const std::u16string& country,
                        unsigned valuesChanged, int disable, int result) {
    const std::u16string& netId = inputs.netId;
    if (netId.empty()) {
        ReportOutcome(ZE_EVENT_NO_NET_ID, {inputs.settingsFile});
    } else if (disable == ZE_ERR_NO_ADAPTER) {
        ReportOutcome(ZE_EVENT_ADAPTER_NOT_FOUND, {netId});
    } else if (result == ZE_ERR_ADAPTER_NOT_ENABLED) {
        ReportOutcome(ZE_EVENT_ADAPTER_STAYS_DISABLED, {netId});
    } else {
        ReportOutcome(ZE_EVENT_RESET_DONE,
                      {country.empty() ? u"(none)" : country, netId, Format(u"%u", valuesChanged),
                       disable == 0 ? u"restarted" : u"not restarted"});
    }
}

}  // namespace

int RunResetSequence(const RunInputs& inputs, const std::function<void()>& stepDone) {
    auto done = [&] {
        if (stepDone) {
            stepDone();
        }
    };
    const std::u16string& netId = inputs.netId;
    ReportIfUnreadable(inputs.dataFile);
    unsigned changedBefore = RegValuesChanged();
    std::u16string country;
    ResetCountrySettings(netId, inputs.dataFile, inputs.country, &country);
    done();
    ResetDriverAdvanceKey(netId);
    done();
    int disable = EnableDevice(0, netId);
    done();
    int result = 0;
    if (disable == 0 && EnableDeviceAgain(netId) != 0) {
        result = ZE_ERR_ADAPTER_NOT_ENABLED;
    }
    done();
    ReportResetOutcome(inputs, country, RegValuesChanged() - changedBefore, disable, result);
    return result;
}

}  // namespace ze
