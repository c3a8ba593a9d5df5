// The present devices of the "Net" setup class, walked in SetupAPI's enumeration
// order. The hardware-ID lookup and the restart both find their device through it.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>

#include "platform/handles.h"

namespace ze {

class PresentNetDevices {
  public:
    // Builds the device information set; a failure is logged and kept in Error().
    PresentNetDevices();

    // 0 when the set was built, otherwise the failure's code (ZE_ERR_FAILED or
    // ZE_ERR_NO_DEVICE_SET).
    int Error() const { return error_; }
    HDEVINFO Set() const { return set_.get(); }

    // Walks the devices and stops at the first one `matches` accepts, which is then
    // left in *device. False when the walk ends without a match.
    bool Find(const std::function<bool(SP_DEVINFO_DATA& device)>& matches, SP_DEVINFO_DATA* device);

  private:
    UniqueDevInfo set_;
    int error_ = 0;
};

// A string property as SetupAPI returns it into a zero-filled 512-byte buffer.
struct DeviceProperty {
    std::array<char16_t, 256> units{};
    DWORD bytes = 0;  // the size the read reports, terminator included
};
// False when the property cannot be read; the buffer then stays empty.
bool ReadDeviceProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property,
                        DeviceProperty* value);

// The device's Net ID: the last four characters of its driver key name followed by
// the terminator, five units. Empty when the name cannot be read or is shorter than
// four characters, so that such a device is never taken for the adapter.
using NetIdUnits = std::array<char16_t, 5>;
std::optional<NetIdUnits> ReadNetId(HDEVINFO set, SP_DEVINFO_DATA& device);

}  // namespace ze
