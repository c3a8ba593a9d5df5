#include <algorithm>

#include "common/log.h"
#include "common/result_codes.h"
#include "common/text.h"
#include "device/device.h"
#include "device/net_devices.h"

namespace ze {

namespace {
// True when the device's first (most specific) hardware ID, upper-cased, contains
// the upper-cased text. A device whose hardware ID cannot be read matches nothing.
bool FirstHardwareIdContains(HDEVINFO set, SP_DEVINFO_DATA& device,
                             const std::u16string& upperText) {
    DeviceProperty hardwareIds;
    if (!ReadDeviceProperty(set, device, SPDRP_HARDWAREID, &hardwareIds)) {
        return false;
    }
    std::u16string firstId(hardwareIds.units.data(),
                           BoundedLength(hardwareIds.units.data(), hardwareIds.units.size()));
    WcsUpr(firstId);
    return firstId.find(upperText) != std::u16string::npos;
}
}  // namespace

int FindNetIdByHwId(const char16_t* hardwareId, char16_t* netId) {
    PresentNetDevices devices;
    if (devices.Error() != 0) {
        return devices.Error();
    }
    // The text is taken whole, however long: a hardware ID fills at most the
    // 256-unit property buffer, so an overlong text matches no device.
    std::u16string upperText(hardwareId);
    WcsUpr(upperText);
    std::optional<NetIdUnits> found;
    SP_DEVINFO_DATA device{};
    bool matched = devices.Find(
        [&](SP_DEVINFO_DATA& candidate) {
            if (!FirstHardwareIdContains(devices.Set(), candidate, upperText)) {
                return false;
            }
            found = ReadNetId(devices.Set(), candidate);
            return found.has_value();
        },
        &device);
    if (!matched) {
        LogPrint(u"[ZeRegionSvc] Device not found by HW ID!\r\n");
        return ZE_ERR_FAILED;
    }
    std::copy(found->begin(), found->end(), netId);
    return 0;
}

}  // namespace ze
