// The profile (INI) functions of the simulated machine. The semantics live in the
// profile engine (profile.h); this room finds the file through the machine's path
// mapping, applies Windows' sharing and read-only rules, writes files atomically and
// journals every write. Each call looks at the file afresh (the cache only saves
// parsing a file that is verifiably unchanged).
#pragma once

#include <filesystem>
#include <mutex>

#include "platform/sim/file_system.h"
#include "platform/sim/machine.h"
#include "platform/sim/profile.h"

namespace ze::sim {

class ProfileCalls {
  public:
    ProfileCalls(Machine& machine, FileSystem& files) : machine_(machine), files_(files) {}

    DWORD GetPrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpDefault,
                                   LPWSTR lpReturnedString, DWORD nSize, LPCWSTR lpFileName);
    UINT GetPrivateProfileIntW(LPCWSTR lpAppName, LPCWSTR lpKeyName, INT nDefault,
                               LPCWSTR lpFileName);
    DWORD GetPrivateProfileSectionNamesW(LPWSTR lpszReturnBuffer, DWORD nSize, LPCWSTR lpFileName);
    BOOL WritePrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpString,
                                    LPCWSTR lpFileName);

  private:
    // The host file a profile call's file name means.
    std::filesystem::path HostPathOf(LPCWSTR fileName) const;

    Machine& machine_;
    FileSystem& files_;
    // One call at a time, so that a write's reading, editing and replacing of the file
    // is not interleaved with another call of this process.
    std::mutex mutex_;
    profile::DocumentCache cache_;
};

}  // namespace ze::sim
