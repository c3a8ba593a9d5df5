// The registry's conveniences by path from the root, for tests, fixtures and tools.
#include "platform/sim/registry_store.h"
#include "platform/sim/value_data.h"

namespace ze::sim {

std::optional<KeyId> RegistryStore::Find(std::u16string_view path) {
    KeyId key = 0;
    if (OpenPath(kRootKey, path, &key) != ERROR_SUCCESS)
        return std::nullopt;
    return key;
}

KeyId RegistryStore::Create(std::u16string_view path, bool* created) {
    KeyId key = 0;
    std::vector<std::u16string> made;
    CreatePath(kRootKey, path, &key, &made);
    if (created != nullptr)
        *created = !made.empty();
    return key;
}

bool RegistryStore::Delete(std::u16string_view path, bool recursive) {
    std::optional<KeyId> key = Find(path);
    return key && *key != kRootKey && DeleteKey(*key, recursive) == ERROR_SUCCESS;
}

void RegistryStore::SetValue(std::u16string_view path, std::u16string_view name, DWORD type,
                             const std::vector<BYTE>& data) {
    SetValue(Create(path), name, type, std::span<const BYTE>(data));
}

void RegistryStore::SetString(std::u16string_view path, std::u16string_view name,
                              std::u16string_view text) {
    SetValue(path, name, REG_SZ, TextData(text));
}

void RegistryStore::SetDword(std::u16string_view path, std::u16string_view name, DWORD value) {
    SetValue(path, name, REG_DWORD, DwordData(value));
}

std::optional<RegValue> RegistryStore::GetValue(std::u16string_view path,
                                                std::u16string_view name) {
    std::optional<KeyId> key = Find(path);
    RegValue value;
    if (!key || QueryValue(*key, name, &value) != ERROR_SUCCESS)
        return std::nullopt;
    return value;
}

void RegistryStore::ClearValues(std::u16string_view path) {
    if (std::optional<KeyId> key = Find(path))
        ClearValues(*key);
}

void RegistryStore::DeleteValue(std::u16string_view path, std::u16string_view name) {
    if (std::optional<KeyId> key = Find(path))
        DeleteValue(*key, name);
}

}  // namespace ze::sim
