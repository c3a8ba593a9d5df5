// The registry of the dry-run layer: keys the run touched are copied from the machine
// on first touch and answered from the copy from then on; untouched keys are the
// machine's.
#include <algorithm>

#include "platform/dryrun/dry_run_platform.h"
#include "platform/names.h"
#include "platform/registry_rules.h"

namespace ze {

namespace {

template <typename Entry>
auto FindName(std::vector<Entry>& entries, std::u16string_view name) {
    return std::find_if(entries.begin(), entries.end(),
                        [&](const Entry& entry) { return EqualsIgnoreCase(entry.name, name); });
}

constexpr REGSAM kReadOnly = KEY_READ;
constexpr REGSAM kWriteRights =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | DELETE | WRITE_DAC | WRITE_OWNER;

}  // namespace

DryRunPlatform::DryRunPlatform(Platform& machine) : PlatformDecorator(machine) {}

DryRunPlatform::~DryRunPlatform() {
    for (auto& [handle, open] : handles_) {
        if (open.machineKey != nullptr)
            Inner().RegCloseKey(open.machineKey);
    }
}

DryRunPlatform::Key* DryRunPlatform::Touched(const std::u16string& path) {
    auto it = keys_.find(FoldedName(path));
    return it == keys_.end() ? nullptr : &it->second;
}

const DryRunPlatform::Key* DryRunPlatform::Touched(const std::u16string& path) const {
    auto it = keys_.find(FoldedName(path));
    return it == keys_.end() ? nullptr : &it->second;
}

DryRunPlatform::Key& DryRunPlatform::Touch(const std::u16string& path) {
    if (Key* key = Touched(path))
        return *key;
    Key key;
    key.path = path;
    // Spelt as the parent lists it, when the run has the parent's list.
    if (const Key* parent = Touched(ParentKeyPath(path)); parent != nullptr && !path.empty()) {
        std::u16string leaf = LeafKeyName(path);
        for (const std::u16string& name : parent->subkeys) {
            if (EqualsIgnoreCase(name, leaf))
                key.path = JoinKeyPath(parent->path, name);
        }
    }
    HKEY machineKey = nullptr;
    if (Inner().RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, kReadOnly, &machineKey) ==
        ERROR_SUCCESS) {
        key.existedBefore = true;
        DWORD subkeyCount = 0, maxSubkey = 0, valueCount = 0, maxName = 0, maxData = 0;
        Inner().RegQueryInfoKeyW(machineKey, nullptr, nullptr, nullptr, &subkeyCount, &maxSubkey,
                                 nullptr, &valueCount, &maxName, &maxData, nullptr, nullptr);
        std::u16string name(std::max(maxSubkey, maxName) + 1, u'\0');
        for (DWORD i = 0; i < subkeyCount; ++i) {
            DWORD chars = static_cast<DWORD>(name.size());
            if (Inner().RegEnumKeyExW(machineKey, i, name.data(), &chars, nullptr, nullptr, nullptr,
                                      nullptr) == ERROR_SUCCESS)
                key.subkeys.emplace_back(name.data(), chars);
        }
        std::vector<BYTE> data(maxData);
        for (DWORD i = 0; i < valueCount; ++i) {
            DWORD chars = static_cast<DWORD>(name.size());
            DWORD type = 0;
            DWORD size = maxData;
            if (Inner().RegEnumValueW(machineKey, i, name.data(), &chars, nullptr, &type,
                                      data.data(), &size) == ERROR_SUCCESS)
                key.before.push_back({std::u16string(name.data(), chars),
                                      {type, {data.begin(), data.begin() + size}}});
        }
        Inner().RegCloseKey(machineKey);
    }
    key.exists = key.existedBefore;
    key.values = key.before;
    return keys_.emplace(FoldedName(path), std::move(key)).first->second;
}

bool DryRunPlatform::ExistsInView(const std::u16string& path) {
    if (path.empty())
        return true;
    if (const Key* key = Touched(path))
        return key->exists;
    return MachineHas(path);
}

bool DryRunPlatform::MachineHas(const std::u16string& path) {
    if (path.empty())
        return true;
    HKEY machineKey = nullptr;
    if (Inner().RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, kReadOnly, &machineKey) !=
        ERROR_SUCCESS)
        return false;
    Inner().RegCloseKey(machineKey);
    return true;
}

LONG DryRunPlatform::ResolvePath(HKEY parent, LPCWSTR subKey, std::u16string* path) const {
    std::u16string_view sub =
        subKey == nullptr ? std::u16string_view() : std::u16string_view(subKey);
    if (!sub.empty() && sub.front() == u'\\')
        return ERROR_BAD_PATHNAME;
    if (parent == HKEY_LOCAL_MACHINE) {
        *path = NormalisedKeyPath(sub);
        return ERROR_SUCCESS;
    }
    auto it = handles_.find(parent);
    if (it == handles_.end())
        return ERROR_INVALID_HANDLE;
    *path = NormalisedKeyPath(it->second.path + u"\\" + std::u16string(sub));
    return ERROR_SUCCESS;
}

LONG DryRunPlatform::ProbeAccess(const char16_t* call, const std::u16string& path, REGSAM access) {
    // A key only the run has: the machine's nearest existing ancestor decides.
    std::u16string probe = path;
    while (!probe.empty()) {
        const Key* key = Touched(probe);
        if (key != nullptr ? key->existedBefore : MachineHas(probe))
            break;
        probe = ParentKeyPath(probe);
    }
    HKEY opened = nullptr;
    LONG result = Inner().RegOpenKeyExW(HKEY_LOCAL_MACHINE, probe.c_str(), 0, access, &opened);
    if (result == ERROR_SUCCESS)
        Inner().RegCloseKey(opened);
    else if ((access & kWriteRights) != 0)
        Refuse(call, u"HKLM\\" + path, result);
    return result;
}

LONG DryRunPlatform::OpenInView(const char16_t* call, const std::u16string& path, REGSAM access,
                                HKEY* result) {
    if (LONG probe = ProbeAccess(call, path, access); probe != ERROR_SUCCESS)
        return probe;
    auto handle = reinterpret_cast<HKEY>(NewHandleValue());
    handles_[handle] = Handle{path, access, nullptr};
    *result = handle;
    return ERROR_SUCCESS;
}

LONG DryRunPlatform::RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM samDesired,
                                   HKEY* phkResult) {
    if (phkResult == nullptr)
        return ERROR_INVALID_PARAMETER;
    std::u16string path;
    if (LONG error = ResolvePath(hKey, lpSubKey, &path); error != ERROR_SUCCESS)
        return error;
    if (const Key* key = Touched(path); key != nullptr && !key->exists)
        return ERROR_FILE_NOT_FOUND;
    if (Touched(path) == nullptr) {
        // The machine answers for a key the run has not touched, errors included.
        HKEY machineKey = nullptr;
        LONG result =
            Inner().RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, samDesired, &machineKey);
        if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND &&
            (samDesired & kWriteRights) != 0)
            Refuse(u"RegOpenKeyExW", u"HKLM\\" + path, result);
        if (result != ERROR_SUCCESS)
            return result;
        auto handle = reinterpret_cast<HKEY>(NewHandleValue());
        handles_[handle] = Handle{path, samDesired, machineKey};
        *phkResult = handle;
        return ERROR_SUCCESS;
    }
    return OpenInView(u"RegOpenKeyExW", path, samDesired, phkResult);
}

void DryRunPlatform::AddSubkey(const std::u16string& parentPath, const std::u16string& name) {
    std::vector<std::u16string>& subkeys = Touch(parentPath).subkeys;
    subkeys.insert(std::lower_bound(subkeys.begin(), subkeys.end(), name, KeyNameLess), name);
}

void DryRunPlatform::RemoveSubkey(const std::u16string& parentPath, const std::u16string& name) {
    std::vector<std::u16string>& subkeys = Touch(parentPath).subkeys;
    std::erase_if(subkeys, [&](const std::u16string& s) { return EqualsIgnoreCase(s, name); });
}

void DryRunPlatform::CreateInView(const std::u16string& path) {
    if (path.empty() || ExistsInView(path))
        return;
    CreateInView(ParentKeyPath(path));
    Key& key = Touch(path);
    key.exists = true;
    key.values.clear();
    key.subkeys.clear();
    AddSubkey(ParentKeyPath(path), LeafKeyName(path));
}

LONG DryRunPlatform::RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR, DWORD,
                                     REGSAM samDesired, void*, HKEY* phkResult,
                                     DWORD* lpdwDisposition) {
    if (lpSubKey == nullptr || phkResult == nullptr)
        return ERROR_INVALID_PARAMETER;
    std::u16string path;
    if (LONG error = ResolvePath(hKey, lpSubKey, &path); error != ERROR_SUCCESS)
        return error;
    bool existed = ExistsInView(path);
    if (!existed) {
        // Creating asks the machine's nearest existing ancestor for the access.
        if (LONG probe = ProbeAccess(u"RegCreateKeyExW", path, samDesired | KEY_CREATE_SUB_KEY);
            probe != ERROR_SUCCESS)
            return probe;
        CreateInView(path);
    }
    LONG result = existed && Touched(path) == nullptr
                      ? RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, samDesired, phkResult)
                      : OpenInView(u"RegCreateKeyExW", path, samDesired, phkResult);
    if (result == ERROR_SUCCESS && lpdwDisposition != nullptr)
        *lpdwDisposition = existed ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
    return result;
}

DryRunPlatform::Key* DryRunPlatform::ViewOf(HKEY hKey, Handle** handle, LONG* error) {
    auto it = handles_.find(hKey);
    if (it == handles_.end()) {
        *error = ERROR_INVALID_HANDLE;
        *handle = nullptr;
        return nullptr;
    }
    *handle = &it->second;
    *error = ERROR_SUCCESS;
    return Touched(it->second.path);
}

LONG DryRunPlatform::RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD* lpReserved,
                                      DWORD* lpType, BYTE* lpData, DWORD* lpcbData) {
    return ReadKey(
        hKey, KEY_QUERY_VALUE,
        [&](HKEY machineKey) {
            return Inner().RegQueryValueExW(machineKey, lpValueName, lpReserved, lpType, lpData,
                                            lpcbData);
        },
        [&](Key& key) -> LONG {
            if (lpData != nullptr && lpcbData == nullptr)
                return ERROR_INVALID_PARAMETER;
            auto value = FindName(key.values, lpValueName == nullptr ? u"" : lpValueName);
            if (value == key.values.end())
                return ERROR_FILE_NOT_FOUND;
            return CopyValueOut(value->data.type, value->data.bytes, lpType, lpData, lpcbData);
        });
}

LONG DryRunPlatform::RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType,
                                    const BYTE* lpData, DWORD cbData) {
    auto it = handles_.find(hKey);
    if (it == handles_.end())
        return ERROR_INVALID_HANDLE;
    if ((it->second.access & KEY_SET_VALUE) == 0)
        return ERROR_ACCESS_DENIED;
    if (lpData == nullptr && cbData != 0)
        return ERROR_NOACCESS;
    Key& key = Touch(it->second.path);
    if (!key.exists)
        return ERROR_KEY_DELETED;
    DWORD count = lpData == nullptr ? 0 : StoredByteCount(dwType, lpData, cbData);
    RegData data{dwType, std::vector<BYTE>(lpData, lpData + count)};
    std::u16string name = lpValueName == nullptr ? u"" : lpValueName;
    writes_.push_back({it->second.path, name, data});
    auto value = FindName(key.values, name);
    if (value != key.values.end()) {
        value->data = std::move(data);
    } else {
        key.values.push_back({name, std::move(data)});
    }
    return ERROR_SUCCESS;
}

LONG DryRunPlatform::RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, DWORD* lpcchClass,
                                      DWORD* lpReserved, DWORD* lpcSubKeys, DWORD* lpcbMaxSubKeyLen,
                                      DWORD* lpcbMaxClassLen, DWORD* lpcValues,
                                      DWORD* lpcbMaxValueNameLen, DWORD* lpcbMaxValueLen,
                                      DWORD* lpcbSecurityDescriptor, FILETIME* lpftLastWriteTime) {
    return ReadKey(
        hKey, KEY_QUERY_VALUE,
        [&](HKEY machineKey) {
            return Inner().RegQueryInfoKeyW(machineKey, lpClass, lpcchClass, lpReserved, lpcSubKeys,
                                            lpcbMaxSubKeyLen, lpcbMaxClassLen, lpcValues,
                                            lpcbMaxValueNameLen, lpcbMaxValueLen,
                                            lpcbSecurityDescriptor, lpftLastWriteTime);
        },
        [&](Key& key) -> LONG {
            DWORD maxSubkey = 0, maxName = 0, maxData = 0;
            for (const auto& name : key.subkeys)
                maxSubkey = std::max(maxSubkey, static_cast<DWORD>(name.size()));
            for (const auto& value : key.values) {
                maxName = std::max(maxName, static_cast<DWORD>(value.name.size()));
                maxData = std::max(maxData, static_cast<DWORD>(value.data.bytes.size()));
            }
            auto set = [](DWORD* out, DWORD value) {
                if (out != nullptr)
                    *out = value;
            };
            set(lpcchClass, 0);
            set(lpcSubKeys, static_cast<DWORD>(key.subkeys.size()));
            set(lpcbMaxSubKeyLen, maxSubkey);
            set(lpcbMaxClassLen, 0);
            set(lpcValues, static_cast<DWORD>(key.values.size()));
            set(lpcbMaxValueNameLen, maxName);
            set(lpcbMaxValueLen, maxData);
            set(lpcbSecurityDescriptor, 0);
            if (lpftLastWriteTime != nullptr)
                *lpftLastWriteTime = FILETIME{0, 0};
            return ERROR_SUCCESS;
        });
}

LONG DryRunPlatform::RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, DWORD* lpcchName,
                                   DWORD* lpReserved, LPWSTR lpClass, DWORD* lpcchClass,
                                   FILETIME* lpftLastWriteTime) {
    return ReadKey(
        hKey, KEY_ENUMERATE_SUB_KEYS,
        [&](HKEY machineKey) {
            return Inner().RegEnumKeyExW(machineKey, dwIndex, lpName, lpcchName, lpReserved,
                                         lpClass, lpcchClass, lpftLastWriteTime);
        },
        [&](Key& key) -> LONG {
            if (lpName == nullptr || lpcchName == nullptr)
                return ERROR_INVALID_PARAMETER;
            if (dwIndex >= key.subkeys.size())
                return ERROR_NO_MORE_ITEMS;
            return CopyEnumKeyOut(key.subkeys[dwIndex], lpName, lpcchName, lpcchClass,
                                  lpftLastWriteTime);
        });
}

LONG DryRunPlatform::RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName,
                                   DWORD* lpcchValueName, DWORD* lpReserved, DWORD* lpType,
                                   BYTE* lpData, DWORD* lpcbData) {
    return ReadKey(
        hKey, KEY_QUERY_VALUE,
        [&](HKEY machineKey) {
            return Inner().RegEnumValueW(machineKey, dwIndex, lpValueName, lpcchValueName,
                                         lpReserved, lpType, lpData, lpcbData);
        },
        [&](Key& key) -> LONG {
            if (lpValueName == nullptr || lpcchValueName == nullptr ||
                (lpData != nullptr && lpcbData == nullptr))
                return ERROR_INVALID_PARAMETER;
            if (dwIndex >= key.values.size())
                return ERROR_NO_MORE_ITEMS;
            const Value& value = key.values[dwIndex];
            if (LONG error = CopyNameOut(value.name, lpValueName, lpcchValueName))
                return error;
            return CopyValueOut(value.data.type, value.data.bytes, lpType, lpData, lpcbData);
        });
}

LONG DryRunPlatform::RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
    if (lpSubKey == nullptr)
        return ERROR_INVALID_PARAMETER;
    std::u16string path;
    if (LONG error = ResolvePath(hKey, lpSubKey, &path); error != ERROR_SUCCESS)
        return error;
    if (path.empty() || !ExistsInView(path))
        return ERROR_FILE_NOT_FOUND;
    Key& key = Touch(path);
    // Windows refuses to delete a key that still has subkeys.
    if (!key.subkeys.empty())
        return ERROR_ACCESS_DENIED;
    if (LONG probe = ProbeAccess(u"RegDeleteKeyW", path, DELETE); probe != ERROR_SUCCESS)
        return probe;
    key.exists = false;
    key.values.clear();
    RemoveSubkey(ParentKeyPath(path), LeafKeyName(path));
    return ERROR_SUCCESS;
}

LONG DryRunPlatform::RegCloseKey(HKEY hKey) {
    auto it = handles_.find(hKey);
    if (it == handles_.end())
        return hKey == HKEY_LOCAL_MACHINE ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
    if (it->second.machineKey != nullptr)
        Inner().RegCloseKey(it->second.machineKey);
    handles_.erase(it);
    return ERROR_SUCCESS;
}

std::vector<KeyChange> DryRunPlatform::RegistryChanges() const {
    std::vector<KeyChange> changes;
    for (const auto& [upper, key] : keys_) {
        KeyChange change;
        change.path = key.path;
        if (key.existedBefore && !key.exists) {
            change.kind = KeyChange::Kind::Deleted;
            for (const Value& value : key.before)
                change.values.push_back({value.name, value.data, std::nullopt});
            changes.push_back(std::move(change));
            continue;
        }
        if (!key.exists)
            continue;
        change.kind = key.existedBefore ? KeyChange::Kind::Changed : KeyChange::Kind::Created;
        auto named = [](const std::vector<Value>& values, const std::u16string& name) {
            return std::find_if(values.begin(), values.end(),
                                [&](const Value& v) { return EqualsIgnoreCase(v.name, name); });
        };
        for (const Value& value : key.values) {
            auto before = named(key.before, value.name);
            if (before == key.before.end()) {
                change.values.push_back({value.name, std::nullopt, value.data});
            } else if (!(before->data == value.data)) {
                change.values.push_back({value.name, before->data, value.data});
            }
        }
        // A key deleted and created again has lost the values it had.
        for (const Value& value : key.before) {
            if (named(key.values, value.name) == key.values.end())
                change.values.push_back({value.name, value.data, std::nullopt});
        }
        if (change.kind == KeyChange::Kind::Created || !change.values.empty())
            changes.push_back(std::move(change));
    }
    return changes;
}

}  // namespace ze
