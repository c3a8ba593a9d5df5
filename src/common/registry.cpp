#include "common/registry.h"

#include <algorithm>
#include <atomic>
#include <vector>

#include "common/log.h"
#include "common/text.h"
#include "platform/handles.h"
#include "platform/registry_rules.h"

namespace ze {

std::u16string DriverKeyPath(const std::u16string& netId) {
    return Format(u"%s\\%s", kNetClassKeyPath, netId.c_str());
}

namespace {

std::atomic<unsigned> g_nRegValuesChanged{0};

// Whether the key already holds what RegSetValueExW would store for this data (the
// counted bytes, and the terminator that follows a string's in memory), so that the
// write changes nothing. One query: a larger stored value does not fit the buffer.
bool HoldsValue(HKEY key, const std::u16string& name, DWORD type, const BYTE* data, DWORD size) {
    DWORD storedSize = StoredByteCount(type, data, size);
    std::vector<BYTE> old(storedSize);
    DWORD oldType = 0;
    DWORD oldSize = storedSize;
    return OS().RegQueryValueExW(key, name.c_str(), nullptr, &oldType, old.data(), &oldSize) ==
               ERROR_SUCCESS &&
           oldType == type && oldSize == storedSize && std::equal(old.begin(), old.end(), data);
}

}  // namespace

unsigned RegValuesChanged() {
    return g_nRegValuesChanged;
}

bool WriteRegValue(std::u16string keyPath, std::u16string valueName, DWORD type, const BYTE* data,
                   DWORD byteCount) {
    UniqueKey key;
    DWORD disposition = 0;
    if (OS().RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr,
                             REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, key.put(),
                             &disposition) != ERROR_SUCCESS) {
        LogPrint(u"[ZeRegionSvc] Open Key Failed!\r\n");
        return false;
    }
    bool unchanged = HoldsValue(key.get(), valueName, type, data, byteCount);
    if (OS().RegSetValueExW(key.get(), valueName.c_str(), 0, type, data, byteCount) !=
        ERROR_SUCCESS) {
        LogPrint(u"[ZeRegionSvc] Write Registry Failed\r\n");
        return false;
    }
    if (!unchanged)
        ++g_nRegValuesChanged;
    if (type == REG_SZ) {
        std::u16string text(reinterpret_cast<const char16_t*>(data), byteCount / 2);
        LogPrint(u"[ZeRegionSvc] Write Registry Data=%s\r\n", text.c_str());
    } else if (type == REG_DWORD) {
        // Only the bytes written make up the number logged.
        DWORD value = 0;
        for (DWORD i = std::min<DWORD>(byteCount, 4); i-- > 0;) {
            value = (value << 8) | data[i];
        }
        LogPrint(u"[ZeRegionSvc] Write Registry Data=%X\r\n", value);
    }
    return true;
}

bool WriteRegString(std::u16string keyPath, std::u16string valueName, std::u16string text) {
    return WriteRegValue(std::move(keyPath), std::move(valueName), REG_SZ,
                         reinterpret_cast<const BYTE*>(text.c_str()),
                         static_cast<DWORD>(text.size() * 2));
}

bool WriteRegDword(std::u16string keyPath, std::u16string valueName, DWORD value) {
    BYTE bytes[4] = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8),
                     static_cast<BYTE>(value >> 16), static_cast<BYTE>(value >> 24)};
    return WriteRegValue(std::move(keyPath), std::move(valueName), REG_DWORD, bytes, 4);
}

LONG QueryRegValue(const std::u16string& keyPath, const char16_t* valueName, DWORD* type,
                   BYTE* data, DWORD* size, bool* keyOpened) {
    UniqueKey key;
    LONG result = OS().RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ, key.put());
    if (keyOpened != nullptr) {
        *keyOpened = result == ERROR_SUCCESS;
    }
    if (result != ERROR_SUCCESS) {
        return result;
    }
    return OS().RegQueryValueExW(key.get(), valueName, nullptr, type, data, size);
}

}  // namespace ze
