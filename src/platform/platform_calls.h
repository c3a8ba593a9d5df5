// The port's calls, each written once: return type, name, then each parameter as
// (type, name), exactly as the Win32 call of the same name takes it. Platform, the
// forwarding decorator, the Win32 forwards, the simulated machine's declarations and
// the call names of fault injection are all generated from this list, so they cannot
// drift apart. A call added to the port is one line here plus its implementations.
#pragma once

#include "platform/wintypes.h"

// clang-format off
#define ZE_PLATFORM_CALLS(X)                                                                      \
    /* Registry. */                                                                              \
    X(LONG, RegOpenKeyExW, (HKEY, hKey), (LPCWSTR, lpSubKey), (DWORD, ulOptions),                \
      (REGSAM, samDesired), (HKEY*, phkResult))                                                  \
    X(LONG, RegCreateKeyExW, (HKEY, hKey), (LPCWSTR, lpSubKey), (DWORD, Reserved),               \
      (LPWSTR, lpClass), (DWORD, dwOptions), (REGSAM, samDesired),                               \
      (void*, lpSecurityAttributes), (HKEY*, phkResult), (DWORD*, lpdwDisposition))              \
    X(LONG, RegQueryValueExW, (HKEY, hKey), (LPCWSTR, lpValueName), (DWORD*, lpReserved),        \
      (DWORD*, lpType), (BYTE*, lpData), (DWORD*, lpcbData))                                     \
    X(LONG, RegSetValueExW, (HKEY, hKey), (LPCWSTR, lpValueName), (DWORD, Reserved),             \
      (DWORD, dwType), (const BYTE*, lpData), (DWORD, cbData))                                   \
    X(LONG, RegQueryInfoKeyW, (HKEY, hKey), (LPWSTR, lpClass), (DWORD*, lpcchClass),             \
      (DWORD*, lpReserved), (DWORD*, lpcSubKeys), (DWORD*, lpcbMaxSubKeyLen),                    \
      (DWORD*, lpcbMaxClassLen), (DWORD*, lpcValues), (DWORD*, lpcbMaxValueNameLen),             \
      (DWORD*, lpcbMaxValueLen), (DWORD*, lpcbSecurityDescriptor),                               \
      (FILETIME*, lpftLastWriteTime))                                                            \
    X(LONG, RegEnumKeyExW, (HKEY, hKey), (DWORD, dwIndex), (LPWSTR, lpName),                     \
      (DWORD*, lpcchName), (DWORD*, lpReserved), (LPWSTR, lpClass), (DWORD*, lpcchClass),        \
      (FILETIME*, lpftLastWriteTime))                                                            \
    X(LONG, RegEnumValueW, (HKEY, hKey), (DWORD, dwIndex), (LPWSTR, lpValueName),                \
      (DWORD*, lpcchValueName), (DWORD*, lpReserved), (DWORD*, lpType), (BYTE*, lpData),         \
      (DWORD*, lpcbData))                                                                        \
    X(LONG, RegDeleteKeyW, (HKEY, hKey), (LPCWSTR, lpSubKey))                                    \
    X(LONG, RegCloseKey, (HKEY, hKey))                                                           \
    /* Profile (INI) functions. */                                                               \
    X(DWORD, GetPrivateProfileStringW, (LPCWSTR, lpAppName), (LPCWSTR, lpKeyName),               \
      (LPCWSTR, lpDefault), (LPWSTR, lpReturnedString), (DWORD, nSize), (LPCWSTR, lpFileName))   \
    X(UINT, GetPrivateProfileIntW, (LPCWSTR, lpAppName), (LPCWSTR, lpKeyName), (INT, nDefault),  \
      (LPCWSTR, lpFileName))                                                                     \
    X(DWORD, GetPrivateProfileSectionNamesW, (LPWSTR, lpszReturnBuffer), (DWORD, nSize),         \
      (LPCWSTR, lpFileName))                                                                     \
    X(BOOL, WritePrivateProfileStringW, (LPCWSTR, lpAppName), (LPCWSTR, lpKeyName),              \
      (LPCWSTR, lpString), (LPCWSTR, lpFileName))                                                \
    /* Files, module and system. */                                                              \
    X(DWORD, GetModuleFileNameW, (HMODULE, hModule), (LPWSTR, lpFilename), (DWORD, nSize))       \
    X(HMODULE, GetModuleHandleW, (LPCWSTR, lpModuleName))                                        \
    X(LPWSTR, GetCommandLineW)                                                                   \
    X(UINT, GetSystemDirectoryW, (LPWSTR, lpBuffer), (UINT, uSize))                              \
    X(UINT, GetWindowsDirectoryW, (LPWSTR, lpBuffer), (UINT, uSize))                             \
    X(HANDLE, FindFirstFileW, (LPCWSTR, lpFileName), (WIN32_FIND_DATAW*, lpFindFileData))        \
    X(BOOL, FindClose, (HANDLE, hFindFile))                                                      \
    X(HANDLE, CreateFileW, (LPCWSTR, lpFileName), (DWORD, dwDesiredAccess),                      \
      (DWORD, dwShareMode), (void*, lpSecurityAttributes), (DWORD, dwCreationDisposition),       \
      (DWORD, dwFlagsAndAttributes), (HANDLE, hTemplateFile))                                    \
    X(BOOL, WriteFile, (HANDLE, hFile), (const void*, lpBuffer),                                 \
      (DWORD, nNumberOfBytesToWrite), (DWORD*, lpNumberOfBytesWritten), (void*, lpOverlapped))   \
    X(BOOL, ReadFile, (HANDLE, hFile), (void*, lpBuffer), (DWORD, nNumberOfBytesToRead),         \
      (DWORD*, lpNumberOfBytesRead), (void*, lpOverlapped))                                      \
    X(BOOL, FlushFileBuffers, (HANDLE, hFile))                                                 \
    X(BOOL, CloseHandle, (HANDLE, hObject))                                                      \
    X(void, GetLocalTime, (SYSTEMTIME*, lpSystemTime))                                           \
    X(void, Sleep, (DWORD, dwMilliseconds))                                                      \
    X(DWORD, GetLastError)                                                                       \
    X(void, SetLastError, (DWORD, dwErrCode))                                                    \
    /* Does not return. */                                                                       \
    X(void, ExitProcess, (UINT, uExitCode))                                                      \
    /* Locale and debug output. */                                                               \
    X(int, GetLocaleInfoW, (LCID, Locale), (LCTYPE, LCType), (LPWSTR, lpLCData), (int, cchData)) \
    X(void, OutputDebugStringW, (LPCWSTR, lpOutputString))                                       \
    /* Rights: whether the process runs with administrative rights (an elevated token).  */      \
    X(BOOL, IsUserAnAdmin)                                                                       \
    /* Security: a file's owner and access list, as SDDL text; both are LocalAlloc'ed.    */      \
    X(DWORD, GetNamedSecurityInfoW, (LPCWSTR, pObjectName), (SE_OBJECT_TYPE, ObjectType),        \
      (SECURITY_INFORMATION, SecurityInfo), (PSID*, ppsidOwner), (PSID*, ppsidGroup),            \
      (PACL*, ppDacl), (PACL*, ppSacl), (PSECURITY_DESCRIPTOR*, ppSecurityDescriptor))           \
    X(BOOL, ConvertSecurityDescriptorToStringSecurityDescriptorW,                                \
      (PSECURITY_DESCRIPTOR, SecurityDescriptor), (DWORD, RequestedStringSDRevision),            \
      (SECURITY_INFORMATION, SecurityInformation), (LPWSTR*, StringSecurityDescriptor),          \
      (ULONG*, StringSecurityDescriptorLen))                                                     \
    X(HLOCAL, LocalFree, (HLOCAL, hMem))                                                         \
    /* Standard streams: a console takes UTF-16 text (WriteConsoleW), anything else      */      \
    /* (a file, a pipe) takes bytes through WriteFile.                                    */      \
    X(HANDLE, GetStdHandle, (DWORD, nStdHandle))                                                 \
    X(BOOL, GetConsoleMode, (HANDLE, hConsoleHandle), (DWORD*, lpMode))                          \
    X(BOOL, WriteConsoleW, (HANDLE, hConsoleOutput), (const void*, lpBuffer),                    \
      (DWORD, nNumberOfCharsToWrite), (DWORD*, lpNumberOfCharsWritten), (void*, lpReserved))     \
    /* Service control manager. */                                                               \
    X(SC_HANDLE, OpenSCManagerW, (LPCWSTR, lpMachineName), (LPCWSTR, lpDatabaseName),            \
      (DWORD, dwDesiredAccess))                                                                  \
    X(SC_HANDLE, CreateServiceW, (SC_HANDLE, hSCManager), (LPCWSTR, lpServiceName),              \
      (LPCWSTR, lpDisplayName), (DWORD, dwDesiredAccess), (DWORD, dwServiceType),                \
      (DWORD, dwStartType), (DWORD, dwErrorControl), (LPCWSTR, lpBinaryPathName),                \
      (LPCWSTR, lpLoadOrderGroup), (DWORD*, lpdwTagId), (LPCWSTR, lpDependencies),               \
      (LPCWSTR, lpServiceStartName), (LPCWSTR, lpPassword))                                      \
    X(SC_HANDLE, OpenServiceW, (SC_HANDLE, hSCManager), (LPCWSTR, lpServiceName),                \
      (DWORD, dwDesiredAccess))                                                                  \
    X(BOOL, ChangeServiceConfigW, (SC_HANDLE, hService), (DWORD, dwServiceType),                 \
      (DWORD, dwStartType), (DWORD, dwErrorControl), (LPCWSTR, lpBinaryPathName),                \
      (LPCWSTR, lpLoadOrderGroup), (DWORD*, lpdwTagId), (LPCWSTR, lpDependencies),               \
      (LPCWSTR, lpServiceStartName), (LPCWSTR, lpPassword), (LPCWSTR, lpDisplayName))            \
    X(BOOL, DeleteService, (SC_HANDLE, hService))                                                \
    X(BOOL, StartServiceW, (SC_HANDLE, hService), (DWORD, dwNumServiceArgs),                     \
      (LPCWSTR*, lpServiceArgVectors))                                                           \
    X(BOOL, ControlService, (SC_HANDLE, hService), (DWORD, dwControl),                           \
      (SERVICE_STATUS*, lpServiceStatus))                                                        \
    X(BOOL, CloseServiceHandle, (SC_HANDLE, hSCObject))                                          \
    X(BOOL, StartServiceCtrlDispatcherW, (const SERVICE_TABLE_ENTRYW*, lpServiceStartTable))     \
    X(SERVICE_STATUS_HANDLE, RegisterServiceCtrlHandlerExW, (LPCWSTR, lpServiceName),            \
      (LPHANDLER_FUNCTION_EX, lpHandlerProc), (void*, lpContext))                                \
    X(BOOL, SetServiceStatus, (SERVICE_STATUS_HANDLE, hServiceStatus),                           \
      (SERVICE_STATUS*, lpServiceStatus))                                                        \
    /* Device installer (SetupAPI). */                                                           \
    X(BOOL, SetupDiClassGuidsFromNameW, (LPCWSTR, ClassName), (GUID*, ClassGuidList),            \
      (DWORD, ClassGuidListSize), (DWORD*, RequiredSize))                                        \
    X(HDEVINFO, SetupDiGetClassDevsW, (const GUID*, ClassGuid), (LPCWSTR, Enumerator),           \
      (void*, hwndParent), (DWORD, Flags))                                                       \
    X(BOOL, SetupDiEnumDeviceInfo, (HDEVINFO, DeviceInfoSet), (DWORD, MemberIndex),              \
      (SP_DEVINFO_DATA*, DeviceInfoData))                                                        \
    X(BOOL, SetupDiGetDeviceRegistryPropertyW, (HDEVINFO, DeviceInfoSet),                        \
      (SP_DEVINFO_DATA*, DeviceInfoData), (DWORD, Property), (DWORD*, PropertyRegDataType),      \
      (BYTE*, PropertyBuffer), (DWORD, PropertyBufferSize), (DWORD*, RequiredSize))              \
    X(BOOL, SetupDiSetClassInstallParamsW, (HDEVINFO, DeviceInfoSet),                            \
      (SP_DEVINFO_DATA*, DeviceInfoData), (SP_CLASSINSTALL_HEADER*, ClassInstallParams),         \
      (DWORD, ClassInstallParamsSize))                                                           \
    X(BOOL, SetupDiCallClassInstaller, (DI_FUNCTION, InstallFunction),                           \
      (HDEVINFO, DeviceInfoSet), (SP_DEVINFO_DATA*, DeviceInfoData))                             \
    X(BOOL, SetupDiGetDeviceInstallParamsW, (HDEVINFO, DeviceInfoSet),                           \
      (SP_DEVINFO_DATA*, DeviceInfoData), (SP_DEVINSTALL_PARAMS_W*, DeviceInstallParams))        \
    X(BOOL, SetupDiGetDeviceInstanceIdW, (HDEVINFO, DeviceInfoSet),                              \
      (SP_DEVINFO_DATA*, DeviceInfoData), (LPWSTR, DeviceInstanceId),                            \
      (DWORD, DeviceInstanceIdSize), (DWORD*, RequiredSize))                                     \
    X(BOOL, SetupDiDestroyDeviceInfoList, (HDEVINFO, DeviceInfoSet))                            \
    /* Event log. */                                                                             \
    X(HANDLE, RegisterEventSourceW, (LPCWSTR, lpUNCServerName), (LPCWSTR, lpSourceName))         \
    X(BOOL, ReportEventW, (HANDLE, hEventLog), (WORD, wType), (WORD, wCategory),                 \
      (DWORD, dwEventID), (void*, lpUserSid), (WORD, wNumStrings), (DWORD, dwDataSize),          \
      (LPCWSTR*, lpStrings), (void*, lpRawData))                                                 \
    X(BOOL, DeregisterEventSource, (HANDLE, hEventLog))
// clang-format on

// What a generator does with one call's (type, name) pairs: ZE_PARAMS gives the
// parameter list "HKEY hKey, LPCWSTR lpSubKey", ZE_ARGS the argument list "hKey,
// lpSubKey". The FOR_EACH below applies a macro to each pair; the nested EXPANDs give
// the preprocessor enough rescans for the longest parameter list.
#define ZE_PP_PARENS ()
#define ZE_PP_EXPAND(...) ZE_PP_EXPAND3(ZE_PP_EXPAND3(ZE_PP_EXPAND3(ZE_PP_EXPAND3(__VA_ARGS__))))
#define ZE_PP_EXPAND3(...) ZE_PP_EXPAND2(ZE_PP_EXPAND2(ZE_PP_EXPAND2(ZE_PP_EXPAND2(__VA_ARGS__))))
#define ZE_PP_EXPAND2(...) ZE_PP_EXPAND1(ZE_PP_EXPAND1(ZE_PP_EXPAND1(ZE_PP_EXPAND1(__VA_ARGS__))))
#define ZE_PP_EXPAND1(...) __VA_ARGS__
#define ZE_PP_FOR_EACH(F, ...) __VA_OPT__(ZE_PP_EXPAND(ZE_PP_FOR_EACH_STEP(F, __VA_ARGS__)))
#define ZE_PP_FOR_EACH_STEP(F, pair, ...) \
    F pair __VA_OPT__(, ZE_PP_FOR_EACH_AGAIN ZE_PP_PARENS(F, __VA_ARGS__))
#define ZE_PP_FOR_EACH_AGAIN() ZE_PP_FOR_EACH_STEP
#define ZE_PP_DECLARE(type, name) type name
#define ZE_PP_NAME(type, name) name

#define ZE_PARAMS(...) ZE_PP_FOR_EACH(ZE_PP_DECLARE, __VA_ARGS__)
#define ZE_ARGS(...) ZE_PP_FOR_EACH(ZE_PP_NAME, __VA_ARGS__)

// Declares each call as an override, for an implementation of the whole port.
#define ZE_DECLARE_OVERRIDE(ret, name, ...) ret name(ZE_PARAMS(__VA_ARGS__)) override;
