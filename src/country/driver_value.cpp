#include "country/driver_value.h"

#include "common/log.h"
#include "common/text.h"
#include "platform/handles.h"

namespace ze {

namespace {
constexpr DWORD kDriverTextBytes = 128;
}  // namespace

bool ReadDriverValue(const std::u16string& driverKeyPath, const char16_t* valueName, DWORD* type,
                     BYTE* data, DWORD* size, const char16_t* keyFailure,
                     const char16_t* valueFailure) {
    UniqueKey key;
    const char16_t* failure = nullptr;
    if (OS().RegOpenKeyExW(HKEY_LOCAL_MACHINE, driverKeyPath.c_str(), 0, KEY_READ, key.put()) !=
        ERROR_SUCCESS) {
        failure = keyFailure;
    } else if (OS().RegQueryValueExW(key.get(), valueName, nullptr, type, data, size) !=
               ERROR_SUCCESS) {
        failure = valueFailure;
    } else {
        return true;
    }
    if (failure != nullptr) {
        LogPrint(failure);
    }
    return false;
}

bool ReadDriverText(const std::u16string& driverKeyPath, const char16_t* valueName,
                    std::u16string* text) {
    char16_t buffer[kDriverTextBytes / 2] = {};
    DWORD type = 0;
    DWORD size = kDriverTextBytes;
    if (!ReadDriverValue(driverKeyPath, valueName, &type, reinterpret_cast<BYTE*>(buffer), &size)) {
        return false;
    }
    // An odd last byte still forms a unit with the buffer's zero above it.
    *text = std::u16string(buffer, BoundedLength(buffer, (size + 1) / 2));
    return true;
}

}  // namespace ze
