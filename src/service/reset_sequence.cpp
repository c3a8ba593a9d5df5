#include "advprops/advprops.h"
#include "common/events.h"
#include "common/log.h"
#include "common/registry.h"
#include "common/text.h"
#include "country/country.h"
#include "device/device.h"
#include "service/service.h"

namespace ze {

namespace {

// The outcome of the whole reset, to the Event Log.
void ReportResetOutcome(const RunInputs& inputs, const std::u16string& country,
                        unsigned valuesChanged, const RestartOutcome& restart, int result) {
    const std::u16string& netId = inputs.netId;
    if (netId.empty()) {
        ReportOutcome(ZE_EVENT_NO_NET_ID, {inputs.settingsFile});
    } else if (restart.disable == ZE_ERR_NO_ADAPTER) {
        ReportOutcome(ZE_EVENT_ADAPTER_NOT_FOUND, {netId});
    } else if (result == ZE_ERR_ADAPTER_NOT_ENABLED) {
        ReportOutcome(ZE_EVENT_ADAPTER_STAYS_DISABLED, {netId});
    } else if (restart.leftDisabled) {
        ReportOutcome(ZE_EVENT_ADAPTER_LEFT_DISABLED, {netId});
    } else {
        std::u16string restarted = restart.disable != 0 ? u"not restarted"
                                   : result == ZE_EXIT_RESTART_NEEDED
                                       ? u"restarted, taking effect when Windows restarts"
                                       : u"restarted";
        ReportOutcome(ZE_EVENT_RESET_DONE, {country.empty() ? u"(none)" : country, netId,
                                            Format(u"%u", valuesChanged), restarted});
    }
}

}  // namespace

int RunResetSequence(const RunInputs& inputs, const std::function<void()>& stepDone) {
    auto done = [&] {
        if (stepDone) {
            stepDone();
        }
    };
    bool restartNeeded = false;
    bool ownStaysDisabled = false;
    int healed = HealInterruptedRestarts(inputs, &restartNeeded, &ownStaysDisabled);
    const std::u16string& netId = inputs.netId;
    ReportIfUnreadable(inputs.dataFile);
    unsigned changedBefore = RegValuesChanged();
    std::u16string country;
    ResetCountrySettings(netId, inputs.dataFile, inputs.country, &country);
    done();
    ResetDriverAdvanceKey(netId);
    done();
    // An adapter still disabled from an earlier run is not restarted: its state would
    // be taken for an administrator's choice.
    RestartOutcome restart;
    if (!ownStaysDisabled) {
        restart = RestartAdapter(inputs, done);
    } else {
        restart.disable = ZE_ERR_FAILED;
        done();
        done();
    }
    int result = restart.result != 0 ? restart.result : healed;
    if (result == 0 && (restartNeeded || restart.restartNeeded)) {
        LogPrint(
            u"[ZeRegionSvc] Windows must restart for the adapter to take its new "
            u"settings\r\n");
        result = ZE_EXIT_RESTART_NEEDED;
    }
    ReportResetOutcome(inputs, country, RegValuesChanged() - changedBefore, restart, result);
    return result;
}

}  // namespace ze
