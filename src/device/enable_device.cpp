#include "common/log.h"
#include "common/result_codes.h"
#include "device/device.h"
#include "device/net_devices.h"

namespace ze {

namespace {
// The waits before each further enable attempt: 3.75 seconds in all.
constexpr DWORD kEnableRetryWaits[] = {250, 500, 1000, 2000};
}  // namespace

int EnableDevice(int flag, std::u16string netId) {
    PresentNetDevices devices;
    if (devices.Error() != 0) {
        return devices.Error();
    }
    // Compared as a terminated text, as lstrcmpW would.
    const std::u16string wanted(netId.c_str());
    SP_DEVINFO_DATA device{};
    bool matched = devices.Find(
        [&](SP_DEVINFO_DATA& candidate) {
            std::optional<NetIdUnits> id = ReadNetId(devices.Set(), candidate);
            return id.has_value() && std::u16string(id->data()) == wanted;
        },
        &device);
    if (!matched) {
        LogPrint(u"[ZeRegionSvc] Device not found by Net ID!\r\n");
        return ZE_ERR_NO_ADAPTER;
    }

    SP_PROPCHANGE_PARAMS params{};
    params.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
    params.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
    params.StateChange = flag == 0 ? DICS_DISABLE : DICS_ENABLE;
    params.Scope = DICS_FLAG_GLOBAL;
    params.HwProfile = 0;  // not used under the global scope
    if (!OS().SetupDiSetClassInstallParamsW(devices.Set(), &device, &params.ClassInstallHeader,
                                            sizeof(params))) {
        LogPrint(u"[ZeRegionSvc] SetupDiSetClassInstallParams() return FALSE\r\n");
        return ZE_ERR_FAILED;
    }
    if (!OS().SetupDiCallClassInstaller(DIF_PROPERTYCHANGE, devices.Set(), &device)) {
        LogPrint(u"[ZeRegionSvc] SetupDiCallClassInstaller() return FALSE\r\n");
        return ZE_ERR_FAILED;
    }
    LogPrint(u"[ZeRegionSvc] EnableDevice(%d): success!\r\n", flag);
    return 0;
}

int EnableDeviceAgain(const std::u16string& netId) {
    int result = EnableDevice(1, netId);
    for (DWORD wait : kEnableRetryWaits) {
        if (result == 0) {
            return 0;
        }
        LogPrint(u"[ZeRegionSvc] Enabling the adapter again in %u ms\r\n", wait);
        OS().Sleep(wait);
        result = EnableDevice(1, netId);
    }
    if (result != 0) {
        LogPrint(u"[ZeRegionSvc] The adapter could not be enabled and stays disabled\r\n");
    }
    return result;
}

}  // namespace ze
