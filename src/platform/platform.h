// The one seam between the program and the operating system. Every method mirrors
// the Win32 call of the same name: same arguments, same buffer conventions (bytes for
// registry data, characters for strings), same results and GetLastError values.
// Win32Platform forwards to Windows; SimPlatform is a simulated Windows machine.
#pragma once

#include "platform/wintypes.h"

namespace ze {

class Platform {
  public:
    virtual ~Platform() = default;

    // Registry.
    virtual LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                               HKEY* phkResult) = 0;
    virtual LONG RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass,
                                 DWORD dwOptions, REGSAM samDesired, void* lpSecurityAttributes,
                                 HKEY* phkResult, DWORD* lpdwDisposition) = 0;
    virtual LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD* lpReserved, DWORD* lpType,
                                  BYTE* lpData, DWORD* lpcbData) = 0;
    virtual LONG RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                                const BYTE* lpData, DWORD cbData) = 0;
    virtual LONG RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, DWORD* lpcchClass, DWORD* lpReserved,
                                  DWORD* lpcSubKeys, DWORD* lpcbMaxSubKeyLen,
                                  DWORD* lpcbMaxClassLen, DWORD* lpcValues,
                                  DWORD* lpcbMaxValueNameLen, DWORD* lpcbMaxValueLen,
                                  DWORD* lpcbSecurityDescriptor, FILETIME* lpftLastWriteTime) = 0;
    virtual LONG RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, DWORD* lpcchName,
                               DWORD* lpReserved, LPWSTR lpClass, DWORD* lpcchClass,
                               FILETIME* lpftLastWriteTime) = 0;
    virtual LONG RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, DWORD* lpcchValueName,
                               DWORD* lpReserved, DWORD* lpType, BYTE* lpData, DWORD* lpcbData) = 0;
    virtual LONG RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) = 0;
    virtual LONG RegCloseKey(HKEY hKey) = 0;

    // Profile (INI) functions.
    virtual DWORD GetPrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpDefault,
                                           LPWSTR lpReturnedString, DWORD nSize,
                                           LPCWSTR lpFileName) = 0;
    virtual UINT GetPrivateProfileIntW(LPCWSTR lpAppName, LPCWSTR lpKeyName, INT nDefault,
                                       LPCWSTR lpFileName) = 0;
    virtual DWORD GetPrivateProfileSectionNamesW(LPWSTR lpszReturnBuffer, DWORD nSize,
                                                 LPCWSTR lpFileName) = 0;
    virtual BOOL WritePrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpString,
                                            LPCWSTR lpFileName) = 0;

    // Files, module and system.
    virtual DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) = 0;
    virtual HMODULE GetModuleHandleW(LPCWSTR lpModuleName) = 0;
    virtual LPWSTR GetCommandLineW() = 0;
    virtual UINT GetSystemDirectoryW(LPWSTR lpBuffer, UINT uSize) = 0;
    virtual UINT GetWindowsDirectoryW(LPWSTR lpBuffer, UINT uSize) = 0;
    virtual HANDLE FindFirstFileW(LPCWSTR lpFileName, WIN32_FIND_DATAW* lpFindFileData) = 0;
    virtual BOOL FindClose(HANDLE hFindFile) = 0;
    virtual HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                               void* lpSecurityAttributes, DWORD dwCreationDisposition,
                               DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) = 0;
    virtual BOOL WriteFile(HANDLE hFile, const void* lpBuffer, DWORD nNumberOfBytesToWrite,
                           DWORD* lpNumberOfBytesWritten, void* lpOverlapped) = 0;
    virtual BOOL ReadFile(HANDLE hFile, void* lpBuffer, DWORD nNumberOfBytesToRead,
                          DWORD* lpNumberOfBytesRead, void* lpOverlapped) = 0;
    virtual BOOL CloseHandle(HANDLE hObject) = 0;
    virtual void GetLocalTime(SYSTEMTIME* lpSystemTime) = 0;
    virtual void Sleep(DWORD dwMilliseconds) = 0;
    virtual DWORD GetLastError() = 0;
    virtual void SetLastError(DWORD dwErrCode) = 0;
    // Does not return.
    virtual void ExitProcess(UINT uExitCode) = 0;

    // Locale and debug output.
    virtual int GetLocaleInfoW(LCID Locale, LCTYPE LCType, LPWSTR lpLCData, int cchData) = 0;
    virtual void OutputDebugStringW(LPCWSTR lpOutputString) = 0;

    // Standard streams: a console takes UTF-16 text (WriteConsoleW), anything else
    // (a file, a pipe) takes bytes through WriteFile.
    virtual HANDLE GetStdHandle(DWORD nStdHandle) = 0;
    virtual BOOL GetConsoleMode(HANDLE hConsoleHandle, DWORD* lpMode) = 0;
    virtual BOOL WriteConsoleW(HANDLE hConsoleOutput, const void* lpBuffer,
                               DWORD nNumberOfCharsToWrite, DWORD* lpNumberOfCharsWritten,
                               void* lpReserved) = 0;

    // Service control manager.
    virtual SC_HANDLE OpenSCManagerW(LPCWSTR lpMachineName, LPCWSTR lpDatabaseName,
                                     DWORD dwDesiredAccess) = 0;
    virtual SC_HANDLE CreateServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName,
                                     LPCWSTR lpDisplayName, DWORD dwDesiredAccess,
                                     DWORD dwServiceType, DWORD dwStartType, DWORD dwErrorControl,
                                     LPCWSTR lpBinaryPathName, LPCWSTR lpLoadOrderGroup,
                                     DWORD* lpdwTagId, LPCWSTR lpDependencies,
                                     LPCWSTR lpServiceStartName, LPCWSTR lpPassword) = 0;
    virtual SC_HANDLE OpenServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName,
                                   DWORD dwDesiredAccess) = 0;
    virtual BOOL DeleteService(SC_HANDLE hService) = 0;
    virtual BOOL StartServiceW(SC_HANDLE hService, DWORD dwNumServiceArgs,
                               LPCWSTR* lpServiceArgVectors) = 0;
    virtual BOOL ControlService(SC_HANDLE hService, DWORD dwControl,
                                SERVICE_STATUS* lpServiceStatus) = 0;
    virtual BOOL CloseServiceHandle(SC_HANDLE hSCObject) = 0;
    virtual BOOL StartServiceCtrlDispatcherW(const SERVICE_TABLE_ENTRYW* lpServiceStartTable) = 0;
    virtual SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerW(LPCWSTR lpServiceName,
                                                              LPHANDLER_FUNCTION lpHandlerProc) = 0;
    virtual BOOL SetServiceStatus(SERVICE_STATUS_HANDLE hServiceStatus,
                                  SERVICE_STATUS* lpServiceStatus) = 0;

    // Device installer (SetupAPI).
    virtual BOOL SetupDiClassGuidsFromNameW(LPCWSTR ClassName, GUID* ClassGuidList,
                                            DWORD ClassGuidListSize, DWORD* RequiredSize) = 0;
    virtual HDEVINFO SetupDiGetClassDevsW(const GUID* ClassGuid, LPCWSTR Enumerator,
                                          void* hwndParent, DWORD Flags) = 0;
    virtual BOOL SetupDiEnumDeviceInfo(HDEVINFO DeviceInfoSet, DWORD MemberIndex,
                                       SP_DEVINFO_DATA* DeviceInfoData) = 0;
    virtual BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO DeviceInfoSet,
                                                   SP_DEVINFO_DATA* DeviceInfoData, DWORD Property,
                                                   DWORD* PropertyRegDataType, BYTE* PropertyBuffer,
                                                   DWORD PropertyBufferSize,
                                                   DWORD* RequiredSize) = 0;
    virtual BOOL SetupDiSetClassInstallParamsW(HDEVINFO DeviceInfoSet,
                                               SP_DEVINFO_DATA* DeviceInfoData,
                                               SP_CLASSINSTALL_HEADER* ClassInstallParams,
                                               DWORD ClassInstallParamsSize) = 0;
    virtual BOOL SetupDiCallClassInstaller(DI_FUNCTION InstallFunction, HDEVINFO DeviceInfoSet,
                                           SP_DEVINFO_DATA* DeviceInfoData) = 0;
    virtual BOOL SetupDiGetDeviceInstanceIdW(HDEVINFO DeviceInfoSet,
                                             SP_DEVINFO_DATA* DeviceInfoData,
                                             LPWSTR DeviceInstanceId, DWORD DeviceInstanceIdSize,
                                             DWORD* RequiredSize) = 0;
    virtual BOOL SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) = 0;
};

// The platform of this process. main installs the one of its build; tests install
// their own for the duration of a test with ScopedPlatform.
Platform& OS();
void InstallPlatform(Platform* platform);

class ScopedPlatform {
  public:
    explicit ScopedPlatform(Platform& platform);
    ~ScopedPlatform();
    ScopedPlatform(const ScopedPlatform&) = delete;
    ScopedPlatform& operator=(const ScopedPlatform&) = delete;

  private:
    Platform* previous_;
};

}  // namespace ze
