#include "platform/sim/service_dispatcher.h"

#include <unistd.h>

#include <cstdlib>
#include <thread>
#include <utility>

#include "common/text.h"
#include "platform/names.h"
#include "platform/sim/process_launch.h"

namespace ze::sim {
namespace {

constexpr LONG kErrorServiceNotInExe = 1083;

const char* StateName(DWORD state) {
    static const char* const names[] = {
        "SERVICE_STOPPED", "SERVICE_START_PENDING",    "SERVICE_STOP_PENDING",
        "SERVICE_RUNNING", "SERVICE_CONTINUE_PENDING", "SERVICE_PAUSE_PENDING",
        "SERVICE_PAUSED"};
    return state >= 1 && state <= 7 ? names[state - 1] : "SERVICE_STATE_UNKNOWN";
}

}  // namespace

std::vector<SERVICE_STATUS> ServiceDispatcher::ReportedStatuses() {
    std::lock_guard<std::mutex> lock(mutex_);
    return reported_;
}

std::size_t ServiceDispatcher::ServiceMainReturns() {
    std::lock_guard<std::mutex> lock(mutex_);
    return serviceMainReturns_;
}

void ServiceDispatcher::ProcessEnded(UINT code) {
    std::lock_guard<std::mutex> lock(mutex_);
    processExit_ = code;
}

bool ServiceDispatcher::HasProcessEnded() {
    std::lock_guard<std::mutex> lock(mutex_);
    return processExit_.has_value();
}

// ---- connecting and running ----

LONG ServiceDispatcher::Connect(std::u16string* name) {
    const char* variable = std::getenv(kServiceStartTokenVariable);
    std::string token = variable == nullptr ? "" : variable;
    return machine_.Exclusive([&]() -> LONG {
        std::optional<KeyId> key = ServiceKey(machine_.Registry(), *name);
        ServiceRuntime runtime = states_.Load(*name);
        // Only a process the manager started for a pending start may connect.
        if (!key || runtime.status.dwCurrentState != SERVICE_START_PENDING || runtime.connected ||
            runtime.startToken != token) {
            return ERROR_FAILED_SERVICE_CONTROLLER_CONNECT;
        }
        runtime.connected = true;
        runtime.startToken.clear();
        runtime.pid = ::getpid();
        if (LONG error = states_.Save(*name, runtime))
            return error;
        *name = StoredName(machine_.Registry(), *key);
        return ERROR_SUCCESS;
    });
}

BOOL ServiceDispatcher::StartServiceCtrlDispatcher(const SERVICE_TABLE_ENTRYW* table) {
    if (machine_.DueFault(Call::StartServiceCtrlDispatcherW))
        return FALSE;
    if (table == nullptr || table[0].lpServiceName == nullptr || table[0].lpServiceProc == nullptr)
        return Machine::Fail(ERROR_INVALID_PARAMETER);
    std::u16string name = table[0].lpServiceName;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (connection_)
            return Machine::Fail(ERROR_SERVICE_ALREADY_RUNNING);
        if (LONG error = Connect(&name))
            return Machine::Fail(error);
        connection_ = Connection{name, nullptr, nullptr};
    }
    std::vector<char16_t> argument(name.begin(), name.end());
    argument.push_back(u'\0');
    LPWSTR argv[] = {argument.data(), nullptr};
    LPSERVICE_MAIN_FUNCTIONW serviceMain = table[0].lpServiceProc;
    std::thread serviceThread([&] {
        try {
            serviceMain(1, argv);
        } catch (const ProcessExit& exit) {
            ProcessEnded(exit.code);
            return;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        ++serviceMainReturns_;
    });
    RunLoop(name);
    serviceThread.join();
    std::optional<UINT> exitCode;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        connection_.reset();
        exitCode = std::exchange(processExit_, std::nullopt);
    }
    if (exitCode)
        throw ProcessExit{*exitCode};
    return TRUE;
}

std::optional<ControlRequest> ServiceDispatcher::TakeControl(const std::u16string& name,
                                                             LPHANDLER_FUNCTION_EX handler,
                                                             DWORD* state) {
    std::optional<ControlRequest> request;
    machine_.Exclusive([&]() -> LONG {
        *state = states_.Load(name).status.dwCurrentState;
        request = handler != nullptr ? states_.PendingControl(name) : std::nullopt;
        return request ? states_.ClearControl(name) : ERROR_SUCCESS;
    });
    return request;
}

void ServiceDispatcher::Deliver(const std::u16string& name, const Connection& connection,
                                const ControlRequest& request, DWORD* state) {
    // The handler runs on this thread, outside every lock of the machine. No control
    // the manager delivers carries an event type or data.
    try {
        connection.handler(request.control, 0, nullptr, connection.context);
    } catch (const ProcessExit& exit) {
        ProcessEnded(exit.code);
    }
    machine_.Exclusive([&]() -> LONG {
        ServiceRuntime runtime = states_.Load(name);
        runtime.handledControl = std::max(runtime.handledControl, request.sequence);
        *state = runtime.status.dwCurrentState;
        return states_.Save(name, runtime);
    });
}

void ServiceDispatcher::RunLoop(const std::u16string& name) {
    for (;;) {
        Connection connection;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            connection = *connection_;
        }
        DWORD state = SERVICE_STOPPED;
        if (std::optional<ControlRequest> request = TakeControl(name, connection.handler, &state))
            Deliver(name, connection, *request, &state);
        if (state == SERVICE_STOPPED || HasProcessEnded())
            break;
        std::this_thread::sleep_for(kServicePollInterval);
    }
    Disconnect(name, HasProcessEnded());
}

void ServiceDispatcher::Disconnect(const std::u16string& name, bool processEnded) {
    machine_.Exclusive([&]() -> LONG {
        ServiceRuntime runtime = states_.Load(name);
        // A process that ends without reporting its service stopped leaves it stopped,
        // with the error Windows gives a service whose process ended.
        if (processEnded && runtime.status.dwCurrentState != SERVICE_STOPPED)
            runtime.status = SERVICE_STATUS{SERVICE_WIN32_OWN_PROCESS,
                                            SERVICE_STOPPED,
                                            0,
                                            static_cast<DWORD>(kErrorProcessAborted),
                                            0,
                                            0,
                                            0};
        runtime.connected = false;
        return states_.Save(name, runtime);
    });
}

// ---- the service's calls ----

SERVICE_STATUS_HANDLE ServiceDispatcher::RegisterServiceCtrlHandler(LPCWSTR name,
                                                                    LPHANDLER_FUNCTION_EX handler,
                                                                    void* context) {
    if (machine_.DueFault(Call::RegisterServiceCtrlHandlerExW))
        return nullptr;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!connection_ || name == nullptr || !EqualsIgnoreCase(connection_->service, name)) {
        Machine::Fail(kErrorServiceNotInExe);
        return nullptr;
    }
    if (handler == nullptr) {
        Machine::Fail(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    connection_->handler = handler;
    connection_->context = context;
    if (connection_->statusHandle == nullptr) {
        connection_->statusHandle =
            reinterpret_cast<SERVICE_STATUS_HANDLE>(machine_.NextHandleValue());
    }
    return connection_->statusHandle;
}

BOOL ServiceDispatcher::SetServiceStatus(SERVICE_STATUS_HANDLE handle,
                                         const SERVICE_STATUS* status) {
    if (machine_.DueFault(Call::SetServiceStatus))
        return FALSE;
    std::u16string name;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!connection_ || handle == nullptr || handle != connection_->statusHandle)
            return Machine::Fail(ERROR_INVALID_HANDLE);
        if (status == nullptr || status->dwCurrentState < SERVICE_STOPPED ||
            status->dwCurrentState > 7) {
            return Machine::Fail(ERROR_INVALID_DATA);
        }
        name = connection_->service;
        machine_.Exclusive([&]() -> LONG {
            ServiceRuntime runtime = states_.Load(name);
            runtime.status = *status;
            runtime.reported = true;
            if (LONG error = states_.Save(name, runtime))
                return error;
            machine_.Record("ServiceStatus", name, Utf8ToUtf16(StateName(status->dwCurrentState)));
            return ERROR_SUCCESS;
        });
        reported_.push_back(*status);
    }
    if (status->dwCurrentState == SERVICE_STOPPED)
        manager_.RemoveIfDeletable(name);
    return TRUE;
}

}  // namespace ze::sim
