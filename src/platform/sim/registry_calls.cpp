// The registry calls of the simulated machine, with Windows' sizes, errors and
// access rules.
#include <algorithm>
#include <cstring>

#include "platform/registry_rules.h"
#include "platform/sim/registry_calls.h"

namespace ze::sim {
namespace {

constexpr REGSAM kWriteRights =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;

std::u16string_view NameOrEmpty(LPCWSTR name) {
    return name == nullptr ? std::u16string_view() : std::u16string_view(name);
}

}  // namespace

bool RegistryCalls::WriteAccessRefused(REGSAM access) const {
    return !machine_.Settings().administrator && (access & kWriteRights) != 0;
}

LONG RegistryCalls::ResolveKey(HKEY handle, REGSAM needed, KeyHandle* key) {
    if (handle == HKEY_LOCAL_MACHINE) {
        if (WriteAccessRefused(needed))
            return ERROR_ACCESS_DENIED;
        *key = KeyHandle{kRootKey, u"", KEY_ALL_ACCESS};
        return ERROR_SUCCESS;
    }
    auto it = keys_.find(handle);
    if (it == keys_.end())
        return ERROR_INVALID_HANDLE;
    if ((it->second.access & needed) != needed)
        return ERROR_ACCESS_DENIED;
    *key = it->second;
    return ERROR_SUCCESS;
}

LONG RegistryCalls::KeyCall(Call call, HKEY handle, REGSAM needed,
                            const std::function<LONG(const KeyHandle&)>& body) {
    if (auto fault = machine_.DueFault(call))
        return *fault;
    std::lock_guard<std::mutex> lock(mutex_);
    KeyHandle key{};
    if (LONG error = ResolveKey(handle, needed, &key))
        return error;
    return body(key);
}

LONG RegistryCalls::OpenOrCreate(HKEY parent, LPCWSTR subKey, REGSAM access, bool create,
                                 HKEY* result, DWORD* disposition) {
    if (result == nullptr)
        return ERROR_INVALID_PARAMETER;
    std::u16string_view sub = NameOrEmpty(subKey);
    if (!sub.empty() && sub.front() == u'\\')
        return ERROR_BAD_PATHNAME;
    std::lock_guard<std::mutex> lock(mutex_);
    KeyHandle from{};
    if (LONG error = ResolveKey(parent, 0, &from))
        return error;
    if (WriteAccessRefused(access))
        return ERROR_ACCESS_DENIED;
    KeyId key = 0;
    LONG error = machine_.Registry().OpenPath(from.key, sub, &key);
    if (error == ERROR_FILE_NOT_FOUND && create) {
        // Each missing key on the way is created and journaled, as Windows creates them.
        std::vector<std::u16string> created;
        error = machine_.Registry().CreatePath(from.key, sub, &key, &created);
        for (const auto& path : created)
            machine_.Record("CreateKey", path);
        if (error == ERROR_SUCCESS && disposition != nullptr)
            *disposition = REG_CREATED_NEW_KEY;
    } else if (error == ERROR_SUCCESS && disposition != nullptr) {
        *disposition = REG_OPENED_EXISTING_KEY;
    }
    std::u16string path;
    if (error == ERROR_SUCCESS)
        error = machine_.Registry().PathOf(key, &path);
    if (error != ERROR_SUCCESS)
        return error;
    HKEY handle = reinterpret_cast<HKEY>(machine_.NextHandleValue());
    keys_[handle] = KeyHandle{key, std::move(path), access};
    *result = handle;
    return ERROR_SUCCESS;
}

LONG RegistryCalls::RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM samDesired,
                                  HKEY* phkResult) {
    if (auto fault = machine_.DueFault(Call::RegOpenKeyExW))
        return *fault;
    return OpenOrCreate(hKey, lpSubKey, samDesired, false, phkResult, nullptr);
}

LONG RegistryCalls::RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR, DWORD,
                                    REGSAM samDesired, void*, HKEY* phkResult,
                                    DWORD* lpdwDisposition) {
    if (auto fault = machine_.DueFault(Call::RegCreateKeyExW))
        return *fault;
    if (lpSubKey == nullptr)
        return ERROR_INVALID_PARAMETER;
    return OpenOrCreate(hKey, lpSubKey, samDesired, true, phkResult, lpdwDisposition);
}

LONG RegistryCalls::RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD*, DWORD* lpType,
                                     BYTE* lpData, DWORD* lpcbData) {
    return KeyCall(
        Call::RegQueryValueExW, hKey, KEY_QUERY_VALUE, [&](const KeyHandle& key) -> LONG {
            if (lpData != nullptr && lpcbData == nullptr)
                return ERROR_INVALID_PARAMETER;
            RegValue value;
            if (LONG error =
                    machine_.Registry().QueryValue(key.key, NameOrEmpty(lpValueName), &value))
                return error;
            return CopyValueOut(value.type, value.data, lpType, lpData, lpcbData);
        });
}

LONG RegistryCalls::RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType,
                                   const BYTE* lpData, DWORD cbData) {
    return KeyCall(Call::RegSetValueExW, hKey, KEY_SET_VALUE, [&](const KeyHandle& key) -> LONG {
        if (lpData == nullptr && cbData != 0)
            return ERROR_NOACCESS;
        DWORD count = StoredByteCount(dwType, lpData, cbData);
        std::vector<BYTE> data(lpData, lpData + count);
        std::u16string name(NameOrEmpty(lpValueName));
        if (LONG error = machine_.Registry().SetValue(key.key, name, dwType, data))
            return error;
        machine_.Record("SetValue", key.path, name, dwType, std::move(data));
        return ERROR_SUCCESS;
    });
}

LONG RegistryCalls::RegQueryInfoKeyW(HKEY hKey, LPWSTR, DWORD* lpcchClass, DWORD*,
                                     DWORD* lpcSubKeys, DWORD* lpcbMaxSubKeyLen,
                                     DWORD* lpcbMaxClassLen, DWORD* lpcValues,
                                     DWORD* lpcbMaxValueNameLen, DWORD* lpcbMaxValueLen,
                                     DWORD* lpcbSecurityDescriptor, FILETIME* lpftLastWriteTime) {
    return KeyCall(Call::RegQueryInfoKeyW, hKey, KEY_QUERY_VALUE,
                   [&](const KeyHandle& key) -> LONG {
                       KeyInfo info;
                       if (LONG error = machine_.Registry().QueryInfo(key.key, &info))
                           return error;
                       if (lpcchClass != nullptr)
                           *lpcchClass = 0;
                       if (lpcSubKeys != nullptr)
                           *lpcSubKeys = info.subkeys;
                       if (lpcbMaxSubKeyLen != nullptr)
                           *lpcbMaxSubKeyLen = info.maxSubkeyLength;
                       if (lpcbMaxClassLen != nullptr)
                           *lpcbMaxClassLen = 0;
                       if (lpcValues != nullptr)
                           *lpcValues = info.values;
                       if (lpcbMaxValueNameLen != nullptr)
                           *lpcbMaxValueNameLen = info.maxValueNameLength;
                       if (lpcbMaxValueLen != nullptr)
                           *lpcbMaxValueLen = info.maxValueSize;
                       if (lpcbSecurityDescriptor != nullptr)
                           *lpcbSecurityDescriptor = 0;
                       if (lpftLastWriteTime != nullptr)
                           *lpftLastWriteTime = FILETIME{0, 0};
                       return ERROR_SUCCESS;
                   });
}

LONG RegistryCalls::RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, DWORD* lpcchName, DWORD*,
                                  LPWSTR, DWORD* lpcchClass, FILETIME* lpftLastWriteTime) {
    return KeyCall(
        Call::RegEnumKeyExW, hKey, KEY_ENUMERATE_SUB_KEYS, [&](const KeyHandle& key) -> LONG {
            if (lpName == nullptr || lpcchName == nullptr)
                return ERROR_INVALID_PARAMETER;
            std::u16string name;
            if (LONG error = machine_.Registry().EnumKey(key.key, dwIndex, &name))
                return error;
            return CopyEnumKeyOut(name, lpName, lpcchName, lpcchClass, lpftLastWriteTime);
        });
}

LONG RegistryCalls::RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName,
                                  DWORD* lpcchValueName, DWORD*, DWORD* lpType, BYTE* lpData,
                                  DWORD* lpcbData) {
    return KeyCall(Call::RegEnumValueW, hKey, KEY_QUERY_VALUE, [&](const KeyHandle& key) -> LONG {
        if (lpValueName == nullptr || lpcchValueName == nullptr)
            return ERROR_INVALID_PARAMETER;
        if (lpData != nullptr && lpcbData == nullptr)
            return ERROR_INVALID_PARAMETER;
        RegValue value;
        if (LONG error = machine_.Registry().EnumValue(key.key, dwIndex, &value))
            return error;
        if (LONG error = CopyNameOut(value.name, lpValueName, lpcchValueName))
            return error;
        // A data buffer that is too small still receives the name (as on Wine).
        DWORD size = static_cast<DWORD>(value.data.size());
        if (lpData != nullptr && *lpcbData < size) {
            *lpcbData = size;
            return ERROR_MORE_DATA;
        }
        if (lpType != nullptr)
            *lpType = value.type;
        if (lpData != nullptr)
            std::copy(value.data.begin(), value.data.end(), lpData);
        if (lpcbData != nullptr)
            *lpcbData = size;
        return ERROR_SUCCESS;
    });
}

LONG RegistryCalls::RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
    if (auto fault = machine_.DueFault(Call::RegDeleteKeyW))
        return *fault;
    if (lpSubKey == nullptr)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(mutex_);
    KeyHandle from{};
    if (LONG error = ResolveKey(hKey, 0, &from))
        return error;
    if (!machine_.Settings().administrator)
        return ERROR_ACCESS_DENIED;
    KeyId key = 0;
    if (LONG error = machine_.Registry().OpenPath(from.key, lpSubKey, &key))
        return error;
    if (key == kRootKey)
        return ERROR_FILE_NOT_FOUND;
    std::u16string stored;
    if (LONG error = machine_.Registry().PathOf(key, &stored))
        return error;
    // Windows refuses to delete a key that still has subkeys (ERROR_ACCESS_DENIED).
    if (LONG error = machine_.Registry().DeleteKey(key, false))
        return error;
    machine_.Record("DeleteKey", stored);
    return ERROR_SUCCESS;
}

// An injected failure is reported after the key is closed, as every failed close.
LONG RegistryCalls::RegCloseKey(HKEY hKey) {
    std::optional<LONG> fault = machine_.DueFault(Call::RegCloseKey);
    std::lock_guard<std::mutex> lock(mutex_);
    if (hKey != HKEY_LOCAL_MACHINE && keys_.erase(hKey) != 1)
        return ERROR_INVALID_HANDLE;
    return fault.value_or(ERROR_SUCCESS);
}

}  // namespace ze::sim
