#include <iterator>
#include <mutex>

#include "common/events.h"
#include "common/log.h"
#include "common/paths.h"
#include "common/run_inputs.h"
#include "common/text.h"
#include "platform/platform.h"
#include "service/folder_security.h"
#include "service/service.h"

namespace ze {

SERVICE_STATUS_HANDLE Service_Status_Handle = nullptr;
SERVICE_STATUS g_ServiceStatus{};

namespace {

// Preshutdown is what Windows waits for at shutdown (SHUTDOWN gives a service seconds,
// then the system goes on); SHUTDOWN stays for a system that does not send it.
constexpr DWORD kControlsAccepted =
    SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_PRESHUTDOWN;
// How long a stop may wait for the next step of the reset before the manager may give up.
constexpr DWORD kStopWaitHint = 30000;
// At preshutdown the manager waits for the stopped state no longer than the preshutdown
// time, 10 seconds by default since Windows 10 1703, whatever the hint says; a step of the
// reset takes less (the enable with its retries under 5 seconds), so that is the hint.
constexpr DWORD kPreshutdownWaitHint = 10000;
// A status report that fails is tried again this many times in all, this far apart.
constexpr int kReportAttempts = 3;
constexpr DWORD kReportRetryMilliseconds = 100;

// ServiceMain's thread and the control handler (on the dispatcher's thread) both
// report through the handle and the record; this lock keeps their reports whole and
// in order, together with the state below.
std::mutex g_statusMutex;
// ServiceMain has not finished its work yet: a stop must not end the process now,
// or the adapter could be left disabled between the two halves of its restart.
bool g_bWorkPending = false;
// A stop arrived while the work was pending; ServiceMain reports the stop when done.
bool g_bStopPending = false;
// The wait hint of the pending stop's reports.
DWORD g_dwStopWaitHint = kStopWaitHint;
// The manager was told the service runs; until then it cannot send a stop.
bool g_bRunningReported = false;
// The service-specific exit code the stopped state carries (0: none).
int g_nServiceExitCode = 0;

// Records a state and reports it, trying again a few times when the report fails.
// False when every attempt failed. The caller holds g_statusMutex.
bool ReportStatusLocked(DWORD state, DWORD checkPoint = 0, DWORD waitHint = 0) {
    bool stopped = state == SERVICE_STOPPED;
    // "Restart needed" is a Win32 code of its own; the program's codes are service-specific.
    bool restartNeeded = stopped && g_nServiceExitCode == ZE_EXIT_RESTART_NEEDED;
    bool failed = stopped && g_nServiceExitCode != 0 && !restartNeeded;
    g_ServiceStatus.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    g_ServiceStatus.dwCurrentState = state;
    g_ServiceStatus.dwControlsAccepted = state == SERVICE_RUNNING ? kControlsAccepted : 0;
    g_ServiceStatus.dwWin32ExitCode = failed          ? ERROR_SERVICE_SPECIFIC_ERROR
                                      : restartNeeded ? ERROR_SUCCESS_REBOOT_REQUIRED
                                                      : 0;
    g_ServiceStatus.dwServiceSpecificExitCode = failed ? static_cast<DWORD>(g_nServiceExitCode) : 0;
    g_ServiceStatus.dwCheckPoint = checkPoint;
    g_ServiceStatus.dwWaitHint = waitHint;
    for (int attempt = 1;; ++attempt) {
        if (OS().SetServiceStatus(Service_Status_Handle, &g_ServiceStatus)) {
            return true;
        }
        if (attempt == kReportAttempts) {
            LogPrint(u"[ZeRegionSvc] Update service status failed\r\n");
            return false;
        }
        OS().Sleep(kReportRetryMilliseconds);
    }
}

// The dispatcher returns, and the process with it, only once the service is reported
// stopped. When that cannot be reported the process ends here instead of lingering.
void EndServiceProcess() {
    LogPrint(u"[ZeRegionSvc] Service process ends without reporting the service stopped\r\n");
    ReportOutcome(ZE_EVENT_SERVICE_UNREPORTED, {g_szServiceName});
    OS().ExitProcess(static_cast<UINT>(ZE_EXIT_SERVICE_UNREPORTED));
}

void ReportStoppedLocked() {
    if (!ReportStatusLocked(SERVICE_STOPPED)) {
        EndServiceProcess();
    }
}

// Registers the handler and reports the service as running, or, when `refused` is a
// code, as stopped with it. The lock is held throughout, so a control that arrives in
// between waits for that state and is answered with it. False when the registration
// failed.
bool ConnectHandler(int refused) {
    std::lock_guard<std::mutex> lock(g_statusMutex);
    g_ServiceStatus =
        SERVICE_STATUS{SERVICE_WIN32_OWN_PROCESS, SERVICE_START_PENDING, 0, 0, 0, 0, 0};
    g_bStopPending = false;
    g_nServiceExitCode = 0;
    Service_Status_Handle =
        OS().RegisterServiceCtrlHandlerExW(g_szServiceName, ServiceCtrlHandler, nullptr);
    if (Service_Status_Handle == nullptr) {
        LogPrint(u"[ZeRegionSvc] Service_Status_Handle = NULL\r\n");
        return false;
    }
    if (refused != 0) {
        g_nServiceExitCode = refused;
        ReportStoppedLocked();
        return true;
    }
    g_bWorkPending = true;
    g_bRunningReported = ReportStatusLocked(SERVICE_RUNNING);
    return true;
}

// While a stop waits for the reset, each finished step moves the check point on, so
// the manager sees progress within the wait hint.
void ReportResetProgress() {
    std::lock_guard<std::mutex> lock(g_statusMutex);
    if (g_bStopPending) {
        ReportStatusLocked(SERVICE_STOP_PENDING, g_ServiceStatus.dwCheckPoint + 1,
                           g_dwStopWaitHint);
    }
}

// Counts the run budget down or, once it is spent, switches the service to manual
// start so that it no longer runs at every boot.
void CountDownRunBudget(const std::u16string& settingsFile) {
    int remaining = static_cast<int>(
        OS().GetPrivateProfileIntW(u"Settings", u"RunTimes", 5, settingsFile.c_str()));
    if (remaining <= 1) {
        if (ZeSetSrvStartupType(g_szServiceName, SERVICE_DEMAND_START) == 0)
            ReportOutcome(ZE_EVENT_RUN_BUDGET_SPENT, {settingsFile});
        return;
    }
    // Room for any 32-bit number in decimal, sign and terminator included.
    char16_t text[12] = {};
    FormatTo(text, std::size(text), u"%d", remaining - 1);
    if (!OS().WritePrivateProfileStringW(u"Settings", u"RunTimes", text, settingsFile.c_str())) {
        LogPrint(u"[ZeRegionSvc] Write RunTimes to ini failed\r\n");
    }
}

// The reset and the countdown; returns the reset's result.
int RunServiceWork() {
    RunInputs inputs = ReadRunInputs();
    if (inputs.netId.empty()) {
        LogPrint(u"[ZeRegionSvc] Net ID of ini is empty\r\n");
        ReportOutcome(ZE_EVENT_NO_NET_ID, {inputs.settingsFile});
        return 0;
    }
    LogPrint(u"[ZeRegionSvc] Net ID of ini = %s\r\n", inputs.netId.c_str());
    int result = RunResetSequence(inputs, ReportResetProgress);
    CountDownRunBudget(inputs.settingsFile);
    return result;
}

// The work is over: a stop that came in meanwhile is carried out now. A service the
// manager never saw running cannot be sent a stop, so it stops by itself.
void FinishWork(int result) {
    std::lock_guard<std::mutex> lock(g_statusMutex);
    g_bWorkPending = false;
    g_nServiceExitCode = result;
    if (g_bStopPending || !g_bRunningReported) {
        ReportStoppedLocked();
    }
}

}  // namespace

void ServiceMain(DWORD, LPWSTR*) {
    LogPrint(u"[ZeRegionSvc] ServiceMain\r\n");
    // A folder others can write would let them run code as LocalSystem through us.
    int refused = RefuseUnsafeFolder(false);
    if (!ConnectHandler(refused)) {
        EndServiceProcess();
        return;
    }
    if (refused == 0)
        FinishWork(RunServiceWork());
}

namespace {

// The log line of a control that stops the service; nullptr for any other.
const char16_t* StopControlLine(DWORD control) {
    switch (control) {
        case SERVICE_CONTROL_STOP:
            return u"[ZeRegionSvc] SERVICE_CONTROL_STOP\r\n";
        case SERVICE_CONTROL_SHUTDOWN:
            return u"[ZeRegionSvc] SERVICE_CONTROL_SHUTDOWN\r\n";
        case SERVICE_CONTROL_PRESHUTDOWN:
            return u"[ZeRegionSvc] SERVICE_CONTROL_PRESHUTDOWN\r\n";
        default:
            return nullptr;
    }
}

}  // namespace

// Stop, preshutdown and shutdown all stop the service; the reset is never cut short, so
// that the adapter is not left disabled.
DWORD ServiceCtrlHandler(DWORD control, DWORD, void*, void*) {
    LogPrint(u"[ZeRegionSvc] ServiceCtrlHandler: opcode=%d\r\n", control);
    std::lock_guard<std::mutex> lock(g_statusMutex);
    if (const char16_t* line = StopControlLine(control)) {
        LogPrint(line);
        if (!g_bWorkPending) {
            ReportStoppedLocked();
            return NO_ERROR;
        }
        if (!g_bStopPending) {
            g_bStopPending = true;
            g_dwStopWaitHint =
                control == SERVICE_CONTROL_PRESHUTDOWN ? kPreshutdownWaitHint : kStopWaitHint;
            ReportStatusLocked(SERVICE_STOP_PENDING, 1, g_dwStopWaitHint);
            return NO_ERROR;
        }
    }
    // Interrogate, a second stop while one is pending and anything else: the current
    // state once more.
    ReportStatusLocked(g_ServiceStatus.dwCurrentState, g_ServiceStatus.dwCheckPoint,
                       g_ServiceStatus.dwWaitHint);
    return NO_ERROR;
}

}  // namespace ze
