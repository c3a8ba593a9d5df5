#include "common/log.h"
#include "common/result_codes.h"
#include "device/device.h"
#include "device/net_devices.h"

namespace ze {

namespace {
// The waits before each further enable attempt: 3.75 seconds in all.
constexpr DWORD kEnableRetryWaits[] = {250, 500, 1000, 2000};

// Finds the present adapter whose Net ID is netId, compared as a terminated text, as
// lstrcmpW would. Logs and returns ZE_ERR_NO_ADAPTER when none has it.
int FindAdapter(PresentNetDevices& devices, const std::u16string& netId, SP_DEVINFO_DATA* device) {
    if (devices.Error() != 0) {
        return devices.Error();
    }
    const std::u16string wanted(netId.c_str());
    bool matched = devices.Find(
        [&](SP_DEVINFO_DATA& candidate) {
            std::optional<NetIdUnits> id = ReadNetId(devices.Set(), candidate);
            return id.has_value() && std::u16string(id->data()) == wanted;
        },
        device);
    if (!matched) {
        LogPrint(u"[ZeRegionSvc] Device not found by Net ID!\r\n");
        return ZE_ERR_NO_ADAPTER;
    }
    return 0;
}

// After a change through the class installer, whether the computer must restart for
// it to take effect: a device that vetoes its stop keeps running with its old values.
// A parameter read that fails is logged and taken as no restart asked for.
bool ChangeNeedsRestart(HDEVINFO set, SP_DEVINFO_DATA& device, int flag) {
    SP_DEVINSTALL_PARAMS_W params{};
    params.cbSize = sizeof(params);
    if (!OS().SetupDiGetDeviceInstallParamsW(set, &device, &params)) {
        LogPrint(u"[ZeRegionSvc] SetupDiGetDeviceInstallParams() return FALSE\r\n");
        return false;
    }
    if ((params.Flags & (DI_NEEDRESTART | DI_NEEDREBOOT)) == 0) {
        return false;
    }
    LogPrint(
        u"[ZeRegionSvc] EnableDevice(%d): Windows must restart for the change to take "
        u"effect\r\n",
        flag);
    return true;
}
}  // namespace

int QueryDeviceDisabled(const std::u16string& netId, bool* disabled) {
    PresentNetDevices devices;
    SP_DEVINFO_DATA device{};
    if (int found = FindAdapter(devices, netId, &device); found != 0) {
        return found;
    }
    DWORD type = 0;
    DWORD flags = 0;
    if (!OS().SetupDiGetDeviceRegistryPropertyW(devices.Set(), &device, SPDRP_CONFIGFLAGS, &type,
                                                reinterpret_cast<BYTE*>(&flags), sizeof(flags),
                                                nullptr)) {
        // A device without ConfigFlags has none set.
        if (OS().GetLastError() != static_cast<DWORD>(ERROR_INVALID_DATA)) {
            LogPrint(u"[ZeRegionSvc] The adapter's state cannot be read\r\n");
            return ZE_ERR_FAILED;
        }
        flags = 0;
    }
    *disabled = (flags & CONFIGFLAG_DISABLED) != 0;
    return 0;
}

int EnableDevice(int flag, std::u16string netId, bool* restartNeeded) {
    PresentNetDevices devices;
    SP_DEVINFO_DATA device{};
    if (int found = FindAdapter(devices, netId, &device); found != 0) {
        return found;
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
    if (ChangeNeedsRestart(devices.Set(), device, flag) && restartNeeded != nullptr) {
        *restartNeeded = true;
    }
    return 0;
}

int EnableDeviceAgain(const std::u16string& netId, bool* restartNeeded) {
    int result = EnableDevice(1, netId, restartNeeded);
    for (DWORD wait : kEnableRetryWaits) {
        if (result == 0) {
            return 0;
        }
        LogPrint(u"[ZeRegionSvc] Enabling the adapter again in %u ms\r\n", wait);
        OS().Sleep(wait);
        result = EnableDevice(1, netId, restartNeeded);
    }
    if (result != 0) {
        LogPrint(u"[ZeRegionSvc] The adapter could not be enabled and stays disabled\r\n");
    }
    return result;
}

}  // namespace ze
