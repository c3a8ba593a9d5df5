// The service process's side of the simulated service control manager: the dispatcher
// connects for a pending start (the start token in the environment must match, on a
// persisted machine), runs ServiceMain on a thread of its own, delivers each queued
// control to the handler on the thread that called it, and records each status the
// service reports.
#pragma once

#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/machine.h"
#include "platform/sim/service_manager.h"
#include "platform/sim/service_state.h"

namespace ze::sim {

class ServiceDispatcher {
  public:
    ServiceDispatcher(Machine& machine, ServiceStates& states, ServiceManager& manager)
        : machine_(machine), states_(states), manager_(manager) {}

    // Throws ProcessExit when a thread of the service ended the process.
    BOOL StartServiceCtrlDispatcher(const SERVICE_TABLE_ENTRYW* table);
    SERVICE_STATUS_HANDLE RegisterServiceCtrlHandler(LPCWSTR name, LPHANDLER_FUNCTION_EX handler,
                                                     void* context);
    BOOL SetServiceStatus(SERVICE_STATUS_HANDLE handle, const SERVICE_STATUS* status);

    // ---- state for tests and tools ----
    // Every status this process reported with SetServiceStatus, in order.
    std::vector<SERVICE_STATUS> ReportedStatuses();
    // How many times a ServiceMain run by a dispatcher of this process has returned.
    std::size_t ServiceMainReturns();

  private:
    struct Connection {
        std::u16string service;
        LPHANDLER_FUNCTION_EX handler = nullptr;
        void* context = nullptr;  // handed back to the handler with each control
        SERVICE_STATUS_HANDLE statusHandle = nullptr;
    };

    // Connects for the service's pending start; *name becomes its name as stored.
    LONG Connect(std::u16string* name);
    // Delivers controls until the service is stopped or the process has ended.
    void RunLoop(const std::u16string& name);
    // The control queued for the service, taken off the queue, when a handler is there
    // to take it.
    std::optional<ControlRequest> TakeControl(const std::u16string& name,
                                              LPHANDLER_FUNCTION_EX handler, DWORD* state);
    void Deliver(const std::u16string& name, const Connection& connection,
                 const ControlRequest& request, DWORD* state);
    void Disconnect(const std::u16string& name, bool processEnded);
    void ProcessEnded(UINT code);
    bool HasProcessEnded();

    Machine& machine_;
    ServiceStates& states_;
    ServiceManager& manager_;
    std::mutex mutex_;  // guards the members below
    std::optional<Connection> connection_;
    std::vector<SERVICE_STATUS> reported_;
    std::size_t serviceMainReturns_ = 0;
    // Set when a thread of the service process called ExitProcess.
    std::optional<UINT> processExit_;
};

}  // namespace ze::sim
