#include "platform/sim/sim_platform.h"

#include "platform/sim/machine_file.h"
#include "platform/sim/machine_registry.h"

namespace ze::sim {

SimPlatform::SimPlatform(std::filesystem::path root)
    : SimPlatform(std::move(root), std::nullopt, MachineSettings{}, RegistryStore::InMemory()) {}

SimPlatform::SimPlatform(std::filesystem::path root, std::optional<std::filesystem::path> folder,
                         MachineSettings settings, std::unique_ptr<RegistryStore> registry)
    : machine_(std::move(root), std::move(folder), std::move(settings), std::move(registry)),
      system_(machine_),
      registry_(machine_),
      files_(machine_),
      profiles_(machine_, files_),
      security_(machine_, files_),
      serviceStates_(machine_.Registry().DatabaseOf()),
      services_(machine_, serviceStates_),
      dispatcher_(machine_, serviceStates_, services_),
      devices_(machine_),
      eventLog_(machine_) {
    std::filesystem::create_directories(machine_.Root() / "C");
}

std::unique_ptr<SimPlatform> SimPlatform::OpenMachine(const std::filesystem::path& dir,
                                                      std::string* error) {
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec)) {
        *error = "machine folder " + dir.string() + " does not exist";
        return nullptr;
    }
    MachineSettings settings;
    if (!ReadMachineSettings(dir / "machine.ini", &settings, error))
        return nullptr;
    std::unique_ptr<RegistryStore> registry = OpenMachineRegistry(dir, true, stderr, error);
    if (!registry)
        return nullptr;
    return std::unique_ptr<SimPlatform>(
        new SimPlatform(dir, dir, std::move(settings), std::move(registry)));
}

bool SimPlatform::CreateMachine(const std::filesystem::path& dir, const MachineSettings& settings,
                                std::string* error) {
    std::error_code ec;
    std::filesystem::create_directories(dir / "C", ec);
    if (ec) {
        *error = "cannot create " + dir.string() + ": " + ec.message();
        return false;
    }
    if (!WriteMachineSettings(dir / "machine.ini", settings)) {
        *error = "cannot write the machine files in " + dir.string();
        return false;
    }
    return true;
}

// ---- each call to its room ----

LONG SimPlatform::RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                                HKEY* phkResult) {
    return registry_.RegOpenKeyExW(hKey, lpSubKey, ulOptions, samDesired, phkResult);
}

LONG SimPlatform::RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass,
                                  DWORD dwOptions, REGSAM samDesired, void* lpSecurityAttributes,
                                  HKEY* phkResult, DWORD* lpdwDisposition) {
    return registry_.RegCreateKeyExW(hKey, lpSubKey, Reserved, lpClass, dwOptions, samDesired,
                                     lpSecurityAttributes, phkResult, lpdwDisposition);
}

LONG SimPlatform::RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD* lpReserved, DWORD* lpType,
                                   BYTE* lpData, DWORD* lpcbData) {
    return registry_.RegQueryValueExW(hKey, lpValueName, lpReserved, lpType, lpData, lpcbData);
}

LONG SimPlatform::RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                                 const BYTE* lpData, DWORD cbData) {
    return registry_.RegSetValueExW(hKey, lpValueName, Reserved, dwType, lpData, cbData);
}

LONG SimPlatform::RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, DWORD* lpcchClass, DWORD* lpReserved,
                                   DWORD* lpcSubKeys, DWORD* lpcbMaxSubKeyLen,
                                   DWORD* lpcbMaxClassLen, DWORD* lpcValues,
                                   DWORD* lpcbMaxValueNameLen, DWORD* lpcbMaxValueLen,
                                   DWORD* lpcbSecurityDescriptor, FILETIME* lpftLastWriteTime) {
    return registry_.RegQueryInfoKeyW(
        hKey, lpClass, lpcchClass, lpReserved, lpcSubKeys, lpcbMaxSubKeyLen, lpcbMaxClassLen,
        lpcValues, lpcbMaxValueNameLen, lpcbMaxValueLen, lpcbSecurityDescriptor, lpftLastWriteTime);
}

LONG SimPlatform::RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, DWORD* lpcchName,
                                DWORD* lpReserved, LPWSTR lpClass, DWORD* lpcchClass,
                                FILETIME* lpftLastWriteTime) {
    return registry_.RegEnumKeyExW(hKey, dwIndex, lpName, lpcchName, lpReserved, lpClass,
                                   lpcchClass, lpftLastWriteTime);
}

LONG SimPlatform::RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, DWORD* lpcchValueName,
                                DWORD* lpReserved, DWORD* lpType, BYTE* lpData, DWORD* lpcbData) {
    return registry_.RegEnumValueW(hKey, dwIndex, lpValueName, lpcchValueName, lpReserved, lpType,
                                   lpData, lpcbData);
}

LONG SimPlatform::RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
    return registry_.RegDeleteKeyW(hKey, lpSubKey);
}

LONG SimPlatform::RegCloseKey(HKEY hKey) {
    return registry_.RegCloseKey(hKey);
}

DWORD SimPlatform::GetPrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpDefault,
                                            LPWSTR lpReturnedString, DWORD nSize,
                                            LPCWSTR lpFileName) {
    return profiles_.GetPrivateProfileStringW(lpAppName, lpKeyName, lpDefault, lpReturnedString,
                                              nSize, lpFileName);
}

UINT SimPlatform::GetPrivateProfileIntW(LPCWSTR lpAppName, LPCWSTR lpKeyName, INT nDefault,
                                        LPCWSTR lpFileName) {
    return profiles_.GetPrivateProfileIntW(lpAppName, lpKeyName, nDefault, lpFileName);
}

DWORD SimPlatform::GetPrivateProfileSectionNamesW(LPWSTR lpszReturnBuffer, DWORD nSize,
                                                  LPCWSTR lpFileName) {
    return profiles_.GetPrivateProfileSectionNamesW(lpszReturnBuffer, nSize, lpFileName);
}

BOOL SimPlatform::WritePrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpString,
                                             LPCWSTR lpFileName) {
    return profiles_.WritePrivateProfileStringW(lpAppName, lpKeyName, lpString, lpFileName);
}

DWORD SimPlatform::GetModuleFileNameW(HMODULE, LPWSTR lpFilename, DWORD nSize) {
    return system_.GetModuleFileName(lpFilename, nSize);
}

HMODULE SimPlatform::GetModuleHandleW(LPCWSTR lpModuleName) {
    return system_.GetModuleHandle(lpModuleName);
}

LPWSTR SimPlatform::GetCommandLineW() {
    return system_.GetCommandLine();
}

BOOL SimPlatform::IsUserAnAdmin() {
    return machine_.Settings().administrator ? TRUE : FALSE;
}

DWORD SimPlatform::GetNamedSecurityInfoW(LPCWSTR pObjectName, SE_OBJECT_TYPE ObjectType,
                                         SECURITY_INFORMATION SecurityInfo, PSID* ppsidOwner,
                                         PSID* ppsidGroup, PACL* ppDacl, PACL* ppSacl,
                                         PSECURITY_DESCRIPTOR* ppSecurityDescriptor) {
    return security_.GetNamedSecurityInfo(pObjectName, ObjectType, SecurityInfo, ppsidOwner,
                                          ppsidGroup, ppDacl, ppSacl, ppSecurityDescriptor);
}

BOOL SimPlatform::ConvertSecurityDescriptorToStringSecurityDescriptorW(
    PSECURITY_DESCRIPTOR SecurityDescriptor, DWORD RequestedStringSDRevision,
    SECURITY_INFORMATION SecurityInformation, LPWSTR* StringSecurityDescriptor,
    ULONG* StringSecurityDescriptorLen) {
    return security_.ConvertToString(SecurityDescriptor, RequestedStringSDRevision,
                                     SecurityInformation, StringSecurityDescriptor,
                                     StringSecurityDescriptorLen);
}

HLOCAL SimPlatform::LocalFree(HLOCAL hMem) {
    return security_.LocalFree(hMem);
}

UINT SimPlatform::GetSystemDirectoryW(LPWSTR lpBuffer, UINT uSize) {
    return system_.GetSystemDirectory(lpBuffer, uSize);
}

UINT SimPlatform::GetWindowsDirectoryW(LPWSTR lpBuffer, UINT uSize) {
    return system_.GetWindowsDirectory(lpBuffer, uSize);
}

HANDLE SimPlatform::FindFirstFileW(LPCWSTR lpFileName, WIN32_FIND_DATAW* lpFindFileData) {
    return files_.FindFirstFileW(lpFileName, lpFindFileData);
}

BOOL SimPlatform::FindClose(HANDLE hFindFile) {
    return files_.FindClose(hFindFile);
}

HANDLE SimPlatform::CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode, void*,
                                DWORD dwCreationDisposition, DWORD, HANDLE) {
    return files_.CreateFileW(lpFileName, dwDesiredAccess, dwShareMode, dwCreationDisposition);
}

BOOL SimPlatform::WriteFile(HANDLE hFile, const void* lpBuffer, DWORD nNumberOfBytesToWrite,
                            DWORD* lpNumberOfBytesWritten, void*) {
    return files_.WriteFile(hFile, lpBuffer, nNumberOfBytesToWrite, lpNumberOfBytesWritten);
}

BOOL SimPlatform::FlushFileBuffers(HANDLE hFile) {
    return files_.FlushFileBuffers(hFile);
}

BOOL SimPlatform::ReadFile(HANDLE hFile, void* lpBuffer, DWORD nNumberOfBytesToRead,
                           DWORD* lpNumberOfBytesRead, void*) {
    return files_.ReadFile(hFile, lpBuffer, nNumberOfBytesToRead, lpNumberOfBytesRead);
}

BOOL SimPlatform::CloseHandle(HANDLE hObject) {
    return files_.CloseHandle(hObject);
}

void SimPlatform::GetLocalTime(SYSTEMTIME* lpSystemTime) {
    system_.GetLocalTime(lpSystemTime);
}

void SimPlatform::Sleep(DWORD dwMilliseconds) {
    system_.Sleep(dwMilliseconds);
}

DWORD SimPlatform::GetLastError() {
    return Machine::LastError();
}

void SimPlatform::SetLastError(DWORD dwErrCode) {
    Machine::SetLastError(dwErrCode);
}

void SimPlatform::ExitProcess(UINT uExitCode) {
    throw ProcessExit{uExitCode};
}

int SimPlatform::GetLocaleInfoW(LCID Locale, LCTYPE LCType, LPWSTR lpLCData, int cchData) {
    return system_.GetLocaleInfo(Locale, LCType, lpLCData, cchData);
}

void SimPlatform::OutputDebugStringW(LPCWSTR lpOutputString) {
    system_.OutputDebugString(lpOutputString);
}

HANDLE SimPlatform::GetStdHandle(DWORD nStdHandle) {
    return system_.GetStdHandle(nStdHandle);
}

BOOL SimPlatform::GetConsoleMode(HANDLE hConsoleHandle, DWORD* lpMode) {
    return system_.GetConsoleMode(hConsoleHandle, lpMode);
}

BOOL SimPlatform::WriteConsoleW(HANDLE hConsoleOutput, const void* lpBuffer,
                                DWORD nNumberOfCharsToWrite, DWORD* lpNumberOfCharsWritten, void*) {
    return system_.WriteConsole(hConsoleOutput, lpBuffer, nNumberOfCharsToWrite,
                                lpNumberOfCharsWritten);
}

SC_HANDLE SimPlatform::OpenSCManagerW(LPCWSTR lpMachineName, LPCWSTR lpDatabaseName,
                                      DWORD dwDesiredAccess) {
    return services_.OpenSCManager(lpMachineName, lpDatabaseName, dwDesiredAccess);
}

// Load order groups, tags, dependencies and accounts are not modelled: every service
// runs as LocalSystem.
SC_HANDLE SimPlatform::CreateServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName,
                                      LPCWSTR lpDisplayName, DWORD dwDesiredAccess,
                                      DWORD dwServiceType, DWORD dwStartType, DWORD dwErrorControl,
                                      LPCWSTR lpBinaryPathName, LPCWSTR, DWORD*, LPCWSTR, LPCWSTR,
                                      LPCWSTR) {
    return services_.CreateService(hSCManager, lpServiceName, lpDisplayName, dwDesiredAccess,
                                   dwServiceType, dwStartType, dwErrorControl, lpBinaryPathName);
}

SC_HANDLE SimPlatform::OpenServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName,
                                    DWORD dwDesiredAccess) {
    return services_.OpenService(hSCManager, lpServiceName, dwDesiredAccess);
}

// As CreateServiceW, without load order groups, tags, dependencies or accounts.
BOOL SimPlatform::ChangeServiceConfigW(SC_HANDLE hService, DWORD dwServiceType, DWORD dwStartType,
                                       DWORD dwErrorControl, LPCWSTR lpBinaryPathName, LPCWSTR,
                                       DWORD*, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR lpDisplayName) {
    return services_.ChangeServiceConfig(hService, dwServiceType, dwStartType, dwErrorControl,
                                         lpBinaryPathName, lpDisplayName);
}

BOOL SimPlatform::DeleteService(SC_HANDLE hService) {
    return services_.DeleteService(hService);
}

BOOL SimPlatform::StartServiceW(SC_HANDLE hService, DWORD, LPCWSTR*) {
    return services_.StartService(hService);
}

BOOL SimPlatform::ControlService(SC_HANDLE hService, DWORD dwControl,
                                 SERVICE_STATUS* lpServiceStatus) {
    return services_.ControlService(hService, dwControl, lpServiceStatus);
}

BOOL SimPlatform::CloseServiceHandle(SC_HANDLE hSCObject) {
    return services_.CloseServiceHandle(hSCObject);
}

BOOL SimPlatform::StartServiceCtrlDispatcherW(const SERVICE_TABLE_ENTRYW* lpServiceStartTable) {
    return dispatcher_.StartServiceCtrlDispatcher(lpServiceStartTable);
}

SERVICE_STATUS_HANDLE SimPlatform::RegisterServiceCtrlHandlerExW(
    LPCWSTR lpServiceName, LPHANDLER_FUNCTION_EX lpHandlerProc, void* lpContext) {
    return dispatcher_.RegisterServiceCtrlHandler(lpServiceName, lpHandlerProc, lpContext);
}

BOOL SimPlatform::SetServiceStatus(SERVICE_STATUS_HANDLE hServiceStatus,
                                   SERVICE_STATUS* lpServiceStatus) {
    return dispatcher_.SetServiceStatus(hServiceStatus, lpServiceStatus);
}

BOOL SimPlatform::SetupDiClassGuidsFromNameW(LPCWSTR ClassName, GUID* ClassGuidList,
                                             DWORD ClassGuidListSize, DWORD* RequiredSize) {
    return devices_.ClassGuidsFromName(ClassName, ClassGuidList, ClassGuidListSize, RequiredSize);
}

HDEVINFO SimPlatform::SetupDiGetClassDevsW(const GUID* ClassGuid, LPCWSTR Enumerator, void*,
                                           DWORD Flags) {
    return devices_.GetClassDevs(ClassGuid, Enumerator, Flags);
}

BOOL SimPlatform::SetupDiEnumDeviceInfo(HDEVINFO DeviceInfoSet, DWORD MemberIndex,
                                        SP_DEVINFO_DATA* DeviceInfoData) {
    return devices_.EnumDeviceInfo(DeviceInfoSet, MemberIndex, DeviceInfoData);
}

BOOL SimPlatform::SetupDiGetDeviceRegistryPropertyW(HDEVINFO DeviceInfoSet,
                                                    SP_DEVINFO_DATA* DeviceInfoData, DWORD Property,
                                                    DWORD* PropertyRegDataType,
                                                    BYTE* PropertyBuffer, DWORD PropertyBufferSize,
                                                    DWORD* RequiredSize) {
    return devices_.GetDeviceRegistryProperty(DeviceInfoSet, DeviceInfoData, Property,
                                              PropertyRegDataType, PropertyBuffer,
                                              PropertyBufferSize, RequiredSize);
}

BOOL SimPlatform::SetupDiSetClassInstallParamsW(HDEVINFO DeviceInfoSet,
                                                SP_DEVINFO_DATA* DeviceInfoData,
                                                SP_CLASSINSTALL_HEADER* ClassInstallParams,
                                                DWORD ClassInstallParamsSize) {
    return devices_.SetClassInstallParams(DeviceInfoSet, DeviceInfoData, ClassInstallParams,
                                          ClassInstallParamsSize);
}

BOOL SimPlatform::SetupDiCallClassInstaller(DI_FUNCTION InstallFunction, HDEVINFO DeviceInfoSet,
                                            SP_DEVINFO_DATA* DeviceInfoData) {
    return devices_.CallClassInstaller(InstallFunction, DeviceInfoSet, DeviceInfoData);
}

BOOL SimPlatform::SetupDiGetDeviceInstallParamsW(HDEVINFO DeviceInfoSet,
                                                 SP_DEVINFO_DATA* DeviceInfoData,
                                                 SP_DEVINSTALL_PARAMS_W* DeviceInstallParams) {
    return devices_.GetDeviceInstallParams(DeviceInfoSet, DeviceInfoData, DeviceInstallParams);
}

BOOL SimPlatform::SetupDiGetDeviceInstanceIdW(HDEVINFO DeviceInfoSet,
                                              SP_DEVINFO_DATA* DeviceInfoData,
                                              LPWSTR DeviceInstanceId, DWORD DeviceInstanceIdSize,
                                              DWORD* RequiredSize) {
    return devices_.GetDeviceInstanceId(DeviceInfoSet, DeviceInfoData, DeviceInstanceId,
                                        DeviceInstanceIdSize, RequiredSize);
}

BOOL SimPlatform::SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) {
    return devices_.DestroyDeviceInfoList(DeviceInfoSet);
}

HANDLE SimPlatform::RegisterEventSourceW(LPCWSTR lpUNCServerName, LPCWSTR lpSourceName) {
    return eventLog_.RegisterEventSource(lpUNCServerName, lpSourceName);
}

BOOL SimPlatform::ReportEventW(HANDLE hEventLog, WORD wType, WORD, DWORD dwEventID, void*,
                               WORD wNumStrings, DWORD, LPCWSTR* lpStrings, void*) {
    return eventLog_.ReportEvent(hEventLog, wType, dwEventID, wNumStrings, lpStrings);
}

BOOL SimPlatform::DeregisterEventSource(HANDLE hEventLog) {
    return eventLog_.DeregisterEventSource(hEventLog);
}

}  // namespace ze::sim
