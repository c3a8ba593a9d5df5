// The service: its main routine and control handler, the reset sequence it runs,
// and the installation and control of the program's own service.
#pragma once

#include <string>

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

// Runs on the dispatcher's service thread: reports the service running, performs one
// reset and counts the run budget down. A stop that arrives meanwhile is answered
// with SERVICE_STOP_PENDING and carried out when the reset has finished.
void ServiceMain(DWORD argc, LPWSTR* argv);
// Runs on the dispatcher's thread for each control.
void ServiceCtrlHandler(DWORD control);

// Country settings reset, advanced property text reset, then the adapter is
// disabled and enabled again. Results are ignored: every step runs.
void RunResetSequence(const std::u16string& netId);

int ZeInstallService();
int ZeUninstallService();
int ZeStartService();
int ZeStopService();
int ZeSetSrvStartupType(std::u16string serviceName, DWORD startType);

}  // namespace ze
