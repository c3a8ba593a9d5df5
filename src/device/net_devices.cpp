#include "device/net_devices.h"

#include <algorithm>

#include "common/log.h"
#include "common/result_codes.h"
#include "common/text.h"

namespace ze {

PresentNetDevices::PresentNetDevices() {
    GUID classGuids[3] = {};
    DWORD guidCount = 0;
    // A machine without a "Net" class answers TRUE with no GUID at all; its first
    // list entry is then no class, so that case fails as the call itself would.
    if (!OS().SetupDiClassGuidsFromNameW(u"Net", classGuids, 3, &guidCount) || guidCount == 0) {
        LogPrint(u"[ZeRegionSvc] SetupDiClassGuidsFromName() return FALSE\r\n");
        error_ = ZE_ERR_FAILED;
        return;
    }
    *set_.put() = OS().SetupDiGetClassDevsW(&classGuids[0], nullptr, nullptr, DIGCF_PRESENT);
    if (set_.get() == INVALID_HANDLE_VALUE) {
        LogPrint(u"[ZeRegionSvc] SetupDiGetClassDevs() return INVALID_HANDLE_VALUE\r\n");
        error_ = ZE_ERR_NO_DEVICE_SET;
    }
}

bool PresentNetDevices::Find(const std::function<bool(SP_DEVINFO_DATA& device)>& matches,
                             SP_DEVINFO_DATA* device) {
    SP_DEVINFO_DATA candidate{};
    candidate.cbSize = sizeof(SP_DEVINFO_DATA);
    for (DWORD index = 0; OS().SetupDiEnumDeviceInfo(set_.get(), index, &candidate); ++index) {
        if (matches(candidate)) {
            *device = candidate;
            return true;
        }
    }
    return false;
}

bool ReadDeviceProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property,
                        DeviceProperty* value) {
    *value = DeviceProperty{};
    DWORD type = 0;
    DWORD size = 0;
    if (!OS().SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type,
                                                reinterpret_cast<BYTE*>(value->units.data()),
                                                sizeof(value->units), &size)) {
        value->units.fill(u'\0');
        return false;
    }
    value->bytes = size;
    return true;
}

std::optional<NetIdUnits> ReadNetId(HDEVINFO set, SP_DEVINFO_DATA& device) {
    DeviceProperty driver;
    if (!ReadDeviceProperty(set, device, SPDRP_DRIVER, &driver)) {
        return std::nullopt;
    }
    // The name ends at its terminator or, unterminated, at the reported size; both
    // lie within the buffer.
    std::size_t reported = std::min<std::size_t>(driver.bytes / 2, driver.units.size());
    std::size_t length = BoundedLength(driver.units.data(), reported);
    if (length < 4) {
        return std::nullopt;
    }
    NetIdUnits netId{};
    std::copy_n(driver.units.begin() + static_cast<std::ptrdiff_t>(length - 4), 4, netId.begin());
    return netId;
}

}  // namespace ze
