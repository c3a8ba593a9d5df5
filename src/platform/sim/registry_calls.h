// The registry calls of the simulated machine (HKEY_LOCAL_MACHINE only): the open key
// handles with their access rights, over the machine's registry store, each change
// journaled.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "platform/sim/machine.h"

namespace ze::sim {

class RegistryCalls {
  public:
    explicit RegistryCalls(Machine& machine) : machine_(machine) {}

    LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                       HKEY* phkResult);
    LONG RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass,
                         DWORD dwOptions, REGSAM samDesired, void* lpSecurityAttributes,
                         HKEY* phkResult, DWORD* lpdwDisposition);
    LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD* lpReserved, DWORD* lpType,
                          BYTE* lpData, DWORD* lpcbData);
    LONG RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                        const BYTE* lpData, DWORD cbData);
    LONG RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, DWORD* lpcchClass, DWORD* lpReserved,
                          DWORD* lpcSubKeys, DWORD* lpcbMaxSubKeyLen, DWORD* lpcbMaxClassLen,
                          DWORD* lpcValues, DWORD* lpcbMaxValueNameLen, DWORD* lpcbMaxValueLen,
                          DWORD* lpcbSecurityDescriptor, FILETIME* lpftLastWriteTime);
    LONG RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, DWORD* lpcchName, DWORD* lpReserved,
                       LPWSTR lpClass, DWORD* lpcchClass, FILETIME* lpftLastWriteTime);
    LONG RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, DWORD* lpcchValueName,
                       DWORD* lpReserved, DWORD* lpType, BYTE* lpData, DWORD* lpcbData);
    LONG RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey);
    LONG RegCloseKey(HKEY hKey);

  private:
    struct KeyHandle {
        KeyId key;
        std::u16string path;  // as stored, for the journal
        REGSAM access;
    };
    // The key a handle stands for, when the handle is open with at least `needed`. The
    // caller holds mutex_.
    LONG ResolveKey(HKEY handle, REGSAM needed, KeyHandle* key);
    // A call on an open key: the injected fault when one is due, otherwise `body` on the
    // key the handle stands for (opened with at least `needed`), holding mutex_ so that
    // the journal records changes in the order the registry took them.
    LONG KeyCall(Call call, HKEY handle, REGSAM needed,
                 const std::function<LONG(const KeyHandle&)>& body);
    LONG OpenOrCreate(HKEY parent, LPCWSTR subKey, REGSAM access, bool create, HKEY* result,
                      DWORD* disposition);
    bool WriteAccessRefused(REGSAM access) const;

    Machine& machine_;
    std::mutex mutex_;  // guards keys_
    std::map<HKEY, KeyHandle> keys_;
};

}  // namespace ze::sim
