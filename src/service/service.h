// The service: its main routine and control handler, the reset sequence it runs,
// and the installation and control of the program's own service.
#pragma once

#include <functional>
#include <string>
#include <vector>

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
// code when the adapter stays disabled, and ERROR_SUCCESS_REBOOT_REQUIRED (ZE_EXIT_RESTART_NEEDED)
// as Win32 exit code when Windows must restart for the adapter to take the reset. Failed reports
// are tried again; a process whose handler cannot be registered or whose stop cannot be reported
// ends by itself with ZE_EXIT_SERVICE_UNREPORTED.
void ServiceMain(DWORD argc, LPWSTR* argv);
// Runs on the dispatcher's thread for each control; registered with
// RegisterServiceCtrlHandlerExW, the form Windows sends SERVICE_CONTROL_PRESHUTDOWN to.
// Stop, preshutdown and shutdown stop the service as ServiceMain says; every control is
// answered with a status report and NO_ERROR.
DWORD ServiceCtrlHandler(DWORD control, DWORD eventType, void* eventData, void* context);

// The adapter was disabled by a reset and could not be enabled again: the exit code
// of "/debug" and the service-specific exit code of the service.
constexpr int ZE_ERR_ADAPTER_NOT_ENABLED = -108;

// The reset is done, but the device installer asks for Windows to be restarted before
// the adapter takes its new values (ERROR_SUCCESS_REBOOT_REQUIRED): the exit code of
// "/debug" and the Win32 exit code of the stopped service.
constexpr int ZE_EXIT_RESTART_NEEDED = 3010;

// An adapter that an earlier run disabled and did not enable again (its restart
// record is pending) is enabled first. Then the country settings reset, the advanced
// property text reset and the adapter's restart, all for the adapter `inputs.netId`;
// `stepDone` is called after each of the four. Every step runs whatever became of the
// earlier ones, except that an adapter that could not be disabled is not enabled, and
// one that is disabled before the restart is neither disabled nor enabled. Returns 0,
// ZE_ERR_ADAPTER_NOT_ENABLED when an adapter disabled by a restart stays so, or else
// ZE_EXIT_RESTART_NEEDED when a change of the adapter asked for Windows to restart.
int RunResetSequence(const RunInputs& inputs, const std::function<void()>& stepDone = {});

// The Net IDs of the adapters whose restart was cut short between their disable and
// their enable (the restart records of the settings file), in the file's order.
std::vector<std::u16string> PendingRestartRecords(const std::u16string& settingsFile);

// Enables each adapter of a pending restart record that is disabled, and clears its
// record; the record of an adapter that is not present, or cannot be enabled, is kept.
// ZE_ERR_ADAPTER_NOT_ENABLED when one stays disabled (*ownStaysDisabled then set when
// it is inputs.netId's), otherwise 0.
int HealInterruptedRestarts(const RunInputs& inputs, bool* restartNeeded, bool* ownStaysDisabled);

struct RestartOutcome {
    int disable = 0;            // the state read's or the disable's code
    int result = 0;             // ZE_ERR_ADAPTER_NOT_ENABLED when the enable failed
    bool leftDisabled = false;  // disabled before the restart, and left so
    bool restartNeeded = false;
};
// Reads the adapter's state; an adapter disabled before is left so. Otherwise records
// the restart, disables the adapter, enables it again and clears the record once it is
// enabled. `stepDone` is called after the disable and after the enable.
RestartOutcome RestartAdapter(const RunInputs& inputs, const std::function<void()>& stepDone);

// Installing over a registered service changes its configuration in place (no delete and
// create, which another program's open handle would turn into ERROR_SERVICE_MARKED_FOR_DELETE).
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
