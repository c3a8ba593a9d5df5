// The registry calls of the simulated machine, with Windows' sizes, errors and
// access rules.
#include <algorithm>
#include <cstring>

#include "platform/registry_rules.h"
#include "platform/sim/sim_platform.h"

namespace ze::sim {
namespace {

constexpr REGSAM kWriteRights =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;

std::u16string JoinPath(const std::vector<std::u16string>& parts) {
    std::u16string path;
    for (const auto& part : parts) {
        if (!path.empty())
            path += u'\\';
        path += part;
    }
    return path;
}

std::u16string_view NameOrEmpty(LPCWSTR name) {
    return name == nullptr ? std::u16string_view() : std::u16string_view(name);
}

}  // namespace

bool SimPlatform::WriteAccessRefused(REGSAM access) const {
    return !settings_.administrator && (access & kWriteRights) != 0;
}

RegKey* SimPlatform::ResolveKey(HKEY handle, REGSAM needed, LONG* error) {
    if (handle == HKEY_LOCAL_MACHINE) {
        if (WriteAccessRefused(needed)) {
            *error = ERROR_ACCESS_DENIED;
            return nullptr;
        }
        return &registry_.Root();
    }
    auto it = keys_.find(handle);
    if (it == keys_.end()) {
        *error = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    if ((it->second.access & needed) != needed) {
        *error = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    RegKey* key = registry_.Find(JoinPath(it->second.path));
    if (key == nullptr)
        *error = ERROR_KEY_DELETED;
    return key;
}

LONG SimPlatform::KeyCall(const std::string& call, HKEY handle, REGSAM needed, bool modifies,
                          const std::function<LONG(RegKey&)>& body) {
    if (auto fault = DueFault(call))
        return *fault;
    return RegistryCall(modifies, [&]() -> LONG {
        LONG error = ERROR_SUCCESS;
        RegKey* key = ResolveKey(handle, needed, &error);
        return key == nullptr ? error : body(*key);
    });
}

LONG SimPlatform::OpenOrCreate(HKEY parent, LPCWSTR subKey, REGSAM access, bool create,
                               HKEY* result, DWORD* disposition) {
    if (result == nullptr)
        return ERROR_INVALID_PARAMETER;
    std::u16string_view sub = NameOrEmpty(subKey);
    if (!sub.empty() && sub.front() == u'\\')
        return ERROR_BAD_PATHNAME;
    LONG error = ERROR_SUCCESS;
    if (ResolveKey(parent, 0, &error) == nullptr)
        return error;
    if (WriteAccessRefused(access))
        return ERROR_ACCESS_DENIED;
    std::vector<std::u16string> path =
        parent == HKEY_LOCAL_MACHINE ? std::vector<std::u16string>{} : keys_[parent].path;
    for (auto& part : SplitKeyPath(sub))
        path.push_back(std::move(part));
    std::u16string fullPath = JoinPath(path);
    if (registry_.Find(fullPath) == nullptr) {
        if (!create)
            return ERROR_FILE_NOT_FOUND;
        // Each missing key on the way is created and journaled, as Windows creates them.
        std::vector<std::u16string> prefix;
        for (const auto& part : path) {
            prefix.push_back(part);
            bool created = false;
            registry_.Create(JoinPath(prefix), &created);
            if (created)
                Record("CreateKey", JoinPath(prefix));
        }
        if (disposition != nullptr)
            *disposition = REG_CREATED_NEW_KEY;
    } else if (disposition != nullptr) {
        *disposition = REG_OPENED_EXISTING_KEY;
    }
    std::vector<std::u16string> stored = SplitKeyPath(registry_.StoredPath(fullPath));
    HKEY handle = reinterpret_cast<HKEY>(NextHandleValue());
    keys_[handle] = KeyHandle{std::move(stored), access};
    *result = handle;
    return ERROR_SUCCESS;
}

LONG SimPlatform::RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM samDesired,
                                HKEY* phkResult) {
    if (auto fault = DueFault("RegOpenKeyExW"))
        return *fault;
    return RegistryCall(
        false, [&] { return OpenOrCreate(hKey, lpSubKey, samDesired, false, phkResult, nullptr); });
}

LONG SimPlatform::RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR, DWORD,
                                  REGSAM samDesired, void*, HKEY* phkResult,
                                  DWORD* lpdwDisposition) {
    if (auto fault = DueFault("RegCreateKeyExW"))
        return *fault;
    if (lpSubKey == nullptr)
        return ERROR_INVALID_PARAMETER;
    return RegistryCall(true, [&] {
        return OpenOrCreate(hKey, lpSubKey, samDesired, true, phkResult, lpdwDisposition);
    });
}

LONG SimPlatform::RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD*, DWORD* lpType,
                                   BYTE* lpData, DWORD* lpcbData) {
    return KeyCall("RegQueryValueExW", hKey, KEY_QUERY_VALUE, false, [&](RegKey& key) -> LONG {
        if (lpData != nullptr && lpcbData == nullptr)
            return ERROR_INVALID_PARAMETER;
        const RegValue* value = key.FindValue(NameOrEmpty(lpValueName));
        if (value == nullptr)
            return ERROR_FILE_NOT_FOUND;
        return CopyValueOut(value->type, value->data, lpType, lpData, lpcbData);
    });
}

LONG SimPlatform::RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType,
                                 const BYTE* lpData, DWORD cbData) {
    return KeyCall("RegSetValueExW", hKey, KEY_SET_VALUE, true, [&](RegKey& key) -> LONG {
        if (lpData == nullptr && cbData != 0)
            return ERROR_NOACCESS;
        DWORD count = StoredByteCount(dwType, lpData, cbData);
        std::vector<BYTE> data(lpData, lpData + count);
        std::u16string name(NameOrEmpty(lpValueName));
        key.SetValue(name, dwType, data);
        Record("SetValue",
               JoinPath(keys_.count(hKey) ? keys_[hKey].path : std::vector<std::u16string>{}), name,
               dwType, std::move(data));
        return ERROR_SUCCESS;
    });
}

LONG SimPlatform::RegQueryInfoKeyW(HKEY hKey, LPWSTR, DWORD* lpcchClass, DWORD*, DWORD* lpcSubKeys,
                                   DWORD* lpcbMaxSubKeyLen, DWORD* lpcbMaxClassLen,
                                   DWORD* lpcValues, DWORD* lpcbMaxValueNameLen,
                                   DWORD* lpcbMaxValueLen, DWORD* lpcbSecurityDescriptor,
                                   FILETIME* lpftLastWriteTime) {
    return KeyCall("RegQueryInfoKeyW", hKey, KEY_QUERY_VALUE, false, [&](RegKey& key) -> LONG {
        DWORD maxSubKey = 0;
        for (const auto& [name, child] : key.subkeys) {
            maxSubKey = std::max(maxSubKey, static_cast<DWORD>(child->name.size()));
        }
        DWORD maxName = 0;
        DWORD maxData = 0;
        for (const auto& value : key.values) {
            maxName = std::max(maxName, static_cast<DWORD>(value.name.size()));
            maxData = std::max(maxData, static_cast<DWORD>(value.data.size()));
        }
        if (lpcchClass != nullptr)
            *lpcchClass = 0;
        if (lpcSubKeys != nullptr)
            *lpcSubKeys = static_cast<DWORD>(key.subkeys.size());
        if (lpcbMaxSubKeyLen != nullptr)
            *lpcbMaxSubKeyLen = maxSubKey;
        if (lpcbMaxClassLen != nullptr)
            *lpcbMaxClassLen = 0;
        if (lpcValues != nullptr)
            *lpcValues = static_cast<DWORD>(key.values.size());
        if (lpcbMaxValueNameLen != nullptr)
            *lpcbMaxValueNameLen = maxName;
        if (lpcbMaxValueLen != nullptr)
            *lpcbMaxValueLen = maxData;
        if (lpcbSecurityDescriptor != nullptr)
            *lpcbSecurityDescriptor = 0;
        if (lpftLastWriteTime != nullptr)
            *lpftLastWriteTime = FILETIME{0, 0};
        return ERROR_SUCCESS;
    });
}

LONG SimPlatform::RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, DWORD* lpcchName, DWORD*,
                                LPWSTR, DWORD* lpcchClass, FILETIME* lpftLastWriteTime) {
    return KeyCall("RegEnumKeyExW", hKey, KEY_ENUMERATE_SUB_KEYS, false, [&](RegKey& key) -> LONG {
        if (lpName == nullptr || lpcchName == nullptr)
            return ERROR_INVALID_PARAMETER;
        if (dwIndex >= key.subkeys.size())
            return ERROR_NO_MORE_ITEMS;
        auto it = std::next(key.subkeys.begin(), dwIndex);
        const std::u16string& name = it->second->name;
        if (name.size() >= *lpcchName)
            return ERROR_MORE_DATA;
        std::copy(name.begin(), name.end(), lpName);
        lpName[name.size()] = u'\0';
        *lpcchName = static_cast<DWORD>(name.size());
        if (lpcchClass != nullptr)
            *lpcchClass = 0;
        if (lpftLastWriteTime != nullptr)
            *lpftLastWriteTime = FILETIME{0, 0};
        return ERROR_SUCCESS;
    });
}

LONG SimPlatform::RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, DWORD* lpcchValueName,
                                DWORD*, DWORD* lpType, BYTE* lpData, DWORD* lpcbData) {
    return KeyCall("RegEnumValueW", hKey, KEY_QUERY_VALUE, false, [&](RegKey& key) -> LONG {
        if (lpValueName == nullptr || lpcchValueName == nullptr)
            return ERROR_INVALID_PARAMETER;
        if (lpData != nullptr && lpcbData == nullptr)
            return ERROR_INVALID_PARAMETER;
        if (dwIndex >= key.values.size())
            return ERROR_NO_MORE_ITEMS;
        const RegValue& value = key.values[dwIndex];
        if (value.name.size() >= *lpcchValueName)
            return ERROR_MORE_DATA;
        std::copy(value.name.begin(), value.name.end(), lpValueName);
        lpValueName[value.name.size()] = u'\0';
        *lpcchValueName = static_cast<DWORD>(value.name.size());
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

LONG SimPlatform::RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
    if (auto fault = DueFault("RegDeleteKeyW"))
        return *fault;
    if (lpSubKey == nullptr)
        return ERROR_INVALID_PARAMETER;
    return RegistryCall(true, [&]() -> LONG {
        LONG error = ERROR_SUCCESS;
        if (ResolveKey(hKey, 0, &error) == nullptr)
            return error;
        if (!settings_.administrator)
            return ERROR_ACCESS_DENIED;
        std::vector<std::u16string> path =
            hKey == HKEY_LOCAL_MACHINE ? std::vector<std::u16string>{} : keys_[hKey].path;
        for (auto& part : SplitKeyPath(lpSubKey))
            path.push_back(std::move(part));
        std::u16string fullPath = JoinPath(path);
        RegKey* key = registry_.Find(fullPath);
        if (key == nullptr || path.empty())
            return ERROR_FILE_NOT_FOUND;
        // Windows refuses to delete a key that still has subkeys.
        if (!key->subkeys.empty())
            return ERROR_ACCESS_DENIED;
        std::u16string stored = registry_.StoredPath(fullPath);
        registry_.Delete(fullPath);
        Record("DeleteKey", stored);
        return ERROR_SUCCESS;
    });
}

LONG SimPlatform::RegCloseKey(HKEY hKey) {
    if (auto fault = DueFault("RegCloseKey"))
        return *fault;
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (hKey == HKEY_LOCAL_MACHINE)
        return ERROR_SUCCESS;
    return keys_.erase(hKey) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

}  // namespace ze::sim
