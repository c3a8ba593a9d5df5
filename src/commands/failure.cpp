// What a failed command says at the console: one line on standard error, the result
// put in words. The routines that failed have logged it already.
#include "commands/commands.h"
#include "common/console.h"
#include "common/result_codes.h"
#include "common/text.h"
#include "service/service.h"

namespace ze {

namespace {

struct Reason {
    int result;
    const char16_t* text;
};

constexpr Reason kReasons[] = {
    {ZE_SVC_ERR_OPEN_SCMGR,
     u"the service control manager cannot be opened (administrative rights are needed)"},
    {ZE_SVC_ERR_CREATE_SVC, u"the service cannot be created, or its configuration changed"},
    {ZE_SVC_ERR_OPEN_SVC, u"the service cannot be opened (it may not be installed)"},
    {ZE_SVC_ERR_DELETE_SVC, u"the service cannot be deleted"},
    {ZE_SVC_ERR_START_SVC, u"the service cannot be started"},
    {ZE_SVC_ERR_CONTROL_SVC, u"the service cannot be stopped (it may not be running)"},
    {ZE_ERR_OPEN_KEY, u"the service's registry key cannot be opened"},
    {ZE_ERR_WRITE_VALUE, u"a value cannot be written"},
    {ZE_ERR_NO_DEVICE_SET, u"the network adapters cannot be listed"},
    {ZE_ERR_ADAPTER_NOT_ENABLED,
     u"the adapter was disabled for its restart and could not be enabled again"},
};

}  // namespace

std::u16string FailureReason(int result) {
    for (const Reason& reason : kReasons) {
        if (reason.result == result)
            return reason.text;
    }
    return u"it did not succeed";
}

int ReportFailure(std::u16string_view command, int result, std::u16string_view reason) {
    if (result != 0) {
        std::u16string why = reason.empty() ? FailureReason(result) : std::u16string(reason);
        PrintError(u"ZeRegionSvc: " + std::u16string(command) + u" failed: " + why +
                   Format(u" (%d)\r\n", result));
    }
    return result;
}

}  // namespace ze
