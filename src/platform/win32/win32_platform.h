// The platform of the Windows build: every call goes straight to the Win32 API of the
// same name. No logic lives here beyond converting the program's types (char16_t
// text, fixed-width integers, opaque handles) to the SDK's at the boundary, and the
// service dispatcher's wait for control handler calls still running when it returns.
#pragma once

#include "platform/platform.h"

namespace ze {

class Win32Platform final : public Platform {
  public:
    LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                       HKEY* phkResult) override;
    LONG RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass,
                         DWORD dwOptions, REGSAM samDesired, void* lpSecurityAttributes,
                         HKEY* phkResult, DWORD* lpdwDisposition) override;
    LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD* lpReserved, DWORD* lpType,
                          BYTE* lpData, DWORD* lpcbData) override;
    LONG RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                        const BYTE* lpData, DWORD cbData) override;
    LONG RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, DWORD* lpcchClass, DWORD* lpReserved,
                          DWORD* lpcSubKeys, DWORD* lpcbMaxSubKeyLen, DWORD* lpcbMaxClassLen,
                          DWORD* lpcValues, DWORD* lpcbMaxValueNameLen, DWORD* lpcbMaxValueLen,
                          DWORD* lpcbSecurityDescriptor, FILETIME* lpftLastWriteTime) override;
    LONG RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, DWORD* lpcchName, DWORD* lpReserved,
                       LPWSTR lpClass, DWORD* lpcchClass, FILETIME* lpftLastWriteTime) override;
    LONG RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, DWORD* lpcchValueName,
                       DWORD* lpReserved, DWORD* lpType, BYTE* lpData, DWORD* lpcbData) override;
    LONG RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) override;
    LONG RegCloseKey(HKEY hKey) override;

    DWORD GetPrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpDefault,
                                   LPWSTR lpReturnedString, DWORD nSize,
                                   LPCWSTR lpFileName) override;
    UINT GetPrivateProfileIntW(LPCWSTR lpAppName, LPCWSTR lpKeyName, INT nDefault,
                               LPCWSTR lpFileName) override;
    DWORD GetPrivateProfileSectionNamesW(LPWSTR lpszReturnBuffer, DWORD nSize,
                                         LPCWSTR lpFileName) override;
    BOOL WritePrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpString,
                                    LPCWSTR lpFileName) override;

    DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) override;
    HMODULE GetModuleHandleW(LPCWSTR lpModuleName) override;
    LPWSTR GetCommandLineW() override;
    UINT GetSystemDirectoryW(LPWSTR lpBuffer, UINT uSize) override;
    UINT GetWindowsDirectoryW(LPWSTR lpBuffer, UINT uSize) override;
    HANDLE FindFirstFileW(LPCWSTR lpFileName, WIN32_FIND_DATAW* lpFindFileData) override;
    BOOL FindClose(HANDLE hFindFile) override;
    HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                       void* lpSecurityAttributes, DWORD dwCreationDisposition,
                       DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) override;
    BOOL WriteFile(HANDLE hFile, const void* lpBuffer, DWORD nNumberOfBytesToWrite,
                   DWORD* lpNumberOfBytesWritten, void* lpOverlapped) override;
    BOOL ReadFile(HANDLE hFile, void* lpBuffer, DWORD nNumberOfBytesToRead,
                  DWORD* lpNumberOfBytesRead, void* lpOverlapped) override;
    BOOL CloseHandle(HANDLE hObject) override;
    void GetLocalTime(SYSTEMTIME* lpSystemTime) override;
    void Sleep(DWORD dwMilliseconds) override;
    DWORD GetLastError() override;
    void SetLastError(DWORD dwErrCode) override;
    void ExitProcess(UINT uExitCode) override;

    int GetLocaleInfoW(LCID Locale, LCTYPE LCType, LPWSTR lpLCData, int cchData) override;
    void OutputDebugStringW(LPCWSTR lpOutputString) override;

    HANDLE GetStdHandle(DWORD nStdHandle) override;
    BOOL GetConsoleMode(HANDLE hConsoleHandle, DWORD* lpMode) override;
    BOOL WriteConsoleW(HANDLE hConsoleOutput, const void* lpBuffer, DWORD nNumberOfCharsToWrite,
                       DWORD* lpNumberOfCharsWritten, void* lpReserved) override;

    SC_HANDLE OpenSCManagerW(LPCWSTR lpMachineName, LPCWSTR lpDatabaseName,
                             DWORD dwDesiredAccess) override;
    SC_HANDLE CreateServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName, LPCWSTR lpDisplayName,
                             DWORD dwDesiredAccess, DWORD dwServiceType, DWORD dwStartType,
                             DWORD dwErrorControl, LPCWSTR lpBinaryPathName,
                             LPCWSTR lpLoadOrderGroup, DWORD* lpdwTagId, LPCWSTR lpDependencies,
                             LPCWSTR lpServiceStartName, LPCWSTR lpPassword) override;
    SC_HANDLE OpenServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName,
                           DWORD dwDesiredAccess) override;
    BOOL DeleteService(SC_HANDLE hService) override;
    BOOL StartServiceW(SC_HANDLE hService, DWORD dwNumServiceArgs,
                       LPCWSTR* lpServiceArgVectors) override;
    BOOL ControlService(SC_HANDLE hService, DWORD dwControl,
                        SERVICE_STATUS* lpServiceStatus) override;
    BOOL CloseServiceHandle(SC_HANDLE hSCObject) override;
    // The process hosts one service: the table's first entry. Its routine and the
    // handler registered for it are reached through WINAPI trampolines.
    BOOL StartServiceCtrlDispatcherW(const SERVICE_TABLE_ENTRYW* lpServiceStartTable) override;
    SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerW(LPCWSTR lpServiceName,
                                                      LPHANDLER_FUNCTION lpHandlerProc) override;
    BOOL SetServiceStatus(SERVICE_STATUS_HANDLE hServiceStatus,
                          SERVICE_STATUS* lpServiceStatus) override;

    BOOL SetupDiClassGuidsFromNameW(LPCWSTR ClassName, GUID* ClassGuidList, DWORD ClassGuidListSize,
                                    DWORD* RequiredSize) override;
    HDEVINFO SetupDiGetClassDevsW(const GUID* ClassGuid, LPCWSTR Enumerator, void* hwndParent,
                                  DWORD Flags) override;
    BOOL SetupDiEnumDeviceInfo(HDEVINFO DeviceInfoSet, DWORD MemberIndex,
                               SP_DEVINFO_DATA* DeviceInfoData) override;
    BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO DeviceInfoSet, SP_DEVINFO_DATA* DeviceInfoData,
                                           DWORD Property, DWORD* PropertyRegDataType,
                                           BYTE* PropertyBuffer, DWORD PropertyBufferSize,
                                           DWORD* RequiredSize) override;
    BOOL SetupDiSetClassInstallParamsW(HDEVINFO DeviceInfoSet, SP_DEVINFO_DATA* DeviceInfoData,
                                       SP_CLASSINSTALL_HEADER* ClassInstallParams,
                                       DWORD ClassInstallParamsSize) override;
    BOOL SetupDiCallClassInstaller(DI_FUNCTION InstallFunction, HDEVINFO DeviceInfoSet,
                                   SP_DEVINFO_DATA* DeviceInfoData) override;
    BOOL SetupDiGetDeviceInstanceIdW(HDEVINFO DeviceInfoSet, SP_DEVINFO_DATA* DeviceInfoData,
                                     LPWSTR DeviceInstanceId, DWORD DeviceInstanceIdSize,
                                     DWORD* RequiredSize) override;
    BOOL SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) override;
};

}  // namespace ze
