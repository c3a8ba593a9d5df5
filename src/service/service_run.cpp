#include <iterator>
#include <mutex>

#include "common/log.h"
#include "common/paths.h"
#include "common/text.h"
#include "main/program.h"
#include "platform/platform.h"
#include "service/service.h"

namespace ze {

SERVICE_STATUS_HANDLE Service_Status_Handle = nullptr;
SERVICE_STATUS g_ServiceStatus{};

namespace {

constexpr DWORD kControlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN;
// How long a stop may wait for the reset to finish before the manager may give up.
constexpr DWORD kStopWaitHint = 30000;

// ServiceMain's thread and the control handler (on the dispatcher's thread) both
// report through the handle and the record; this lock keeps their reports whole and
// in order, together with the two flags below.
std::mutex g_statusMutex;
// ServiceMain has not finished its work yet: a stop must not end the process now,
// or the adapter could be left disabled between the two halves of its restart.
bool g_bWorkPending = false;
// A stop arrived while the work was pending; ServiceMain reports the stop when done.
bool g_bStopPending = false;

bool IsPendingState(DWORD state) {
    return state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
}

// Records and reports a state; the caller holds g_statusMutex.
void ReportStatusLocked(DWORD state, DWORD checkPoint = 0, DWORD waitHint = 0) {
    g_ServiceStatus.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    g_ServiceStatus.dwCurrentState = state;
    g_ServiceStatus.dwControlsAccepted = IsPendingState(state) ? 0 : kControlsAccepted;
    g_ServiceStatus.dwWin32ExitCode = 0;
    g_ServiceStatus.dwServiceSpecificExitCode = 0;
    g_ServiceStatus.dwCheckPoint = checkPoint;
    g_ServiceStatus.dwWaitHint = waitHint;
    if (!OS().SetServiceStatus(Service_Status_Handle, &g_ServiceStatus)) {
        LogPrint(u"[ZeRegionSvc] Update service status failed\r\n");
    }
}

// Registers the handler and reports the service as running. The lock is held
// throughout, so a control that arrives in between waits for the running state and
// is answered with it. False when the registration failed.
bool ConnectHandler() {
    std::lock_guard<std::mutex> lock(g_statusMutex);
    g_ServiceStatus =
        SERVICE_STATUS{SERVICE_WIN32_OWN_PROCESS, SERVICE_START_PENDING, 0, 0, 0, 0, 0};
    g_bStopPending = false;
    Service_Status_Handle = OS().RegisterServiceCtrlHandlerW(g_szServiceName, ServiceCtrlHandler);
    if (Service_Status_Handle == nullptr) {
        LogPrint(u"[ZeRegionSvc] Service_Status_Handle = NULL\r\n");
        return false;
    }
    g_bWorkPending = true;
    ReportStatusLocked(SERVICE_RUNNING);
    return true;
}

// Counts the run budget down or, once it is spent, switches the service to manual
// start so that it no longer runs at every boot.
void CountDownRunBudget() {
    int remaining = static_cast<int>(
        OS().GetPrivateProfileIntW(u"Settings", u"RunTimes", 5, g_szZeRegionSvcIniPath));
    if (remaining <= 1) {
        ZeSetSrvStartupType(g_szServiceName, SERVICE_DEMAND_START);
        return;
    }
    // Room for any 32-bit number in decimal, sign and terminator included.
    char16_t text[12] = {};
    FormatTo(text, std::size(text), u"%d", remaining - 1);
    if (!OS().WritePrivateProfileStringW(u"Settings", u"RunTimes", text, g_szZeRegionSvcIniPath)) {
        LogPrint(u"[ZeRegionSvc] Write RunTimes to ini failed\r\n");
    }
}

void RunServiceWork() {
    std::u16string netId = GetIniString(u"DriverKey", u"NetID", u"", g_szZeRegionSvcIniPath);
    if (netId.empty()) {
        LogPrint(u"[ZeRegionSvc] Net ID of ini is empty\r\n");
        return;
    }
    LogPrint(u"[ZeRegionSvc] Net ID of ini = %s\r\n", netId.c_str());
    RunResetSequence(netId);
    CountDownRunBudget();
}

// The work is over: a stop that came in meanwhile is carried out now.
void FinishWork() {
    std::lock_guard<std::mutex> lock(g_statusMutex);
    g_bWorkPending = false;
    if (g_bStopPending) {
        ReportStatusLocked(SERVICE_STOPPED);
    }
}

}  // namespace

void ServiceMain(DWORD, LPWSTR*) {
    LogPrint(u"[ZeRegionSvc] ServiceMain\r\n");
    if (!ConnectHandler()) {
        return;
    }
    RunServiceWork();
    FinishWork();
}

void ServiceCtrlHandler(DWORD control) {
    LogPrint(u"[ZeRegionSvc] ServiceCtrlHandler: opcode=%d\r\n", control);
    std::lock_guard<std::mutex> lock(g_statusMutex);
    if (control == SERVICE_CONTROL_STOP) {
        LogPrint(u"[ZeRegionSvc] SERVICE_CONTROL_STOP\r\n");
        if (g_bWorkPending) {
            g_bStopPending = true;
            ReportStatusLocked(SERVICE_STOP_PENDING, 1, kStopWaitHint);
        } else {
            ReportStatusLocked(SERVICE_STOPPED);
        }
        return;
    }
    // Interrogate, shutdown and anything else: the current state once more.
    ReportStatusLocked(g_ServiceStatus.dwCurrentState, g_ServiceStatus.dwCheckPoint,
                       g_ServiceStatus.dwWaitHint);
}

}  // namespace ze
