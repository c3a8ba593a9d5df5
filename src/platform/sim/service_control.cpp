// Starting services and delivering controls to them: the requests of the manager's
// side, which wait (polling the shared run-time state) until the service process has
// answered.
#include <signal.h>

#include <cctype>
#include <thread>

#include "common/text.h"
#include "platform/sim/file_system.h"
#include "platform/sim/process_launch.h"
#include "platform/sim/service_manager.h"
#include "platform/sim/value_data.h"

namespace ze::sim {
namespace {

constexpr DWORD kServicePauseContinue = 0x0040;
constexpr DWORD kServiceInterrogate = 0x0080;
constexpr DWORD kServiceUserDefinedControl = 0x0100;
constexpr DWORD kAcceptPauseContinue = 0x2;
constexpr LONG kErrorServiceDisabled = 1058;

// Where a launched service process's own output goes: scm\<name>.out in the machine
// folder.
std::filesystem::path OutputFile(const std::filesystem::path& folder, std::u16string_view name) {
    std::string file = Utf16ToUtf8(name);
    for (char& c : file)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return folder / "scm" / (file + ".out");
}

}  // namespace

// ---- starting ----

LONG ServiceManager::BeginStart(const std::u16string& name, const std::string& token) {
    return machine_.Exclusive([&]() -> LONG {
        std::optional<KeyId> key = ServiceKey(machine_.Registry(), name);
        if (!key)
            return ERROR_SERVICE_DOES_NOT_EXIST;
        ServiceRuntime runtime = states_.Load(name);
        if (runtime.markedForDelete)
            return ERROR_SERVICE_MARKED_FOR_DELETE;
        if (DwordOf(machine_.Registry(), *key, u"Start").value_or(SERVICE_DEMAND_START) ==
            SERVICE_DISABLED)
            return kErrorServiceDisabled;
        if (runtime.status.dwCurrentState != SERVICE_STOPPED)
            return ERROR_SERVICE_ALREADY_RUNNING;
        runtime.status =
            SERVICE_STATUS{SERVICE_WIN32_OWN_PROCESS, SERVICE_START_PENDING, 0, 0, 0, 0, 2000};
        runtime.startToken = token;
        runtime.connected = false;
        runtime.reported = false;
        runtime.pid = 0;
        if (LONG error = states_.Save(name, runtime))
            return error;
        if (LONG error = states_.ClearControl(name))
            return error;
        machine_.Record("StartService", name);
        return ERROR_SUCCESS;
    });
}

BOOL ServiceManager::StartService(SC_HANDLE service) {
    if (machine_.DueFault(Call::StartServiceW))
        return FALSE;
    std::u16string name;
    std::string token = machine_.Folder() ? NewStartToken() : std::string();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        LONG error = ERROR_SUCCESS;
        Handle* handle = FindHandle(service, false, SERVICE_START, &error);
        if (handle == nullptr)
            return Machine::Fail(error);
        name = handle->service;
        if (LONG error = BeginStart(name, token))
            return Machine::Fail(error);
    }
    // In memory there is no process to launch: the start stays pending until a
    // dispatcher of this process connects.
    if (!machine_.Folder())
        return TRUE;
    LONG error = LaunchAndAwait(name, token);
    return error == ERROR_SUCCESS ? TRUE : Machine::Fail(error);
}

LONG ServiceManager::RevertStart(const std::u16string& name, LONG error) {
    machine_.Exclusive([&]() -> LONG {
        ServiceRuntime runtime = states_.Load(name);
        runtime.status = ServiceRuntime{}.status;
        runtime.connected = false;
        runtime.startToken.clear();
        return states_.Save(name, runtime);
    });
    return error;
}

LONG ServiceManager::LaunchAndAwait(const std::u16string& name, const std::string& token) {
    std::u16string imagePath;
    if (std::optional<KeyId> key = machine_.Registry().Find(ServiceKeyPath(name)))
        imagePath = TextOf(machine_.Registry(), *key, u"ImagePath");
    const std::filesystem::path& folder = *machine_.Folder();
    std::optional<std::filesystem::path> program =
        ExecutableOf(imagePath, machine_.Settings().modulePath,
                     [&](std::u16string_view path) { return HostPathIn(machine_.Root(), path); });
    long pid = 0;
    if (program) {
        std::error_code unresolved;
        auto resolved = std::filesystem::canonical(*program, unresolved);
        std::filesystem::path output = OutputFile(folder, name);
        std::error_code ec;
        std::filesystem::create_directories(output.parent_path(), ec);
        pid = LaunchDetached(unresolved ? program->string() : resolved.string(),
                             ServiceEnvironment(folder, token), output.string());
    }
    if (pid == 0)
        return RevertStart(name, program ? kErrorProcessAborted : ERROR_FILE_NOT_FOUND);
    machine_.Exclusive([&]() -> LONG {
        ServiceRuntime runtime = states_.Load(name);
        runtime.pid = pid;
        return states_.Save(name, runtime);
    });
    // StartServiceW returns once the process has connected its dispatcher (it took
    // the token) and its service has reported a status, as Wine's does. A service
    // that does neither within the timeout is ended with its process, which leaves
    // it stopped.
    auto deadline = std::chrono::steady_clock::now() + requestTimeout_;
    for (;;) {
        ServiceRuntime runtime = RuntimeOf(name);
        if (runtime.startToken != token && runtime.reported)
            return ERROR_SUCCESS;
        if (!ProcessAlive(pid))
            return RevertStart(name, kErrorProcessAborted);
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(static_cast<pid_t>(pid), SIGKILL);
            return RevertStart(name, ERROR_SERVICE_REQUEST_TIMEOUT);
        }
        std::this_thread::sleep_for(kServicePollInterval);
    }
}

// ---- controls ----

LONG ServiceManager::AwaitHandled(const std::u16string& name, std::uint64_t sequence) {
    auto deadline = std::chrono::steady_clock::now() + requestTimeout_;
    for (;;) {
        ServiceRuntime runtime = RuntimeOf(name);
        if (runtime.handledControl >= sequence)
            return ERROR_SUCCESS;
        // A dispatcher that has disconnected (or a process that has ended) handles
        // nothing more.
        bool gone = !runtime.connected;
        if (gone || std::chrono::steady_clock::now() >= deadline) {
            machine_.Exclusive([&]() -> LONG {
                auto pending = states_.PendingControl(name);
                if (pending && pending->sequence == sequence)
                    return states_.ClearControl(name);
                return ERROR_SUCCESS;
            });
            return gone ? ERROR_SERVICE_NOT_ACTIVE : ERROR_SERVICE_REQUEST_TIMEOUT;
        }
        std::this_thread::sleep_for(kServicePollInterval);
    }
}

BOOL ServiceManager::ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status) {
    if (machine_.DueFault(Call::ControlService))
        return FALSE;
    if (status == nullptr)
        return Machine::Fail(ERROR_INVALID_PARAMETER);
    // The right each control needs; shutdown is the system's alone to send.
    DWORD needed = 0;
    DWORD accepted = 0;
    if (control == SERVICE_CONTROL_STOP) {
        needed = SERVICE_STOP;
        accepted = SERVICE_ACCEPT_STOP;
    } else if (control == SERVICE_CONTROL_INTERROGATE) {
        needed = kServiceInterrogate;
    } else if (control == 2 || control == 3 || (control >= 6 && control <= 10)) {
        needed = kServicePauseContinue;
        accepted = kAcceptPauseContinue;
    } else if (control >= 128 && control <= 255) {
        needed = kServiceUserDefinedControl;
    } else {
        return Machine::Fail(ERROR_INVALID_PARAMETER);
    }
    return SendControl(
        [&](std::u16string* name) {
            LONG error = ERROR_SUCCESS;
            Handle* handle = FindHandle(service, false, needed, &error);
            if (handle != nullptr)
                *name = handle->service;
            return error;
        },
        control, accepted, status);
}

BOOL ServiceManager::SendShutdown(std::u16string_view name, DWORD control, SERVICE_STATUS* status) {
    if (control != SERVICE_CONTROL_SHUTDOWN && control != SERVICE_CONTROL_PRESHUTDOWN)
        return Machine::Fail(ERROR_INVALID_PARAMETER);
    return SendControl(
        [&](std::u16string* target) {
            *target = std::u16string(name);
            return ERROR_SUCCESS;
        },
        control,
        control == SERVICE_CONTROL_SHUTDOWN ? SERVICE_ACCEPT_SHUTDOWN : SERVICE_ACCEPT_PRESHUTDOWN,
        status);
}

LONG ServiceManager::QueueControl(const std::u16string& name, DWORD control, DWORD accepted,
                                  SERVICE_STATUS* status, std::uint64_t* sequence) {
    return machine_.Exclusive([&]() -> LONG {
        ServiceRuntime runtime = states_.Load(name);
        *status = runtime.status;
        DWORD state = runtime.status.dwCurrentState;
        if (state == SERVICE_STOPPED)
            return ERROR_SERVICE_NOT_ACTIVE;
        if (state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING)
            return ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
        if ((runtime.status.dwControlsAccepted & accepted) != accepted)
            return ERROR_INVALID_SERVICE_CONTROL;
        // One control at a time: a pending one is waited for.
        if (states_.PendingControl(name))
            return ERROR_SUCCESS;
        ControlRequest request{control, runtime.handledControl + 1};
        if (LONG error = states_.QueueControl(name, request))
            return error;
        if (control == SERVICE_CONTROL_STOP)
            machine_.Record("StopService", name);
        *sequence = request.sequence;
        return ERROR_SUCCESS;
    });
}

BOOL ServiceManager::SendControl(const std::function<LONG(std::u16string*)>& target, DWORD control,
                                 DWORD accepted, SERVICE_STATUS* status) {
    std::u16string name;
    std::uint64_t sequence = 0;
    auto deadline = std::chrono::steady_clock::now() + requestTimeout_;
    for (;;) {
        LONG error = ERROR_SUCCESS;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            error = target(&name);
            if (error == ERROR_SUCCESS)
                error = QueueControl(name, control, accepted, status, &sequence);
        }
        if (error != ERROR_SUCCESS)
            return Machine::Fail(error);
        if (sequence != 0)
            break;
        if (std::chrono::steady_clock::now() >= deadline)
            return Machine::Fail(ERROR_SERVICE_REQUEST_TIMEOUT);
        std::this_thread::sleep_for(kServicePollInterval);
    }
    LONG error = AwaitHandled(name, sequence);
    *status = RuntimeOf(name).status;
    return error == ERROR_SUCCESS ? TRUE : Machine::Fail(error);
}

}  // namespace ze::sim
