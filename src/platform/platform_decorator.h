// A platform that forwards every call to another one. Layers that wrap the whole
// program (a dry run, call counting, fault injection) derive from it and override
// only the calls they change; everything else reaches the wrapped platform as is.
#pragma once

#include "platform/platform.h"

namespace ze {

class PlatformDecorator : public Platform {
  public:
    explicit PlatformDecorator(Platform& inner) : inner_(inner) {}

    Platform& Inner() { return inner_; }

    LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                       HKEY* phkResult) override {
        return inner_.RegOpenKeyExW(hKey, lpSubKey, ulOptions, samDesired, phkResult);
    }
    LONG RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass,
                         DWORD dwOptions, REGSAM samDesired, void* lpSecurityAttributes,
                         HKEY* phkResult, DWORD* lpdwDisposition) override {
        return inner_.RegCreateKeyExW(hKey, lpSubKey, Reserved, lpClass, dwOptions, samDesired,
                                      lpSecurityAttributes, phkResult, lpdwDisposition);
    }
    LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD* lpReserved, DWORD* lpType,
                          BYTE* lpData, DWORD* lpcbData) override {
        return inner_.RegQueryValueExW(hKey, lpValueName, lpReserved, lpType, lpData, lpcbData);
    }
    LONG RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                        const BYTE* lpData, DWORD cbData) override {
        return inner_.RegSetValueExW(hKey, lpValueName, Reserved, dwType, lpData, cbData);
    }
    LONG RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, DWORD* lpcchClass, DWORD* lpReserved,
                          DWORD* lpcSubKeys, DWORD* lpcbMaxSubKeyLen, DWORD* lpcbMaxClassLen,
                          DWORD* lpcValues, DWORD* lpcbMaxValueNameLen, DWORD* lpcbMaxValueLen,
                          DWORD* lpcbSecurityDescriptor, FILETIME* lpftLastWriteTime) override {
        return inner_.RegQueryInfoKeyW(hKey, lpClass, lpcchClass, lpReserved, lpcSubKeys,
                                       lpcbMaxSubKeyLen, lpcbMaxClassLen, lpcValues,
                                       lpcbMaxValueNameLen, lpcbMaxValueLen, lpcbSecurityDescriptor,
                                       lpftLastWriteTime);
    }
    LONG RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, DWORD* lpcchName, DWORD* lpReserved,
                       LPWSTR lpClass, DWORD* lpcchClass, FILETIME* lpftLastWriteTime) override {
        return inner_.RegEnumKeyExW(hKey, dwIndex, lpName, lpcchName, lpReserved, lpClass,
                                    lpcchClass, lpftLastWriteTime);
    }
    LONG RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, DWORD* lpcchValueName,
                       DWORD* lpReserved, DWORD* lpType, BYTE* lpData, DWORD* lpcbData) override {
        return inner_.RegEnumValueW(hKey, dwIndex, lpValueName, lpcchValueName, lpReserved, lpType,
                                    lpData, lpcbData);
    }
    LONG RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) override {
        return inner_.RegDeleteKeyW(hKey, lpSubKey);
    }
    LONG RegCloseKey(HKEY hKey) override { return inner_.RegCloseKey(hKey); }
    DWORD GetPrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpDefault,
                                   LPWSTR lpReturnedString, DWORD nSize,
                                   LPCWSTR lpFileName) override {
        return inner_.GetPrivateProfileStringW(lpAppName, lpKeyName, lpDefault, lpReturnedString,
                                               nSize, lpFileName);
    }
    UINT GetPrivateProfileIntW(LPCWSTR lpAppName, LPCWSTR lpKeyName, INT nDefault,
                               LPCWSTR lpFileName) override {
        return inner_.GetPrivateProfileIntW(lpAppName, lpKeyName, nDefault, lpFileName);
    }
    DWORD GetPrivateProfileSectionNamesW(LPWSTR lpszReturnBuffer, DWORD nSize,
                                         LPCWSTR lpFileName) override {
        return inner_.GetPrivateProfileSectionNamesW(lpszReturnBuffer, nSize, lpFileName);
    }
    BOOL WritePrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpString,
                                    LPCWSTR lpFileName) override {
        return inner_.WritePrivateProfileStringW(lpAppName, lpKeyName, lpString, lpFileName);
    }
    DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) override {
        return inner_.GetModuleFileNameW(hModule, lpFilename, nSize);
    }
    HMODULE GetModuleHandleW(LPCWSTR lpModuleName) override {
        return inner_.GetModuleHandleW(lpModuleName);
    }
    LPWSTR GetCommandLineW() override { return inner_.GetCommandLineW(); }
    UINT GetSystemDirectoryW(LPWSTR lpBuffer, UINT uSize) override {
        return inner_.GetSystemDirectoryW(lpBuffer, uSize);
    }
    UINT GetWindowsDirectoryW(LPWSTR lpBuffer, UINT uSize) override {
        return inner_.GetWindowsDirectoryW(lpBuffer, uSize);
    }
    HANDLE FindFirstFileW(LPCWSTR lpFileName, WIN32_FIND_DATAW* lpFindFileData) override {
        return inner_.FindFirstFileW(lpFileName, lpFindFileData);
    }
    BOOL FindClose(HANDLE hFindFile) override { return inner_.FindClose(hFindFile); }
    HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                       void* lpSecurityAttributes, DWORD dwCreationDisposition,
                       DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) override {
        return inner_.CreateFileW(lpFileName, dwDesiredAccess, dwShareMode, lpSecurityAttributes,
                                  dwCreationDisposition, dwFlagsAndAttributes, hTemplateFile);
    }
    BOOL WriteFile(HANDLE hFile, const void* lpBuffer, DWORD nNumberOfBytesToWrite,
                   DWORD* lpNumberOfBytesWritten, void* lpOverlapped) override {
        return inner_.WriteFile(hFile, lpBuffer, nNumberOfBytesToWrite, lpNumberOfBytesWritten,
                                lpOverlapped);
    }
    BOOL CloseHandle(HANDLE hObject) override { return inner_.CloseHandle(hObject); }
    void GetLocalTime(SYSTEMTIME* lpSystemTime) override { inner_.GetLocalTime(lpSystemTime); }
    void Sleep(DWORD dwMilliseconds) override { inner_.Sleep(dwMilliseconds); }
    DWORD GetLastError() override { return inner_.GetLastError(); }
    void SetLastError(DWORD dwErrCode) override { inner_.SetLastError(dwErrCode); }
    int GetLocaleInfoW(LCID Locale, LCTYPE LCType, LPWSTR lpLCData, int cchData) override {
        return inner_.GetLocaleInfoW(Locale, LCType, lpLCData, cchData);
    }
    void OutputDebugStringW(LPCWSTR lpOutputString) override {
        inner_.OutputDebugStringW(lpOutputString);
    }
    HANDLE GetStdHandle(DWORD nStdHandle) override { return inner_.GetStdHandle(nStdHandle); }
    BOOL GetConsoleMode(HANDLE hConsoleHandle, DWORD* lpMode) override {
        return inner_.GetConsoleMode(hConsoleHandle, lpMode);
    }
    BOOL WriteConsoleW(HANDLE hConsoleOutput, const void* lpBuffer, DWORD nNumberOfCharsToWrite,
                       DWORD* lpNumberOfCharsWritten, void* lpReserved) override {
        return inner_.WriteConsoleW(hConsoleOutput, lpBuffer, nNumberOfCharsToWrite,
                                    lpNumberOfCharsWritten, lpReserved);
    }
    SC_HANDLE OpenSCManagerW(LPCWSTR lpMachineName, LPCWSTR lpDatabaseName,
                             DWORD dwDesiredAccess) override {
        return inner_.OpenSCManagerW(lpMachineName, lpDatabaseName, dwDesiredAccess);
    }
    SC_HANDLE CreateServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName, LPCWSTR lpDisplayName,
                             DWORD dwDesiredAccess, DWORD dwServiceType, DWORD dwStartType,
                             DWORD dwErrorControl, LPCWSTR lpBinaryPathName,
                             LPCWSTR lpLoadOrderGroup, DWORD* lpdwTagId, LPCWSTR lpDependencies,
                             LPCWSTR lpServiceStartName, LPCWSTR lpPassword) override {
        return inner_.CreateServiceW(hSCManager, lpServiceName, lpDisplayName, dwDesiredAccess,
                                     dwServiceType, dwStartType, dwErrorControl, lpBinaryPathName,
                                     lpLoadOrderGroup, lpdwTagId, lpDependencies,
                                     lpServiceStartName, lpPassword);
    }
    SC_HANDLE OpenServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName,
                           DWORD dwDesiredAccess) override {
        return inner_.OpenServiceW(hSCManager, lpServiceName, dwDesiredAccess);
    }
    BOOL DeleteService(SC_HANDLE hService) override { return inner_.DeleteService(hService); }
    BOOL StartServiceW(SC_HANDLE hService, DWORD dwNumServiceArgs,
                       LPCWSTR* lpServiceArgVectors) override {
        return inner_.StartServiceW(hService, dwNumServiceArgs, lpServiceArgVectors);
    }
    BOOL ControlService(SC_HANDLE hService, DWORD dwControl,
                        SERVICE_STATUS* lpServiceStatus) override {
        return inner_.ControlService(hService, dwControl, lpServiceStatus);
    }
    BOOL CloseServiceHandle(SC_HANDLE hSCObject) override {
        return inner_.CloseServiceHandle(hSCObject);
    }
    BOOL StartServiceCtrlDispatcherW(const SERVICE_TABLE_ENTRYW* lpServiceStartTable) override {
        return inner_.StartServiceCtrlDispatcherW(lpServiceStartTable);
    }
    SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerW(LPCWSTR lpServiceName,
                                                      LPHANDLER_FUNCTION lpHandlerProc) override {
        return inner_.RegisterServiceCtrlHandlerW(lpServiceName, lpHandlerProc);
    }
    BOOL SetServiceStatus(SERVICE_STATUS_HANDLE hServiceStatus,
                          SERVICE_STATUS* lpServiceStatus) override {
        return inner_.SetServiceStatus(hServiceStatus, lpServiceStatus);
    }
    BOOL SetupDiClassGuidsFromNameW(LPCWSTR ClassName, GUID* ClassGuidList, DWORD ClassGuidListSize,
                                    DWORD* RequiredSize) override {
        return inner_.SetupDiClassGuidsFromNameW(ClassName, ClassGuidList, ClassGuidListSize,
                                                 RequiredSize);
    }
    HDEVINFO SetupDiGetClassDevsW(const GUID* ClassGuid, LPCWSTR Enumerator, void* hwndParent,
                                  DWORD Flags) override {
        return inner_.SetupDiGetClassDevsW(ClassGuid, Enumerator, hwndParent, Flags);
    }
    BOOL SetupDiEnumDeviceInfo(HDEVINFO DeviceInfoSet, DWORD MemberIndex,
                               SP_DEVINFO_DATA* DeviceInfoData) override {
        return inner_.SetupDiEnumDeviceInfo(DeviceInfoSet, MemberIndex, DeviceInfoData);
    }
    BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO DeviceInfoSet, SP_DEVINFO_DATA* DeviceInfoData,
                                           DWORD Property, DWORD* PropertyRegDataType,
                                           BYTE* PropertyBuffer, DWORD PropertyBufferSize,
                                           DWORD* RequiredSize) override {
        return inner_.SetupDiGetDeviceRegistryPropertyW(DeviceInfoSet, DeviceInfoData, Property,
                                                        PropertyRegDataType, PropertyBuffer,
                                                        PropertyBufferSize, RequiredSize);
    }
    BOOL SetupDiSetClassInstallParamsW(HDEVINFO DeviceInfoSet, SP_DEVINFO_DATA* DeviceInfoData,
                                       SP_CLASSINSTALL_HEADER* ClassInstallParams,
                                       DWORD ClassInstallParamsSize) override {
        return inner_.SetupDiSetClassInstallParamsW(DeviceInfoSet, DeviceInfoData,
                                                    ClassInstallParams, ClassInstallParamsSize);
    }
    BOOL SetupDiCallClassInstaller(DI_FUNCTION InstallFunction, HDEVINFO DeviceInfoSet,
                                   SP_DEVINFO_DATA* DeviceInfoData) override {
        return inner_.SetupDiCallClassInstaller(InstallFunction, DeviceInfoSet, DeviceInfoData);
    }
    BOOL SetupDiGetDeviceInstanceIdW(HDEVINFO DeviceInfoSet, SP_DEVINFO_DATA* DeviceInfoData,
                                     LPWSTR DeviceInstanceId, DWORD DeviceInstanceIdSize,
                                     DWORD* RequiredSize) override {
        return inner_.SetupDiGetDeviceInstanceIdW(DeviceInfoSet, DeviceInfoData, DeviceInstanceId,
                                                  DeviceInstanceIdSize, RequiredSize);
    }
    BOOL SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) override {
        return inner_.SetupDiDestroyDeviceInfoList(DeviceInfoSet);
    }

  private:
    Platform& inner_;
};

}  // namespace ze
