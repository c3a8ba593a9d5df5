// The program's own files, named after the executable and kept beside it, and the
// profile-file string reader every part of the program uses.
#pragma once

#include <string>

#include "platform/wintypes.h"

namespace ze {

extern char16_t g_szZeRegionSvcIniPath[MAX_PATH];  // <exe path up to its last '.'>ini
extern char16_t g_szZeCoInstDatPath[MAX_PATH];     // <exe dir>\ZeCoInst.dat
extern char16_t g_szZeRegionSvcLogPath[MAX_PATH];  // <exe dir>\<base name>.log
// The service's name, the executable's base name: set at start-up, used by the
// service and by the commands that install and control it.
extern char16_t g_szServiceName[64];

// Derives the three file paths from an executable's full path and returns its base
// name. Every result is computed to fit its buffer; see DerivePaths for limits.
struct DerivedPaths {
    std::u16string iniPath;
    std::u16string datPath;
    std::u16string logPath;
    std::u16string baseName;
};
DerivedPaths DerivePathsFrom(std::u16string_view exePath);

// Zeroes the path globals and fills them from the running executable's path.
// Returns false (and leaves the globals empty) when the path cannot be read whole
// or a derived path would not fit its 260-character buffer.
bool DerivePaths(std::u16string* baseName);
// Sets g_szServiceName; false (and the name untouched) when it does not fit.
bool SetServiceName(std::u16string_view name);

// GetPrivateProfileStringW into a 512-character buffer: the value when the key
// exists (cut to 511 characters), otherwise the default.
std::u16string GetIniString(std::u16string section, std::u16string key, std::u16string defaultValue,
                            std::u16string file);

}  // namespace ze
