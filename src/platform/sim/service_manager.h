// The simulated service control manager: the manager's side of the service calls
// (handles and their access rights, creating, opening and deleting services, starting
// them, delivering controls). Its records are in the registry and in the run-time
// state tables (service_state.h). A process is started by the manager when its
// dispatcher may connect: on a persisted machine StartServiceW launches the service's
// executable with a start token in its environment; on an in-memory machine a start
// leaves the service pending and the next dispatcher of the same process connects
// (service_dispatcher.h).
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/sim/machine.h"
#include "platform/sim/service_state.h"

namespace ze::sim {

class ServiceManager {
  public:
    ServiceManager(Machine& machine, ServiceStates& states) : machine_(machine), states_(states) {}

    SC_HANDLE OpenSCManager(LPCWSTR machineName, LPCWSTR databaseName, DWORD access);
    SC_HANDLE CreateService(SC_HANDLE manager, LPCWSTR name, LPCWSTR displayName, DWORD access,
                            DWORD serviceType, DWORD startType, DWORD errorControl,
                            LPCWSTR binaryPath);
    SC_HANDLE OpenService(SC_HANDLE manager, LPCWSTR name, DWORD access);
    // SERVICE_NO_CHANGE and null texts leave that part as it is.
    BOOL ChangeServiceConfig(SC_HANDLE service, DWORD serviceType, DWORD startType,
                             DWORD errorControl, LPCWSTR binaryPath, LPCWSTR displayName);
    BOOL DeleteService(SC_HANDLE service);
    BOOL StartService(SC_HANDLE service);
    BOOL ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status);
    BOOL CloseServiceHandle(SC_HANDLE handle);
    // The system's SERVICE_CONTROL_PRESHUTDOWN or SERVICE_CONTROL_SHUTDOWN, which no
    // ControlService caller may send; each only to a service that accepts it.
    BOOL SendShutdown(std::u16string_view name, DWORD control, SERVICE_STATUS* status);
    // Removes a service marked for deletion once it is stopped and no handle of this
    // process refers to it (the dispatcher calls it when the service reports stopped).
    void RemoveIfDeletable(const std::u16string& name);

    // ---- state for tests and tools ----
    // Installed: the key exists with a Type value (a bare key is no service).
    bool Exists(std::u16string_view name);
    ServiceRuntime RuntimeOf(std::u16string_view name);
    bool WaitForState(std::u16string_view name, DWORD state, std::chrono::milliseconds timeout);
    std::size_t OpenHandleCount();
    // How long a start waits for the process to connect and a control for its handler
    // (30 seconds, as on Windows).
    void SetRequestTimeout(std::chrono::milliseconds timeout) { requestTimeout_ = timeout; }

  private:
    struct Handle {
        bool manager = false;
        std::u16string service;  // the service's name as stored
        DWORD access = 0;
    };

    // The caller holds mutex_ for these three.
    Handle* FindHandle(SC_HANDLE handle, bool manager, DWORD access, LONG* error);
    bool HasOpenHandles(const std::u16string& name) const;
    void RemoveIfDeletableLocked(const std::u16string& name);
    SC_HANDLE NewHandle(Handle handle);

    // Marks the service start pending for `token` (the caller holds mutex_).
    LONG BeginStart(const std::u16string& name, const std::string& token);
    // Launches the service's process (persisted machines) and waits for it to connect.
    LONG LaunchAndAwait(const std::u16string& name, const std::string& token);
    // A start that failed leaves the service stopped; returns `error`.
    LONG RevertStart(const std::u16string& name, LONG error);
    LONG AwaitHandled(const std::u16string& name, std::uint64_t sequence);
    // Queues a control for the service `target` names and waits until it is handled.
    BOOL SendControl(const std::function<LONG(std::u16string*)>& target, DWORD control,
                     DWORD accepted, SERVICE_STATUS* status);
    // Queues the control unless one is pending (*sequence stays 0 then).
    LONG QueueControl(const std::u16string& name, DWORD control, DWORD accepted,
                      SERVICE_STATUS* status, std::uint64_t* sequence);

    Machine& machine_;
    ServiceStates& states_;
    std::mutex mutex_;  // guards handles_
    std::map<SC_HANDLE, Handle> handles_;
    std::chrono::milliseconds requestTimeout_{30000};
};

}  // namespace ze::sim
