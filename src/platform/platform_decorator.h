// A Platform that forwards every call to another one. Layers that wrap the whole
// program (a dry run, a sweep that counts calls or makes them fail) derive from it and
// override only the calls they change; OnCall sees the name of every call first.
#pragma once

#include "platform/platform.h"

namespace ze {

class PlatformDecorator : public Platform {
  public:
    explicit PlatformDecorator(Platform& inner) : inner_(inner) {}

    Platform& Inner() { return inner_; }

    LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                       HKEY* phkResult) override {
        OnCall("RegOpenKeyExW");
        return inner_.RegOpenKeyExW(hKey, lpSubKey, ulOptions, samDesired, phkResult);
    }
    LONG RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass,
                         DWORD dwOptions, REGSAM samDesired, void* lpSecurityAttributes,
                         HKEY* phkResult, DWORD* lpdwDisposition) override {
        OnCall("RegCreateKeyExW");
        return inner_.RegCreateKeyExW(hKey, lpSubKey, Reserved, lpClass, dwOptions, samDesired,
                                      lpSecurityAttributes, phkResult, lpdwDisposition);
    }
    LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD* lpReserved, DWORD* lpType,
                          BYTE* lpData, DWORD* lpcbData) override {
        OnCall("RegQueryValueExW");
        return inner_.RegQueryValueExW(hKey, lpValueName, lpReserved, lpType, lpData, lpcbData);
    }
    LONG RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                        const BYTE* lpData, DWORD cbData) override {
        OnCall("RegSetValueExW");
        return inner_.RegSetValueExW(hKey, lpValueName, Reserved, dwType, lpData, cbData);
    }
    LONG RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, DWORD* lpcchClass, DWORD* lpReserved,
                          DWORD* lpcSubKeys, DWORD* lpcbMaxSubKeyLen, DWORD* lpcbMaxClassLen,
                          DWORD* lpcValues, DWORD* lpcbMaxValueNameLen, DWORD* lpcbMaxValueLen,
                          DWORD* lpcbSecurityDescriptor, FILETIME* lpftLastWriteTime) override {
        OnCall("RegQueryInfoKeyW");
        return inner_.RegQueryInfoKeyW(hKey, lpClass, lpcchClass, lpReserved, lpcSubKeys,
                                       lpcbMaxSubKeyLen, lpcbMaxClassLen, lpcValues,
                                       lpcbMaxValueNameLen, lpcbMaxValueLen, lpcbSecurityDescriptor,
                                       lpftLastWriteTime);
    }
    LONG RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, DWORD* lpcchName, DWORD* lpReserved,
                       LPWSTR lpClass, DWORD* lpcchClass, FILETIME* lpftLastWriteTime) override {
        OnCall("RegEnumKeyExW");
        return inner_.RegEnumKeyExW(hKey, dwIndex, lpName, lpcchName, lpReserved, lpClass,
                                    lpcchClass, lpftLastWriteTime);
    }
    LONG RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, DWORD* lpcchValueName,
                       DWORD* lpReserved, DWORD* lpType, BYTE* lpData, DWORD* lpcbData) override {
        OnCall("RegEnumValueW");
        return inner_.RegEnumValueW(hKey, dwIndex, lpValueName, lpcchValueName, lpReserved, lpType,
                                    lpData, lpcbData);
    }
    LONG RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) override {
        OnCall("RegDeleteKeyW");
        return inner_.RegDeleteKeyW(hKey, lpSubKey);
    }
    LONG RegCloseKey(HKEY hKey) override {
        OnCall("RegCloseKey");
        return inner_.RegCloseKey(hKey);
    }
    DWORD GetPrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpDefault,
                                   LPWSTR lpReturnedString, DWORD nSize,
                                   LPCWSTR lpFileName) override {
        OnCall("GetPrivateProfileStringW");
        return inner_.GetPrivateProfileStringW(lpAppName, lpKeyName, lpDefault, lpReturnedString,
                                               nSize, lpFileName);
    }
    UINT GetPrivateProfileIntW(LPCWSTR lpAppName, LPCWSTR lpKeyName, INT nDefault,
                               LPCWSTR lpFileName) override {
        OnCall("GetPrivateProfileIntW");
        return inner_.GetPrivateProfileIntW(lpAppName, lpKeyName, nDefault, lpFileName);
    }
    DWORD GetPrivateProfileSectionNamesW(LPWSTR lpszReturnBuffer, DWORD nSize,
                                         LPCWSTR lpFileName) override {
        OnCall("GetPrivateProfileSectionNamesW");
        return inner_.GetPrivateProfileSectionNamesW(lpszReturnBuffer, nSize, lpFileName);
    }
    BOOL WritePrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpString,
                                    LPCWSTR lpFileName) override {
        OnCall("WritePrivateProfileStringW");
        return inner_.WritePrivateProfileStringW(lpAppName, lpKeyName, lpString, lpFileName);
    }
    DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) override {
        OnCall("GetModuleFileNameW");
        return inner_.GetModuleFileNameW(hModule, lpFilename, nSize);
    }
    HMODULE GetModuleHandleW(LPCWSTR lpModuleName) override {
        OnCall("GetModuleHandleW");
        return inner_.GetModuleHandleW(lpModuleName);
    }
    LPWSTR GetCommandLineW() override {
        OnCall("GetCommandLineW");
        return inner_.GetCommandLineW();
    }
    UINT GetSystemDirectoryW(LPWSTR lpBuffer, UINT uSize) override {
        OnCall("GetSystemDirectoryW");
        return inner_.GetSystemDirectoryW(lpBuffer, uSize);
    }
    UINT GetWindowsDirectoryW(LPWSTR lpBuffer, UINT uSize) override {
        OnCall("GetWindowsDirectoryW");
        return inner_.GetWindowsDirectoryW(lpBuffer, uSize);
    }
    HANDLE FindFirstFileW(LPCWSTR lpFileName, WIN32_FIND_DATAW* lpFindFileData) override {
        OnCall("FindFirstFileW");
        return inner_.FindFirstFileW(lpFileName, lpFindFileData);
    }
    BOOL FindClose(HANDLE hFindFile) override {
        OnCall("FindClose");
        return inner_.FindClose(hFindFile);
    }
    HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                       void* lpSecurityAttributes, DWORD dwCreationDisposition,
                       DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) override {
        OnCall("CreateFileW");
        return inner_.CreateFileW(lpFileName, dwDesiredAccess, dwShareMode, lpSecurityAttributes,
                                  dwCreationDisposition, dwFlagsAndAttributes, hTemplateFile);
    }
    BOOL WriteFile(HANDLE hFile, const void* lpBuffer, DWORD nNumberOfBytesToWrite,
                   DWORD* lpNumberOfBytesWritten, void* lpOverlapped) override {
        OnCall("WriteFile");
        return inner_.WriteFile(hFile, lpBuffer, nNumberOfBytesToWrite, lpNumberOfBytesWritten,
                                lpOverlapped);
    }
    BOOL ReadFile(HANDLE hFile, void* lpBuffer, DWORD nNumberOfBytesToRead,
                  DWORD* lpNumberOfBytesRead, void* lpOverlapped) override {
        OnCall("ReadFile");
        return inner_.ReadFile(hFile, lpBuffer, nNumberOfBytesToRead, lpNumberOfBytesRead,
                               lpOverlapped);
    }
    BOOL CloseHandle(HANDLE hObject) override {
        OnCall("CloseHandle");
        return inner_.CloseHandle(hObject);
    }
    void GetLocalTime(SYSTEMTIME* lpSystemTime) override {
        OnCall("GetLocalTime");
        inner_.GetLocalTime(lpSystemTime);
    }
    void Sleep(DWORD dwMilliseconds) override {
        OnCall("Sleep");
        inner_.Sleep(dwMilliseconds);
    }
    DWORD GetLastError() override {
        OnCall("GetLastError");
        return inner_.GetLastError();
    }
    void SetLastError(DWORD dwErrCode) override {
        OnCall("SetLastError");
        inner_.SetLastError(dwErrCode);
    }
    void ExitProcess(UINT uExitCode) override {
        OnCall("ExitProcess");
        inner_.ExitProcess(uExitCode);
    }
    int GetLocaleInfoW(LCID Locale, LCTYPE LCType, LPWSTR lpLCData, int cchData) override {
        OnCall("GetLocaleInfoW");
        return inner_.GetLocaleInfoW(Locale, LCType, lpLCData, cchData);
    }
    void OutputDebugStringW(LPCWSTR lpOutputString) override {
        OnCall("OutputDebugStringW");
        inner_.OutputDebugStringW(lpOutputString);
    }
    HANDLE GetStdHandle(DWORD nStdHandle) override {
        OnCall("GetStdHandle");
        return inner_.GetStdHandle(nStdHandle);
    }
    BOOL GetConsoleMode(HANDLE hConsoleHandle, DWORD* lpMode) override {
        OnCall("GetConsoleMode");
        return inner_.GetConsoleMode(hConsoleHandle, lpMode);
    }
    BOOL WriteConsoleW(HANDLE hConsoleOutput, const void* lpBuffer, DWORD nNumberOfCharsToWrite,
                       DWORD* lpNumberOfCharsWritten, void* lpReserved) override {
        OnCall("WriteConsoleW");
        return inner_.WriteConsoleW(hConsoleOutput, lpBuffer, nNumberOfCharsToWrite,
                                    lpNumberOfCharsWritten, lpReserved);
    }
    SC_HANDLE OpenSCManagerW(LPCWSTR lpMachineName, LPCWSTR lpDatabaseName,
                             DWORD dwDesiredAccess) override {
        OnCall("OpenSCManagerW");
        return inner_.OpenSCManagerW(lpMachineName, lpDatabaseName, dwDesiredAccess);
    }
    SC_HANDLE CreateServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName, LPCWSTR lpDisplayName,
                             DWORD dwDesiredAccess, DWORD dwServiceType, DWORD dwStartType,
                             DWORD dwErrorControl, LPCWSTR lpBinaryPathName,
                             LPCWSTR lpLoadOrderGroup, DWORD* lpdwTagId, LPCWSTR lpDependencies,
                             LPCWSTR lpServiceStartName, LPCWSTR lpPassword) override {
        OnCall("CreateServiceW");
        return inner_.CreateServiceW(hSCManager, lpServiceName, lpDisplayName, dwDesiredAccess,
                                     dwServiceType, dwStartType, dwErrorControl, lpBinaryPathName,
                                     lpLoadOrderGroup, lpdwTagId, lpDependencies,
                                     lpServiceStartName, lpPassword);
    }
    SC_HANDLE OpenServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName,
                           DWORD dwDesiredAccess) override {
        OnCall("OpenServiceW");
        return inner_.OpenServiceW(hSCManager, lpServiceName, dwDesiredAccess);
    }
    BOOL DeleteService(SC_HANDLE hService) override {
        OnCall("DeleteService");
        return inner_.DeleteService(hService);
    }
    BOOL StartServiceW(SC_HANDLE hService, DWORD dwNumServiceArgs,
                       LPCWSTR* lpServiceArgVectors) override {
        OnCall("StartServiceW");
        return inner_.StartServiceW(hService, dwNumServiceArgs, lpServiceArgVectors);
    }
    BOOL ControlService(SC_HANDLE hService, DWORD dwControl,
                        SERVICE_STATUS* lpServiceStatus) override {
        OnCall("ControlService");
        return inner_.ControlService(hService, dwControl, lpServiceStatus);
    }
    BOOL CloseServiceHandle(SC_HANDLE hSCObject) override {
        OnCall("CloseServiceHandle");
        return inner_.CloseServiceHandle(hSCObject);
    }
    BOOL StartServiceCtrlDispatcherW(const SERVICE_TABLE_ENTRYW* lpServiceStartTable) override {
        OnCall("StartServiceCtrlDispatcherW");
        return inner_.StartServiceCtrlDispatcherW(lpServiceStartTable);
    }
    SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerW(LPCWSTR lpServiceName,
                                                      LPHANDLER_FUNCTION lpHandlerProc) override {
        OnCall("RegisterServiceCtrlHandlerW");
        return inner_.RegisterServiceCtrlHandlerW(lpServiceName, lpHandlerProc);
    }
    BOOL SetServiceStatus(SERVICE_STATUS_HANDLE hServiceStatus,
                          SERVICE_STATUS* lpServiceStatus) override {
        OnCall("SetServiceStatus");
        return inner_.SetServiceStatus(hServiceStatus, lpServiceStatus);
    }
    BOOL SetupDiClassGuidsFromNameW(LPCWSTR ClassName, GUID* ClassGuidList, DWORD ClassGuidListSize,
                                    DWORD* RequiredSize) override {
        OnCall("SetupDiClassGuidsFromNameW");
        return inner_.SetupDiClassGuidsFromNameW(ClassName, ClassGuidList, ClassGuidListSize,
                                                 RequiredSize);
    }
    HDEVINFO SetupDiGetClassDevsW(const GUID* ClassGuid, LPCWSTR Enumerator, void* hwndParent,
                                  DWORD Flags) override {
        OnCall("SetupDiGetClassDevsW");
        return inner_.SetupDiGetClassDevsW(ClassGuid, Enumerator, hwndParent, Flags);
    }
    BOOL SetupDiEnumDeviceInfo(HDEVINFO DeviceInfoSet, DWORD MemberIndex,
                               SP_DEVINFO_DATA* DeviceInfoData) override {
        OnCall("SetupDiEnumDeviceInfo");
        return inner_.SetupDiEnumDeviceInfo(DeviceInfoSet, MemberIndex, DeviceInfoData);
    }
    BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO DeviceInfoSet, SP_DEVINFO_DATA* DeviceInfoData,
                                           DWORD Property, DWORD* PropertyRegDataType,
                                           BYTE* PropertyBuffer, DWORD PropertyBufferSize,
                                           DWORD* RequiredSize) override {
        OnCall("SetupDiGetDeviceRegistryPropertyW");
        return inner_.SetupDiGetDeviceRegistryPropertyW(DeviceInfoSet, DeviceInfoData, Property,
                                                        PropertyRegDataType, PropertyBuffer,
                                                        PropertyBufferSize, RequiredSize);
    }
    BOOL SetupDiSetClassInstallParamsW(HDEVINFO DeviceInfoSet, SP_DEVINFO_DATA* DeviceInfoData,
                                       SP_CLASSINSTALL_HEADER* ClassInstallParams,
                                       DWORD ClassInstallParamsSize) override {
        OnCall("SetupDiSetClassInstallParamsW");
        return inner_.SetupDiSetClassInstallParamsW(DeviceInfoSet, DeviceInfoData,
                                                    ClassInstallParams, ClassInstallParamsSize);
    }
    BOOL SetupDiCallClassInstaller(DI_FUNCTION InstallFunction, HDEVINFO DeviceInfoSet,
                                   SP_DEVINFO_DATA* DeviceInfoData) override {
        OnCall("SetupDiCallClassInstaller");
        return inner_.SetupDiCallClassInstaller(InstallFunction, DeviceInfoSet, DeviceInfoData);
    }
    BOOL SetupDiGetDeviceInstanceIdW(HDEVINFO DeviceInfoSet, SP_DEVINFO_DATA* DeviceInfoData,
                                     LPWSTR DeviceInstanceId, DWORD DeviceInstanceIdSize,
                                     DWORD* RequiredSize) override {
        OnCall("SetupDiGetDeviceInstanceIdW");
        return inner_.SetupDiGetDeviceInstanceIdW(DeviceInfoSet, DeviceInfoData, DeviceInstanceId,
                                                  DeviceInstanceIdSize, RequiredSize);
    }
    BOOL SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) override {
        OnCall("SetupDiDestroyDeviceInfoList");
        return inner_.SetupDiDestroyDeviceInfoList(DeviceInfoSet);
    }

  protected:
    // Called with the Win32 name of each call before it is forwarded.
    virtual void OnCall(const char* /*call*/) {}

  private:
    Platform& inner_;
};

}  // namespace ze
