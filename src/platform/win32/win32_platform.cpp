#include "platform/win32/win32_platform.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>

// The program's own copies of the SDK constants, taken before <windows.h> turns the
// names into macros, so that they can be compared with the SDK's values below.
#define ZE_SDK_CONSTANTS(X)                    \
    X(TRUE)                                    \
    X(FALSE)                                   \
    X(MAX_PATH)                                \
    X(STD_OUTPUT_HANDLE)                       \
    X(STD_ERROR_HANDLE)                        \
    X(ERROR_SUCCESS)                           \
    X(ERROR_FILE_NOT_FOUND)                    \
    X(ERROR_PATH_NOT_FOUND)                    \
    X(ERROR_ACCESS_DENIED)                     \
    X(ERROR_INVALID_HANDLE)                    \
    X(ERROR_NOT_ENOUGH_MEMORY)                 \
    X(ERROR_SHARING_VIOLATION)                 \
    X(ERROR_INVALID_PARAMETER)                 \
    X(ERROR_CALL_NOT_IMPLEMENTED)              \
    X(ERROR_INSUFFICIENT_BUFFER)               \
    X(ERROR_INVALID_NAME)                      \
    X(ERROR_ALREADY_EXISTS)                    \
    X(ERROR_MORE_DATA)                         \
    X(ERROR_NO_MORE_ITEMS)                     \
    X(ERROR_INVALID_SERVICE_CONTROL)           \
    X(ERROR_SERVICE_REQUEST_TIMEOUT)           \
    X(ERROR_SERVICE_ALREADY_RUNNING)           \
    X(ERROR_SERVICE_DOES_NOT_EXIST)            \
    X(ERROR_SERVICE_CANNOT_ACCEPT_CTRL)        \
    X(ERROR_SERVICE_NOT_ACTIVE)                \
    X(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) \
    X(ERROR_SERVICE_MARKED_FOR_DELETE)         \
    X(ERROR_SERVICE_EXISTS)                    \
    X(ERROR_INVALID_CLASS)                     \
    X(ERROR_NO_SUCH_DEVINST)                   \
    X(ERROR_INVALID_DATA)                      \
    X(ERROR_BAD_PATHNAME)                      \
    X(ERROR_NOACCESS)                          \
    X(ERROR_KEY_DELETED)                       \
    X(REG_NONE)                                \
    X(REG_SZ)                                  \
    X(REG_EXPAND_SZ)                           \
    X(REG_BINARY)                              \
    X(REG_DWORD)                               \
    X(REG_MULTI_SZ)                            \
    X(REG_QWORD)                               \
    X(REG_OPTION_NON_VOLATILE)                 \
    X(REG_CREATED_NEW_KEY)                     \
    X(REG_OPENED_EXISTING_KEY)                 \
    X(KEY_QUERY_VALUE)                         \
    X(KEY_SET_VALUE)                           \
    X(KEY_CREATE_SUB_KEY)                      \
    X(KEY_ENUMERATE_SUB_KEYS)                  \
    X(KEY_NOTIFY)                              \
    X(KEY_CREATE_LINK)                         \
    X(KEY_READ)                                \
    X(KEY_WRITE)                               \
    X(KEY_ALL_ACCESS)                          \
    X(DELETE)                                  \
    X(WRITE_DAC)                               \
    X(WRITE_OWNER)                             \
    X(GENERIC_READ)                            \
    X(GENERIC_WRITE)                           \
    X(FILE_APPEND_DATA)                        \
    X(FILE_WRITE_DATA)                         \
    X(FILE_SHARE_READ)                         \
    X(FILE_SHARE_WRITE)                        \
    X(CREATE_NEW)                              \
    X(CREATE_ALWAYS)                           \
    X(OPEN_EXISTING)                           \
    X(OPEN_ALWAYS)                             \
    X(FILE_ATTRIBUTE_READONLY)                 \
    X(FILE_ATTRIBUTE_DIRECTORY)                \
    X(FILE_ATTRIBUTE_NORMAL)                   \
    X(LOCALE_USER_DEFAULT)                     \
    X(LOCALE_SYSTEM_DEFAULT)                   \
    X(LOCALE_ILANGUAGE)                        \
    X(LOCALE_SABBREVCTRYNAME)                  \
    X(SC_MANAGER_ALL_ACCESS)                   \
    X(SERVICE_ALL_ACCESS)                      \
    X(SERVICE_QUERY_STATUS)                    \
    X(SERVICE_START)                           \
    X(SERVICE_STOP)                            \
    X(SERVICE_WIN32_OWN_PROCESS)               \
    X(SERVICE_AUTO_START)                      \
    X(SERVICE_DEMAND_START)                    \
    X(SERVICE_DISABLED)                        \
    X(SERVICE_ERROR_IGNORE)                    \
    X(SERVICE_STOPPED)                         \
    X(SERVICE_START_PENDING)                   \
    X(SERVICE_STOP_PENDING)                    \
    X(SERVICE_RUNNING)                         \
    X(SERVICE_ACCEPT_STOP)                     \
    X(SERVICE_ACCEPT_SHUTDOWN)                 \
    X(SERVICE_CONTROL_STOP)                    \
    X(SERVICE_CONTROL_INTERROGATE)             \
    X(SERVICE_CONTROL_SHUTDOWN)                \
    X(DIGCF_PRESENT)                           \
    X(SPDRP_HARDWAREID)                        \
    X(SPDRP_DRIVER)                            \
    X(DIF_PROPERTYCHANGE)                      \
    X(DICS_ENABLE)                             \
    X(DICS_DISABLE)                            \
    X(DICS_FLAG_GLOBAL)                        \
    X(CONFIGFLAG_DISABLED)

namespace ze::sdkcheck {
#define ZE_CAPTURE(name) constexpr auto kZe_##name = ::ze::name;
ZE_SDK_CONSTANTS(ZE_CAPTURE)
#undef ZE_CAPTURE
}  // namespace ze::sdkcheck

#include <windows.h>

#include <regstr.h>
#include <setupapi.h>

namespace ze::sdkcheck {
#define ZE_COMPARE(name) \
    static_assert(static_cast<::DWORD>(kZe_##name) == static_cast<::DWORD>(name), #name);
ZE_SDK_CONSTANTS(ZE_COMPARE)
#undef ZE_COMPARE
}  // namespace ze::sdkcheck

#undef ZE_SDK_CONSTANTS

// The structures cross the boundary by pointer, so their layouts must be the SDK's.
#define ZE_SAME_LAYOUT(type) static_assert(sizeof(ze::type) == sizeof(::type), #type);
ZE_SAME_LAYOUT(FILETIME)
ZE_SAME_LAYOUT(SYSTEMTIME)
ZE_SAME_LAYOUT(WIN32_FIND_DATAW)
ZE_SAME_LAYOUT(SERVICE_STATUS)
ZE_SAME_LAYOUT(SERVICE_TABLE_ENTRYW)
ZE_SAME_LAYOUT(GUID)
ZE_SAME_LAYOUT(SP_DEVINFO_DATA)
ZE_SAME_LAYOUT(SP_CLASSINSTALL_HEADER)
ZE_SAME_LAYOUT(SP_PROPCHANGE_PARAMS)
#undef ZE_SAME_LAYOUT
static_assert(offsetof(ze::WIN32_FIND_DATAW, cFileName) == offsetof(::WIN32_FIND_DATAW, cFileName));
static_assert(offsetof(ze::WIN32_FIND_DATAW, cAlternateFileName) ==
              offsetof(::WIN32_FIND_DATAW, cAlternateFileName));
static_assert(offsetof(ze::SP_DEVINFO_DATA, DevInst) == offsetof(::SP_DEVINFO_DATA, DevInst));
static_assert(offsetof(ze::SP_DEVINFO_DATA, Reserved) == offsetof(::SP_DEVINFO_DATA, Reserved));
static_assert(offsetof(ze::SP_PROPCHANGE_PARAMS, HwProfile) ==
              offsetof(::SP_PROPCHANGE_PARAMS, HwProfile));
static_assert(sizeof(ze::WCHAR) == sizeof(::WCHAR) && sizeof(ze::DWORD) == sizeof(::DWORD) &&
              sizeof(ze::LONG) == sizeof(::LONG) && sizeof(ze::BOOL) == sizeof(::BOOL));

namespace ze {
namespace {

// Converts a pointer or handle of the program's types to the SDK's and back.
template <typename To, typename From>
To As(From from) {
    return reinterpret_cast<To>(from);
}

::LPCWSTR Text(LPCWSTR text) {
    return reinterpret_cast<::LPCWSTR>(text);
}
::LPWSTR Text(LPWSTR text) {
    return reinterpret_cast<::LPWSTR>(text);
}
::LPDWORD Dword(DWORD* value) {
    return reinterpret_cast<::LPDWORD>(value);
}

// The one service this process hosts, and the control handler it registered.
std::atomic<LPSERVICE_MAIN_FUNCTIONW> g_serviceMain{nullptr};
std::atomic<LPHANDLER_FUNCTION> g_serviceHandler{nullptr};

void WINAPI ServiceMainTrampoline(::DWORD argc, ::LPWSTR* argv) {
    g_serviceMain.load()(argc, reinterpret_cast<LPWSTR*>(argv));
}

// Calls of the control handler that have not returned yet. Windows runs the handler
// on the thread inside StartServiceCtrlDispatcherW, so the dispatcher cannot return
// while it runs. Wine runs it on a thread of its own: the handler's report of
// SERVICE_STOPPED lets the dispatcher return, and the process would end under the
// handler, before the service manager has its answer (the stopper's ControlService
// then fails). The dispatcher therefore waits for these calls before it returns.
std::mutex g_handlerMutex;
std::condition_variable g_handlerReturned;
int g_handlersRunning = 0;
// Far longer than any handler takes; a handler that hangs does not keep the process.
constexpr std::chrono::seconds kHandlerDrainTimeout{10};

void WINAPI ServiceHandlerTrampoline(::DWORD control) {
    {
        std::lock_guard<std::mutex> lock(g_handlerMutex);
        ++g_handlersRunning;
    }
    g_serviceHandler.load()(control);
    {
        std::lock_guard<std::mutex> lock(g_handlerMutex);
        --g_handlersRunning;
    }
    g_handlerReturned.notify_all();
}

// Waits until no handler call is running; keeps the caller's last-error value.
void WaitForHandlers() {
    ::DWORD error = ::GetLastError();
    {
        std::unique_lock<std::mutex> lock(g_handlerMutex);
        g_handlerReturned.wait_for(lock, kHandlerDrainTimeout,
                                   [] { return g_handlersRunning == 0; });
    }
    ::SetLastError(error);
}

}  // namespace

// ---- Registry ----

LONG Win32Platform::RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                                  HKEY* phkResult) {
    return ::RegOpenKeyExW(As<::HKEY>(hKey), Text(lpSubKey), ulOptions, samDesired,
                           As<::PHKEY>(phkResult));
}

LONG Win32Platform::RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass,
                                    DWORD dwOptions, REGSAM samDesired, void* lpSecurityAttributes,
                                    HKEY* phkResult, DWORD* lpdwDisposition) {
    return ::RegCreateKeyExW(As<::HKEY>(hKey), Text(lpSubKey), Reserved, Text(lpClass), dwOptions,
                             samDesired, As<::LPSECURITY_ATTRIBUTES>(lpSecurityAttributes),
                             As<::PHKEY>(phkResult), Dword(lpdwDisposition));
}

LONG Win32Platform::RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD* lpReserved,
                                     DWORD* lpType, BYTE* lpData, DWORD* lpcbData) {
    return ::RegQueryValueExW(As<::HKEY>(hKey), Text(lpValueName), Dword(lpReserved), Dword(lpType),
                              lpData, Dword(lpcbData));
}

LONG Win32Platform::RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                                   const BYTE* lpData, DWORD cbData) {
    return ::RegSetValueExW(As<::HKEY>(hKey), Text(lpValueName), Reserved, dwType, lpData, cbData);
}

LONG Win32Platform::RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, DWORD* lpcchClass,
                                     DWORD* lpReserved, DWORD* lpcSubKeys, DWORD* lpcbMaxSubKeyLen,
                                     DWORD* lpcbMaxClassLen, DWORD* lpcValues,
                                     DWORD* lpcbMaxValueNameLen, DWORD* lpcbMaxValueLen,
                                     DWORD* lpcbSecurityDescriptor, FILETIME* lpftLastWriteTime) {
    return ::RegQueryInfoKeyW(As<::HKEY>(hKey), Text(lpClass), Dword(lpcchClass), Dword(lpReserved),
                              Dword(lpcSubKeys), Dword(lpcbMaxSubKeyLen), Dword(lpcbMaxClassLen),
                              Dword(lpcValues), Dword(lpcbMaxValueNameLen), Dword(lpcbMaxValueLen),
                              Dword(lpcbSecurityDescriptor), As<::PFILETIME>(lpftLastWriteTime));
}

LONG Win32Platform::RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, DWORD* lpcchName,
                                  DWORD* lpReserved, LPWSTR lpClass, DWORD* lpcchClass,
                                  FILETIME* lpftLastWriteTime) {
    return ::RegEnumKeyExW(As<::HKEY>(hKey), dwIndex, Text(lpName), Dword(lpcchName),
                           Dword(lpReserved), Text(lpClass), Dword(lpcchClass),
                           As<::PFILETIME>(lpftLastWriteTime));
}

LONG Win32Platform::RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName,
                                  DWORD* lpcchValueName, DWORD* lpReserved, DWORD* lpType,
                                  BYTE* lpData, DWORD* lpcbData) {
    return ::RegEnumValueW(As<::HKEY>(hKey), dwIndex, Text(lpValueName), Dword(lpcchValueName),
                           Dword(lpReserved), Dword(lpType), lpData, Dword(lpcbData));
}

LONG Win32Platform::RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
    return ::RegDeleteKeyW(As<::HKEY>(hKey), Text(lpSubKey));
}

LONG Win32Platform::RegCloseKey(HKEY hKey) {
    return ::RegCloseKey(As<::HKEY>(hKey));
}

// ---- Profile (INI) functions ----

DWORD Win32Platform::GetPrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName,
                                              LPCWSTR lpDefault, LPWSTR lpReturnedString,
                                              DWORD nSize, LPCWSTR lpFileName) {
    return ::GetPrivateProfileStringW(Text(lpAppName), Text(lpKeyName), Text(lpDefault),
                                      Text(lpReturnedString), nSize, Text(lpFileName));
}

UINT Win32Platform::GetPrivateProfileIntW(LPCWSTR lpAppName, LPCWSTR lpKeyName, INT nDefault,
                                          LPCWSTR lpFileName) {
    return ::GetPrivateProfileIntW(Text(lpAppName), Text(lpKeyName), nDefault, Text(lpFileName));
}

DWORD Win32Platform::GetPrivateProfileSectionNamesW(LPWSTR lpszReturnBuffer, DWORD nSize,
                                                    LPCWSTR lpFileName) {
    return ::GetPrivateProfileSectionNamesW(Text(lpszReturnBuffer), nSize, Text(lpFileName));
}

BOOL Win32Platform::WritePrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName,
                                               LPCWSTR lpString, LPCWSTR lpFileName) {
    return ::WritePrivateProfileStringW(Text(lpAppName), Text(lpKeyName), Text(lpString),
                                        Text(lpFileName));
}

// ---- Files, module and system ----

DWORD Win32Platform::GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
    return ::GetModuleFileNameW(As<::HMODULE>(hModule), Text(lpFilename), nSize);
}

HMODULE Win32Platform::GetModuleHandleW(LPCWSTR lpModuleName) {
    return As<HMODULE>(::GetModuleHandleW(Text(lpModuleName)));
}

LPWSTR Win32Platform::GetCommandLineW() {
    return As<LPWSTR>(::GetCommandLineW());
}

UINT Win32Platform::GetSystemDirectoryW(LPWSTR lpBuffer, UINT uSize) {
    return ::GetSystemDirectoryW(Text(lpBuffer), uSize);
}

UINT Win32Platform::GetWindowsDirectoryW(LPWSTR lpBuffer, UINT uSize) {
    return ::GetWindowsDirectoryW(Text(lpBuffer), uSize);
}

HANDLE Win32Platform::FindFirstFileW(LPCWSTR lpFileName, WIN32_FIND_DATAW* lpFindFileData) {
    return As<HANDLE>(::FindFirstFileW(Text(lpFileName), As<::LPWIN32_FIND_DATAW>(lpFindFileData)));
}

BOOL Win32Platform::FindClose(HANDLE hFindFile) {
    return ::FindClose(As<::HANDLE>(hFindFile));
}

HANDLE Win32Platform::CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                                  void* lpSecurityAttributes, DWORD dwCreationDisposition,
                                  DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
    return As<HANDLE>(::CreateFileW(Text(lpFileName), dwDesiredAccess, dwShareMode,
                                    As<::LPSECURITY_ATTRIBUTES>(lpSecurityAttributes),
                                    dwCreationDisposition, dwFlagsAndAttributes,
                                    As<::HANDLE>(hTemplateFile)));
}

BOOL Win32Platform::WriteFile(HANDLE hFile, const void* lpBuffer, DWORD nNumberOfBytesToWrite,
                              DWORD* lpNumberOfBytesWritten, void* lpOverlapped) {
    return ::WriteFile(As<::HANDLE>(hFile), lpBuffer, nNumberOfBytesToWrite,
                       Dword(lpNumberOfBytesWritten), As<::LPOVERLAPPED>(lpOverlapped));
}

BOOL Win32Platform::ReadFile(HANDLE hFile, void* lpBuffer, DWORD nNumberOfBytesToRead,
                             DWORD* lpNumberOfBytesRead, void* lpOverlapped) {
    return ::ReadFile(As<::HANDLE>(hFile), lpBuffer, nNumberOfBytesToRead,
                      Dword(lpNumberOfBytesRead), As<::LPOVERLAPPED>(lpOverlapped));
}

BOOL Win32Platform::CloseHandle(HANDLE hObject) {
    return ::CloseHandle(As<::HANDLE>(hObject));
}

void Win32Platform::GetLocalTime(SYSTEMTIME* lpSystemTime) {
    ::GetLocalTime(As<::LPSYSTEMTIME>(lpSystemTime));
}

void Win32Platform::ExitProcess(UINT uExitCode) {
    ::ExitProcess(uExitCode);
}

void Win32Platform::Sleep(DWORD dwMilliseconds) {
    ::Sleep(dwMilliseconds);
}

DWORD Win32Platform::GetLastError() {
    return ::GetLastError();
}

void Win32Platform::SetLastError(DWORD dwErrCode) {
    ::SetLastError(dwErrCode);
}

// ---- Locale and debug output ----

int Win32Platform::GetLocaleInfoW(LCID Locale, LCTYPE LCType, LPWSTR lpLCData, int cchData) {
    return ::GetLocaleInfoW(Locale, LCType, Text(lpLCData), cchData);
}

void Win32Platform::OutputDebugStringW(LPCWSTR lpOutputString) {
    ::OutputDebugStringW(Text(lpOutputString));
}

HANDLE Win32Platform::GetStdHandle(DWORD nStdHandle) {
    return As<HANDLE>(::GetStdHandle(nStdHandle));
}

BOOL Win32Platform::GetConsoleMode(HANDLE hConsoleHandle, DWORD* lpMode) {
    return ::GetConsoleMode(As<::HANDLE>(hConsoleHandle), Dword(lpMode));
}

BOOL Win32Platform::WriteConsoleW(HANDLE hConsoleOutput, const void* lpBuffer,
                                  DWORD nNumberOfCharsToWrite, DWORD* lpNumberOfCharsWritten,
                                  void* lpReserved) {
    return ::WriteConsoleW(As<::HANDLE>(hConsoleOutput), lpBuffer, nNumberOfCharsToWrite,
                           Dword(lpNumberOfCharsWritten), lpReserved);
}

// ---- Service control manager ----

SC_HANDLE Win32Platform::OpenSCManagerW(LPCWSTR lpMachineName, LPCWSTR lpDatabaseName,
                                        DWORD dwDesiredAccess) {
    return As<SC_HANDLE>(
        ::OpenSCManagerW(Text(lpMachineName), Text(lpDatabaseName), dwDesiredAccess));
}

SC_HANDLE Win32Platform::CreateServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName,
                                        LPCWSTR lpDisplayName, DWORD dwDesiredAccess,
                                        DWORD dwServiceType, DWORD dwStartType,
                                        DWORD dwErrorControl, LPCWSTR lpBinaryPathName,
                                        LPCWSTR lpLoadOrderGroup, DWORD* lpdwTagId,
                                        LPCWSTR lpDependencies, LPCWSTR lpServiceStartName,
                                        LPCWSTR lpPassword) {
    return As<SC_HANDLE>(::CreateServiceW(
        As<::SC_HANDLE>(hSCManager), Text(lpServiceName), Text(lpDisplayName), dwDesiredAccess,
        dwServiceType, dwStartType, dwErrorControl, Text(lpBinaryPathName), Text(lpLoadOrderGroup),
        Dword(lpdwTagId), Text(lpDependencies), Text(lpServiceStartName), Text(lpPassword)));
}

SC_HANDLE Win32Platform::OpenServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName,
                                      DWORD dwDesiredAccess) {
    return As<SC_HANDLE>(
        ::OpenServiceW(As<::SC_HANDLE>(hSCManager), Text(lpServiceName), dwDesiredAccess));
}

BOOL Win32Platform::DeleteService(SC_HANDLE hService) {
    return ::DeleteService(As<::SC_HANDLE>(hService));
}

BOOL Win32Platform::StartServiceW(SC_HANDLE hService, DWORD dwNumServiceArgs,
                                  LPCWSTR* lpServiceArgVectors) {
    return ::StartServiceW(As<::SC_HANDLE>(hService), dwNumServiceArgs,
                           As<::LPCWSTR*>(lpServiceArgVectors));
}

BOOL Win32Platform::ControlService(SC_HANDLE hService, DWORD dwControl,
                                   SERVICE_STATUS* lpServiceStatus) {
    return ::ControlService(As<::SC_HANDLE>(hService), dwControl,
                            As<::LPSERVICE_STATUS>(lpServiceStatus));
}

BOOL Win32Platform::CloseServiceHandle(SC_HANDLE hSCObject) {
    return ::CloseServiceHandle(As<::SC_HANDLE>(hSCObject));
}

BOOL Win32Platform::StartServiceCtrlDispatcherW(const SERVICE_TABLE_ENTRYW* lpServiceStartTable) {
    if (lpServiceStartTable == nullptr) {
        return ::StartServiceCtrlDispatcherW(nullptr);
    }
    const SERVICE_TABLE_ENTRYW& service = lpServiceStartTable[0];
    if (service.lpServiceName != nullptr && lpServiceStartTable[1].lpServiceName != nullptr) {
        // A second service would need a trampoline of its own.
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    g_serviceMain = service.lpServiceProc;
    ::SERVICE_TABLE_ENTRYW table[2] = {
        {Text(service.lpServiceName),
         service.lpServiceProc != nullptr ? ServiceMainTrampoline : nullptr},
        {nullptr, nullptr}};
    ::BOOL ok = ::StartServiceCtrlDispatcherW(table);
    WaitForHandlers();
    return ok;
}

SERVICE_STATUS_HANDLE Win32Platform::RegisterServiceCtrlHandlerW(LPCWSTR lpServiceName,
                                                                 LPHANDLER_FUNCTION lpHandlerProc) {
    g_serviceHandler = lpHandlerProc;
    return As<SERVICE_STATUS_HANDLE>(::RegisterServiceCtrlHandlerW(
        Text(lpServiceName), lpHandlerProc != nullptr ? ServiceHandlerTrampoline : nullptr));
}

BOOL Win32Platform::SetServiceStatus(SERVICE_STATUS_HANDLE hServiceStatus,
                                     SERVICE_STATUS* lpServiceStatus) {
    return ::SetServiceStatus(As<::SERVICE_STATUS_HANDLE>(hServiceStatus),
                              As<::LPSERVICE_STATUS>(lpServiceStatus));
}

// ---- Device installer ----

BOOL Win32Platform::SetupDiClassGuidsFromNameW(LPCWSTR ClassName, GUID* ClassGuidList,
                                               DWORD ClassGuidListSize, DWORD* RequiredSize) {
    return ::SetupDiClassGuidsFromNameW(Text(ClassName), As<::LPGUID>(ClassGuidList),
                                        ClassGuidListSize, Dword(RequiredSize));
}

HDEVINFO Win32Platform::SetupDiGetClassDevsW(const GUID* ClassGuid, LPCWSTR Enumerator,
                                             void* hwndParent, DWORD Flags) {
    return As<HDEVINFO>(::SetupDiGetClassDevsW(As<const ::GUID*>(ClassGuid), Text(Enumerator),
                                               As<::HWND>(hwndParent), Flags));
}

BOOL Win32Platform::SetupDiEnumDeviceInfo(HDEVINFO DeviceInfoSet, DWORD MemberIndex,
                                          SP_DEVINFO_DATA* DeviceInfoData) {
    return ::SetupDiEnumDeviceInfo(As<::HDEVINFO>(DeviceInfoSet), MemberIndex,
                                   As<::PSP_DEVINFO_DATA>(DeviceInfoData));
}

BOOL Win32Platform::SetupDiGetDeviceRegistryPropertyW(HDEVINFO DeviceInfoSet,
                                                      SP_DEVINFO_DATA* DeviceInfoData,
                                                      DWORD Property, DWORD* PropertyRegDataType,
                                                      BYTE* PropertyBuffer,
                                                      DWORD PropertyBufferSize,
                                                      DWORD* RequiredSize) {
    return ::SetupDiGetDeviceRegistryPropertyW(
        As<::HDEVINFO>(DeviceInfoSet), As<::PSP_DEVINFO_DATA>(DeviceInfoData), Property,
        Dword(PropertyRegDataType), PropertyBuffer, PropertyBufferSize, Dword(RequiredSize));
}

BOOL Win32Platform::SetupDiSetClassInstallParamsW(HDEVINFO DeviceInfoSet,
                                                  SP_DEVINFO_DATA* DeviceInfoData,
                                                  SP_CLASSINSTALL_HEADER* ClassInstallParams,
                                                  DWORD ClassInstallParamsSize) {
    return ::SetupDiSetClassInstallParamsW(
        As<::HDEVINFO>(DeviceInfoSet), As<::PSP_DEVINFO_DATA>(DeviceInfoData),
        As<::PSP_CLASSINSTALL_HEADER>(ClassInstallParams), ClassInstallParamsSize);
}

BOOL Win32Platform::SetupDiCallClassInstaller(DI_FUNCTION InstallFunction, HDEVINFO DeviceInfoSet,
                                              SP_DEVINFO_DATA* DeviceInfoData) {
    return ::SetupDiCallClassInstaller(InstallFunction, As<::HDEVINFO>(DeviceInfoSet),
                                       As<::PSP_DEVINFO_DATA>(DeviceInfoData));
}

BOOL Win32Platform::SetupDiGetDeviceInstanceIdW(HDEVINFO DeviceInfoSet,
                                                SP_DEVINFO_DATA* DeviceInfoData,
                                                LPWSTR DeviceInstanceId, DWORD DeviceInstanceIdSize,
                                                DWORD* RequiredSize) {
    return ::SetupDiGetDeviceInstanceIdW(
        As<::HDEVINFO>(DeviceInfoSet), As<::PSP_DEVINFO_DATA>(DeviceInfoData),
        Text(DeviceInstanceId), DeviceInstanceIdSize, Dword(RequiredSize));
}

BOOL Win32Platform::SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) {
    return ::SetupDiDestroyDeviceInfoList(As<::HDEVINFO>(DeviceInfoSet));
}

}  // namespace ze
