// The service: its main routine and control handler, the reset sequence it runs,
// and the installation and control of the program's own service.
#pragma once

#include <functional>
#include <string>

#include "common/run_inputs.h"
#include "platform/wintypes.h"

namespace ze {

constexpr int ZE_SVC_ERR_OPEN_SCMGR = -101;
constexpr int ZE_SVC_ERR_CREATE_SVC = -102;
constexpr int ZE_SVC_ERR_OPEN_SVC = -103;
constexpr int ZE_SVC_ERR_DELETE_SVC = -104;
constexpr int ZE_SVC_ERR_START_SVC = -105;
constexpr int ZE_SVC_ERR_CONTROL_SVC = -106;

// The handle ServiceMain registers its handler under, and the status record the two
// routines report; shared by ServiceMain's thread and the dispatcher's thread.
extern SERVICE_STATUS_HANDLE Service_Status_Handle;
extern SERVICE_STATUS g_ServiceStatus;

// The service process could not register its handler or report its service stopped,
// and ended by itself: the process's exit code.
constexpr int ZE_EXIT_SERVICE_UNREPORTED = -109;

// Runs on the dispatcher's service thread: reports the service running, reads the
// run's inputs (ReadRunInputs), performs one reset and counts the run budget down. A stop,
// preshutdown or shutdown that arrives meanwhile is answered with SERVICE_STOP_PENDING, whose check
// point moves on with each step of the reset, and carried out when the reset has finished. The
// stopped state accepts no controls and carries ZE_ERR_ADAPTER_NOT_ENABLED as service-specific exit
// code when the adapter stays disabled. Failed reports are tried again; a process whose handler
// cannot be registered or whose stop cannot be reported ends by itself with
// ZE_EXIT_SERVICE_UNREPORTED.
void ServiceMain(DWORD argc, LPWSTR* argv);
// Runs on the dispatcher's thread for each control; registered with
// RegisterServiceCtrlHandlerExW, the form Windows sends SERVICE_CONTROL_PRESHUTDOWN to.
// Stop, preshutdown and shutdown stop the service as ServiceMain says; every control is
// answered with a status report and NO_ERROR.
DWORD ServiceCtrlHandler(DWORD control, DWORD eventType, void* eventData, void* context);

// The adapter was disabled by a reset and could not be enabled again: the exit code
// of "/debug" and the service-specific exit code of the service.
constexpr int ZE_ERR_ADAPTER_NOT_ENABLED = -108;

// Country settings reset, advanced property text reset, then the adapter is
// disabled and enabled again, all for the adapter `inputs.netId`; `stepDone` is
// called after each of the four. Every step runs whatever became of the earlier ones,
// except that an adapter that could not be disabled is not enabled. Returns 0, or
// ZE_ERR_ADAPTER_NOT_ENABLED when the adapter was disabled and stays so.
int RunResetSequence(const RunInputs& inputs, const std::function<void()>& stepDone = {});

// Installing registers the event source too, uninstalling a deleted service removes
// it; either is only logged when it fails, and the service's result stands.
int ZeInstallService();
int ZeUninstallService();
int ZeStartService();
int ZeStopService();
int ZeSetSrvStartupType(std::u16string serviceName, DWORD startType);

// Registers the event source "ZeRegionSvc" in the Application log with the executable
// at modulePath as its message file (a registration of an executable of the same name,
// moved, is updated), or removes the registration. A source whose message file is
// another program's is left untouched, logged, and ZE_ERR_FAILED returned.
int ZeRegisterEventSource(const std::u16string& modulePath);
int ZeDeregisterEventSource(const std::u16string& modulePath);

}  // namespace ze
