// The simulated service control manager. The service database is the registry,
// SYSTEM\CurrentControlSet\Services\<name>, as on Windows; what the manager knows at
// run time (the last status reported, a pending start, the deletion mark, the control
// being delivered) lives in small files of the machine (scm\<name>.status and
// scm\<name>.control), so that the process that runs a service and the processes that
// start, stop or delete it share it. A process is started by the manager when its
// dispatcher may connect: on a persisted machine StartServiceW launches the service's
// executable with a start token in its environment; on an in-memory machine a start
// leaves the service pending and the next dispatcher of the same process connects.
// The dispatcher runs ServiceMain on a thread of its own and delivers each control to
// the handler on the thread that called it.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/names.h"
#include "platform/wintypes.h"

namespace ze::sim {

class SimPlatform;

// The environment variable through which a launched service process learns which
// start it may connect for.
inline constexpr char kServiceStartTokenVariable[] = "ZEREGION_SERVICE_START";

struct ServiceRuntime {
    SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, SERVICE_STOPPED, 0, 0, 0, 0, 0};
    bool markedForDelete = false;
    std::string startToken;            // the start a launched process may connect for
    bool connected = false;            // a dispatcher connected for that start
    bool reported = false;             // the service reported a status since its start
    long pid = 0;                      // the process that runs the service
    std::uint64_t handledControl = 0;  // sequence number of the last control handled
};

class ServiceManager {
  public:
    explicit ServiceManager(SimPlatform& machine) : machine_(machine) {}

    SC_HANDLE OpenSCManager(LPCWSTR machineName, LPCWSTR databaseName, DWORD access);
    SC_HANDLE CreateService(SC_HANDLE manager, LPCWSTR name, LPCWSTR displayName, DWORD access,
                            DWORD serviceType, DWORD startType, DWORD errorControl,
                            LPCWSTR binaryPath);
    SC_HANDLE OpenService(SC_HANDLE manager, LPCWSTR name, DWORD access);
    BOOL DeleteService(SC_HANDLE service);
    BOOL StartService(SC_HANDLE service);
    BOOL ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status);
    BOOL CloseServiceHandle(SC_HANDLE handle);
    // The system's SERVICE_CONTROL_SHUTDOWN, which no ControlService caller may send.
    BOOL SendShutdown(std::u16string_view name, SERVICE_STATUS* status);
    BOOL StartServiceCtrlDispatcher(const SERVICE_TABLE_ENTRYW* table);
    SERVICE_STATUS_HANDLE RegisterServiceCtrlHandler(LPCWSTR name, LPHANDLER_FUNCTION handler);
    BOOL SetServiceStatus(SERVICE_STATUS_HANDLE handle, const SERVICE_STATUS* status);

    // ---- state for tests and tools ----
    // Installed: the key exists with a Type value (a bare key is no service).
    bool Exists(std::u16string_view name);
    ServiceRuntime RuntimeOf(std::u16string_view name);
    // Every status this process reported with SetServiceStatus, in order.
    std::vector<SERVICE_STATUS> ReportedStatuses();
    bool WaitForState(std::u16string_view name, DWORD state, std::chrono::milliseconds timeout);
    std::size_t OpenHandleCount();
    // How many times a ServiceMain run by a dispatcher of this process has returned.
    std::size_t ServiceMainReturns();
    // How long a start waits for the process to connect and a control for its handler
    // (30 seconds, as on Windows).
    void SetRequestTimeout(std::chrono::milliseconds timeout) { requestTimeout_ = timeout; }

  private:
    struct Handle {
        bool manager = false;
        std::u16string service;  // the service's name as stored
        DWORD access = 0;
    };
    struct Dispatcher {
        std::u16string service;
        LPHANDLER_FUNCTION handler = nullptr;
        SERVICE_STATUS_HANDLE statusHandle = nullptr;
    };
    struct ControlRequest {
        DWORD control = 0;
        std::uint64_t sequence = 0;
    };

    // The caller holds the machine lock for all of these.
    Handle* FindHandle(SC_HANDLE handle, bool manager, DWORD access, LONG* error);
    std::filesystem::path StateDir() const;
    std::filesystem::path StatusFile(std::u16string_view name) const;
    std::filesystem::path ControlFile(std::u16string_view name) const;
    ServiceRuntime LoadRuntime(std::u16string_view name) const;
    void SaveRuntime(std::u16string_view name, const ServiceRuntime& runtime) const;
    std::optional<ControlRequest> LoadControl(std::u16string_view name) const;
    // Removes a service marked for deletion once it is stopped and no handle of this
    // process refers to it.
    void RemoveIfDeletable(const std::u16string& name);
    bool HasOpenHandles(const std::u16string& name) const;
    std::optional<std::filesystem::path> ExecutableOf(std::u16string_view imagePath) const;

    // Launches the service's process (persisted machines) and waits for it to connect.
    LONG LaunchAndAwait(const std::u16string& name, const std::string& token);
    LONG AwaitHandled(const std::u16string& name, std::uint64_t sequence);
    // Queues a control for the service `target` names and waits until it is handled.
    BOOL SendControl(const std::function<LONG(std::u16string*)>& target, DWORD control,
                     DWORD accepted, SERVICE_STATUS* status);
    void RunDispatcherLoop(const std::u16string& name);
    BOOL Fail(LONG error);

    SimPlatform& machine_;
    std::map<SC_HANDLE, Handle> handles_;
    std::optional<Dispatcher> dispatcher_;
    std::vector<SERVICE_STATUS> reported_;
    std::size_t serviceMainReturns_ = 0;
    // Set when a thread of the service process called ExitProcess.
    std::optional<UINT> processExit_;
    std::chrono::milliseconds requestTimeout_{30000};
};

}  // namespace ze::sim
