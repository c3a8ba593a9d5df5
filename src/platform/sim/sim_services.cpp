// Placeholder service control manager until the simulated one lands: no process
// is started by it, so the dispatcher cannot connect and every call fails.
#include "platform/sim/sim_platform.h"

namespace ze::sim {
namespace {
constexpr DWORD kNotImplemented = static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED);
}

SC_HANDLE SimPlatform::OpenSCManagerW(LPCWSTR, LPCWSTR, DWORD) {
    SetLastError(kNotImplemented);
    return nullptr;
}
SC_HANDLE SimPlatform::CreateServiceW(SC_HANDLE, LPCWSTR, LPCWSTR, DWORD, DWORD, DWORD, DWORD,
                                      LPCWSTR, LPCWSTR, DWORD*, LPCWSTR, LPCWSTR, LPCWSTR) {
    SetLastError(kNotImplemented);
    return nullptr;
}
SC_HANDLE SimPlatform::OpenServiceW(SC_HANDLE, LPCWSTR, DWORD) {
    SetLastError(kNotImplemented);
    return nullptr;
}
BOOL SimPlatform::DeleteService(SC_HANDLE) {
    return FALSE;
}
BOOL SimPlatform::StartServiceW(SC_HANDLE, DWORD, LPCWSTR*) {
    return FALSE;
}
BOOL SimPlatform::ControlService(SC_HANDLE, DWORD, SERVICE_STATUS*) {
    return FALSE;
}
BOOL SimPlatform::CloseServiceHandle(SC_HANDLE) {
    return FALSE;
}
BOOL SimPlatform::StartServiceCtrlDispatcherW(const SERVICE_TABLE_ENTRYW*) {
    SetLastError(static_cast<DWORD>(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT));
    return FALSE;
}
SERVICE_STATUS_HANDLE SimPlatform::RegisterServiceCtrlHandlerW(LPCWSTR, LPHANDLER_FUNCTION) {
    SetLastError(kNotImplemented);
    return nullptr;
}
BOOL SimPlatform::SetServiceStatus(SERVICE_STATUS_HANDLE, SERVICE_STATUS*) {
    return FALSE;
}

}  // namespace ze::sim
