#include "country/driver_value.h"

#include "common/log.h"
#include "common/registry.h"
#include "common/text.h"

namespace ze {

namespace {
constexpr DWORD kDriverTextBytes = 128;
}  // namespace

bool ReadDriverValue(const std::u16string& driverKeyPath, const char16_t* valueName, DWORD* type,
                     BYTE* data, DWORD* size, const char16_t* keyFailure,
                     const char16_t* valueFailure) {
    bool keyOpened = false;
    if (QueryRegValue(driverKeyPath, valueName, type, data, size, &keyOpened) == ERROR_SUCCESS) {
        return true;
    }
    const char16_t* failure = keyOpened ? valueFailure : keyFailure;
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
