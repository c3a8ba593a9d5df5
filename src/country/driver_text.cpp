#include "country/driver_text.h"

#include "common/registry.h"
#include "common/text.h"

namespace ze {

namespace {
constexpr DWORD kDriverTextBytes = 128;
}  // namespace

bool ReadDriverText(const std::u16string& driverKeyPath, const char16_t* valueName,
                    std::u16string* text) {
    char16_t buffer[kDriverTextBytes / 2] = {};
    DWORD type = 0;
    DWORD size = kDriverTextBytes;
    if (QueryRegValue(driverKeyPath, valueName, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
        ERROR_SUCCESS) {
        return false;
    }
    // An odd last byte still forms a unit with the buffer's zero above it.
    *text = std::u16string(buffer, BoundedLength(buffer, (size + 1) / 2));
    return true;
}

}  // namespace ze
