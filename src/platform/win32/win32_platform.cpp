#include "platform/win32/win32_platform.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <type_traits>

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
    X(ERROR_WRITE_FAULT)                       \
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
    X(RPC_S_SERVER_UNAVAILABLE)                \
    X(RPC_S_INVALID_BOUND)                     \
    X(EVENTLOG_SUCCESS)                        \
    X(EVENTLOG_ERROR_TYPE)                     \
    X(EVENTLOG_WARNING_TYPE)                   \
    X(EVENTLOG_INFORMATION_TYPE)               \
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
    X(SERVICE_CHANGE_CONFIG)                   \
    X(SERVICE_NO_CHANGE)                       \
    X(ERROR_DUPLICATE_SERVICE_NAME)            \
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
    X(SERVICE_ACCEPT_PRESHUTDOWN)              \
    X(SERVICE_CONTROL_STOP)                    \
    X(SERVICE_CONTROL_INTERROGATE)             \
    X(SERVICE_CONTROL_SHUTDOWN)                \
    X(SERVICE_CONTROL_PRESHUTDOWN)             \
    X(OWNER_SECURITY_INFORMATION)              \
    X(DACL_SECURITY_INFORMATION)               \
    X(SDDL_REVISION_1)                         \
    X(NO_ERROR)                                \
    X(DIGCF_PRESENT)                           \
    X(SPDRP_HARDWAREID)                        \
    X(SPDRP_DRIVER)                            \
    X(SPDRP_CONFIGFLAGS)                       \
    X(DI_NEEDRESTART)                          \
    X(DI_NEEDREBOOT)                           \
    X(ERROR_SUCCESS_REBOOT_REQUIRED)           \
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

#include <aclapi.h>
#include <regstr.h>
#include <sddl.h>
#include <setupapi.h>
#include <shlobj.h>

namespace ze::sdkcheck {
#define ZE_COMPARE(name) \
    static_assert(static_cast<::DWORD>(kZe_##name) == static_cast<::DWORD>(name), #name);
ZE_SDK_CONSTANTS(ZE_COMPARE)
#undef ZE_COMPARE
}  // namespace ze::sdkcheck

#undef ZE_SDK_CONSTANTS
// An enumerator, not a macro: the program's name would hide the SDK's above.
static_assert(static_cast<int>(ze::SE_FILE_OBJECT) == static_cast<int>(::SE_FILE_OBJECT));

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
ZE_SAME_LAYOUT(SP_DEVINSTALL_PARAMS_W)
#undef ZE_SAME_LAYOUT
static_assert(offsetof(ze::WIN32_FIND_DATAW, cFileName) == offsetof(::WIN32_FIND_DATAW, cFileName));
static_assert(offsetof(ze::WIN32_FIND_DATAW, cAlternateFileName) ==
              offsetof(::WIN32_FIND_DATAW, cAlternateFileName));
static_assert(offsetof(ze::SP_DEVINFO_DATA, DevInst) == offsetof(::SP_DEVINFO_DATA, DevInst));
static_assert(offsetof(ze::SP_DEVINFO_DATA, Reserved) == offsetof(::SP_DEVINFO_DATA, Reserved));
static_assert(offsetof(ze::SP_PROPCHANGE_PARAMS, HwProfile) ==
              offsetof(::SP_PROPCHANGE_PARAMS, HwProfile));
static_assert(offsetof(ze::SP_DEVINSTALL_PARAMS_W, Flags) ==
              offsetof(::SP_DEVINSTALL_PARAMS_W, Flags));
static_assert(sizeof(ze::WCHAR) == sizeof(::WCHAR) && sizeof(ze::DWORD) == sizeof(::DWORD) &&
              sizeof(ze::LONG) == sizeof(::LONG) && sizeof(ze::BOOL) == sizeof(::BOOL) &&
              sizeof(ze::ULONG) == sizeof(::ULONG));

namespace ze {
namespace {

// A value of the program's types as the other side's type of the same meaning:
// pointers and handles are reinterpreted (the layouts are checked above), numbers
// converted.
template <typename To, typename From>
To Converted(From value) {
    if constexpr (std::is_pointer_v<To> && std::is_pointer_v<From>) {
        return reinterpret_cast<To>(value);
    } else {
        return static_cast<To>(value);
    }
}

// Calls the SDK's function with the arguments converted to its parameter types and
// gives its result back as the port's type.
template <typename Result, typename SdkResult, typename... SdkParams, typename... Params>
Result Forward(SdkResult (*function)(SdkParams...), Params... params) {
    if constexpr (std::is_void_v<Result>) {
        function(Converted<SdkParams>(params)...);
    } else {
        return Converted<Result>(function(Converted<SdkParams>(params)...));
    }
}

// The one service this process hosts, and the control handler it registered.
std::atomic<LPSERVICE_MAIN_FUNCTIONW> g_serviceMain{nullptr};
std::atomic<LPHANDLER_FUNCTION_EX> g_serviceHandler{nullptr};

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

::DWORD WINAPI ServiceHandlerTrampoline(::DWORD control, ::DWORD eventType, ::LPVOID eventData,
                                        ::LPVOID context) {
    {
        std::lock_guard<std::mutex> lock(g_handlerMutex);
        ++g_handlersRunning;
    }
    ::DWORD result = g_serviceHandler.load()(control, eventType, eventData, context);
    {
        std::lock_guard<std::mutex> lock(g_handlerMutex);
        --g_handlersRunning;
    }
    g_handlerReturned.notify_all();
    return result;
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

// ---- the forwards ----

#define ZE_DEFINE_FORWARD(ret, name, ...)                               \
    ret Win32Forwards::name(ZE_PARAMS(__VA_ARGS__)) {                   \
        return Forward<ret>(::name __VA_OPT__(, ZE_ARGS(__VA_ARGS__))); \
    }
ZE_PLATFORM_CALLS(ZE_DEFINE_FORWARD)
#undef ZE_DEFINE_FORWARD

// ---- the service dispatcher ----

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
        {Converted<::LPWSTR>(service.lpServiceName),
         service.lpServiceProc != nullptr ? ServiceMainTrampoline : nullptr},
        {nullptr, nullptr}};
    ::BOOL ok = ::StartServiceCtrlDispatcherW(table);
    WaitForHandlers();
    return ok;
}

SERVICE_STATUS_HANDLE Win32Platform::RegisterServiceCtrlHandlerExW(
    LPCWSTR lpServiceName, LPHANDLER_FUNCTION_EX lpHandlerProc, void* lpContext) {
    g_serviceHandler = lpHandlerProc;
    return Converted<SERVICE_STATUS_HANDLE>(::RegisterServiceCtrlHandlerExW(
        Converted<::LPCWSTR>(lpServiceName),
        lpHandlerProc != nullptr ? ServiceHandlerTrampoline : nullptr, lpContext));
}

}  // namespace ze
