// The service control manager of the simulated machine: the service database in the
// registry, the run-time state shared through the machine's scm folder, the launch of
// service processes on persisted machines and the dispatcher of a service process.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>
#include <tuple>
#include <utility>

#include "common/text.h"
#include "platform/names.h"
#include "platform/sim/machine_file.h"
#include "platform/sim/service_manager.h"
#include "platform/sim/sim_platform.h"
#include "platform/sim/value_data.h"

extern char** environ;

namespace ze::sim {
namespace {

constexpr DWORD kManagerConnect = 0x0001;        // SC_MANAGER_CONNECT
constexpr DWORD kManagerCreateService = 0x0002;  // SC_MANAGER_CREATE_SERVICE
// What a user without administrative rights may ask of the manager and of a service.
constexpr DWORD kManagerUserRights = 0x20000 | 0x0001 | 0x0004 | 0x0010;
constexpr DWORD kServiceUserRights = 0x20000 | 0x0001 | 0x0004 | 0x0008 | 0x0080 | 0x0100;
constexpr DWORD kServiceDelete = 0x10000;  // DELETE
constexpr DWORD kServicePauseContinue = 0x0040;
constexpr DWORD kServiceInterrogate = 0x0080;
constexpr DWORD kServiceUserDefinedControl = 0x0100;
constexpr DWORD kAcceptPauseContinue = 0x2;
constexpr DWORD kServiceWin32ShareProcess = 0x20;

constexpr LONG kErrorServiceDisabled = 1058;
constexpr LONG kErrorProcessAborted = 1067;
constexpr LONG kErrorDuplicateServiceName = 1078;
constexpr LONG kErrorServiceNotInExe = 1083;

constexpr auto kPollInterval = std::chrono::milliseconds(2);

const char* StateName(DWORD state) {
    static const char* const names[] = {
        "SERVICE_STOPPED", "SERVICE_START_PENDING",    "SERVICE_STOP_PENDING",
        "SERVICE_RUNNING", "SERVICE_CONTINUE_PENDING", "SERVICE_PAUSE_PENDING",
        "SERVICE_PAUSED"};
    return state >= 1 && state <= 7 ? names[state - 1] : "SERVICE_STATE_UNKNOWN";
}

std::u16string ServiceKeyPath(std::u16string_view name) {
    return std::u16string(kServicesKeyPath) + u"\\" + std::u16string(name);
}

// The service's key, when it is a service: a key with a Type value (a bare key is none).
std::optional<KeyId> ServiceKey(RegistryStore& registry, std::u16string_view name) {
    std::optional<KeyId> key = registry.Find(ServiceKeyPath(name));
    RegValue type;
    if (!key || registry.QueryValue(*key, u"Type", &type) != ERROR_SUCCESS)
        return std::nullopt;
    return key;
}

// The last part of a key's path, as stored.
std::u16string StoredName(RegistryStore& registry, KeyId key) {
    std::u16string path;
    registry.PathOf(key, &path);
    return path.substr(path.rfind(u'\\') + 1);
}

// A process that has ended (a zombie counts as ended) no longer runs its service.
bool ProcessAlive(long pid) {
    if (pid <= 0)
        return false;
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM)
        return false;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return true;
    auto close = line.rfind(')');
    return close == std::string::npos || close + 2 >= line.size() || line[close + 2] != 'Z';
}

std::map<std::string, std::string> ReadKeyValues(const std::filesystem::path& file) {
    std::map<std::string, std::string> values;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        auto equals = line.find('=');
        if (equals != std::string::npos)
            values[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return values;
}

std::uint64_t NumberOf(const std::map<std::string, std::string>& values, const std::string& key) {
    auto it = values.find(key);
    if (it == values.end())
        return 0;
    return std::strtoull(it->second.c_str(), nullptr, 10);
}

std::string NewStartToken() {
    std::random_device random;
    return std::to_string(::getpid()) + "-" + std::to_string(random()) + std::to_string(random());
}

// Starts `program` detached from this process (its own session, reparented when the
// intermediate child exits) with the given environment; its output goes to `output`.
// Returns its process id, or 0 when it could not be started.
long LaunchDetached(const std::string& program, const std::vector<std::string>& environment,
                    const std::string& output) {
    // Everything the children need is prepared before fork: after it, only
    // async-signal-safe calls are made.
    std::vector<char*> argv{const_cast<char*>(program.c_str()), nullptr};
    std::vector<char*> envp;
    for (const auto& entry : environment)
        envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return 0;
    pid_t child = ::fork();
    if (child < 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return 0;
    }
    if (child == 0) {
        ::setsid();
        pid_t grandchild = ::fork();
        if (grandchild != 0) {
            long launched = grandchild > 0 ? grandchild : 0;
            ssize_t ignored = ::write(pipeFds[1], &launched, sizeof launched);
            (void)ignored;
            ::_exit(0);
        }
        int input = ::open("/dev/null", O_RDONLY);
        int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (input >= 0)
            ::dup2(input, 0);
        if (out >= 0) {
            ::dup2(out, 1);
            ::dup2(out, 2);
        }
        if (::chdir("/") != 0)
            ::_exit(127);
        ::execve(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    long launched = 0;
    if (::read(pipeFds[0], &launched, sizeof launched) != static_cast<ssize_t>(sizeof launched))
        launched = 0;
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return launched;
}

}  // namespace

// ---- run-time state files ----

std::filesystem::path ServiceManager::StateDir() const {
    return (machine_.machineDir_ ? *machine_.machineDir_ : machine_.root_) / "scm";
}

std::filesystem::path ServiceManager::StatusFile(std::u16string_view name) const {
    std::string file = Utf16ToUtf8(name);
    for (char& c : file)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return StateDir() / (file + ".status");
}

std::filesystem::path ServiceManager::ControlFile(std::u16string_view name) const {
    auto file = StatusFile(name);
    file.replace_extension(".control");
    return file;
}

ServiceRuntime ServiceManager::LoadRuntime(std::u16string_view name) const {
    ServiceRuntime runtime;
    auto values = ReadKeyValues(StatusFile(name));
    if (values.empty())
        return runtime;
    runtime.status.dwCurrentState = static_cast<DWORD>(NumberOf(values, "State"));
    runtime.status.dwControlsAccepted = static_cast<DWORD>(NumberOf(values, "ControlsAccepted"));
    runtime.status.dwWin32ExitCode = static_cast<DWORD>(NumberOf(values, "Win32ExitCode"));
    runtime.status.dwServiceSpecificExitCode =
        static_cast<DWORD>(NumberOf(values, "ServiceSpecificExitCode"));
    runtime.status.dwCheckPoint = static_cast<DWORD>(NumberOf(values, "CheckPoint"));
    runtime.status.dwWaitHint = static_cast<DWORD>(NumberOf(values, "WaitHint"));
    runtime.markedForDelete = NumberOf(values, "MarkedForDelete") != 0;
    runtime.startToken = values["StartToken"];
    runtime.connected = NumberOf(values, "Connected") != 0;
    runtime.pid = static_cast<long>(NumberOf(values, "Pid"));
    runtime.handledControl = NumberOf(values, "HandledControl");
    runtime.reported = NumberOf(values, "Reported") != 0;
    // A service whose process has ended is stopped, whatever it reported last.
    if (runtime.status.dwCurrentState != SERVICE_STOPPED && runtime.pid != 0 &&
        runtime.pid != ::getpid() && !ProcessAlive(runtime.pid)) {
        runtime.status = ServiceRuntime{}.status;
        runtime.connected = false;
    }
    return runtime;
}

void ServiceManager::SaveRuntime(std::u16string_view name, const ServiceRuntime& runtime) const {
    std::ostringstream out;
    out << "State=" << runtime.status.dwCurrentState << "\n"
        << "ControlsAccepted=" << runtime.status.dwControlsAccepted << "\n"
        << "Win32ExitCode=" << runtime.status.dwWin32ExitCode << "\n"
        << "ServiceSpecificExitCode=" << runtime.status.dwServiceSpecificExitCode << "\n"
        << "CheckPoint=" << runtime.status.dwCheckPoint << "\n"
        << "WaitHint=" << runtime.status.dwWaitHint << "\n"
        << "MarkedForDelete=" << (runtime.markedForDelete ? 1 : 0) << "\n"
        << "StartToken=" << runtime.startToken << "\n"
        << "Connected=" << (runtime.connected ? 1 : 0) << "\n"
        << "Pid=" << runtime.pid << "\n"
        << "HandledControl=" << runtime.handledControl << "\n"
        << "Reported=" << (runtime.reported ? 1 : 0) << "\n";
    std::error_code ec;
    std::filesystem::create_directories(StateDir(), ec);
    WriteBytesAtomically(StatusFile(name), out.str());
}

std::optional<ServiceManager::ControlRequest> ServiceManager::LoadControl(
    std::u16string_view name) const {
    auto values = ReadKeyValues(ControlFile(name));
    if (values.empty())
        return std::nullopt;
    return ControlRequest{static_cast<DWORD>(NumberOf(values, "Control")),
                          NumberOf(values, "Sequence")};
}

// ---- handles ----

BOOL ServiceManager::Fail(LONG error) {
    machine_.SetLastError(static_cast<DWORD>(error));
    return FALSE;
}

ServiceManager::Handle* ServiceManager::FindHandle(SC_HANDLE handle, bool manager, DWORD access,
                                                   LONG* error) {
    auto it = handles_.find(handle);
    if (it == handles_.end() || it->second.manager != manager) {
        *error = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    if ((it->second.access & access) != access) {
        *error = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    return &it->second;
}

bool ServiceManager::HasOpenHandles(const std::u16string& name) const {
    for (const auto& [value, handle] : handles_) {
        if (!handle.manager && EqualsIgnoreCase(handle.service, name))
            return true;
    }
    return false;
}

void ServiceManager::RemoveIfDeletable(const std::u16string& name) {
    machine_.Exclusive([&]() -> LONG {
        ServiceRuntime runtime = LoadRuntime(name);
        if (!runtime.markedForDelete || runtime.status.dwCurrentState != SERVICE_STOPPED ||
            HasOpenHandles(name)) {
            return ERROR_SUCCESS;
        }
        std::u16string path = ServiceKeyPath(name);
        if (machine_.registry_->Delete(path, true))
            machine_.Record("DeleteKey", path);
        std::error_code ec;
        std::filesystem::remove(StatusFile(name), ec);
        std::filesystem::remove(ControlFile(name), ec);
        return ERROR_SUCCESS;
    });
}

bool ServiceManager::Exists(std::u16string_view name) {
    bool exists = false;
    machine_.Exclusive([&]() -> LONG {
        exists = ServiceKey(*machine_.registry_, name).has_value();
        return ERROR_SUCCESS;
    });
    return exists;
}

ServiceRuntime ServiceManager::RuntimeOf(std::u16string_view name) {
    ServiceRuntime runtime;
    machine_.Exclusive([&]() -> LONG {
        runtime = LoadRuntime(name);
        return ERROR_SUCCESS;
    });
    return runtime;
}

std::vector<SERVICE_STATUS> ServiceManager::ReportedStatuses() {
    std::lock_guard<std::recursive_mutex> lock(machine_.mutex_);
    return reported_;
}

bool ServiceManager::WaitForState(std::u16string_view name, DWORD state,
                                  std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (RuntimeOf(name).status.dwCurrentState != state) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(kPollInterval);
    }
    return true;
}

std::size_t ServiceManager::ServiceMainReturns() {
    std::lock_guard<std::recursive_mutex> lock(machine_.mutex_);
    return serviceMainReturns_;
}

std::size_t ServiceManager::OpenHandleCount() {
    std::lock_guard<std::recursive_mutex> lock(machine_.mutex_);
    return handles_.size();
}

// ---- the manager's calls ----

SC_HANDLE ServiceManager::OpenSCManager(LPCWSTR machineName, LPCWSTR databaseName, DWORD access) {
    if (machine_.DueFault(Call::OpenSCManagerW))
        return nullptr;
    std::lock_guard<std::recursive_mutex> lock(machine_.mutex_);
    if ((machineName != nullptr && *machineName != u'\0') ||
        (databaseName != nullptr && !EqualsIgnoreCase(databaseName, u"ServicesActive"))) {
        Fail(ERROR_INVALID_NAME);
        return nullptr;
    }
    if (!machine_.settings_.administrator && (access & ~kManagerUserRights) != 0) {
        Fail(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    SC_HANDLE handle = reinterpret_cast<SC_HANDLE>(machine_.NextHandleValue());
    handles_[handle] = Handle{true, {}, access | kManagerConnect};
    return handle;
}

SC_HANDLE ServiceManager::CreateService(SC_HANDLE manager, LPCWSTR name, LPCWSTR displayName,
                                        DWORD access, DWORD serviceType, DWORD startType,
                                        DWORD errorControl, LPCWSTR binaryPath) {
    if (machine_.DueFault(Call::CreateServiceW))
        return nullptr;
    std::lock_guard<std::recursive_mutex> lock(machine_.mutex_);
    LONG error = ERROR_SUCCESS;
    if (FindHandle(manager, true, kManagerCreateService, &error) == nullptr) {
        Fail(error);
        return nullptr;
    }
    std::u16string_view serviceName = name == nullptr ? u"" : name;
    if (serviceName.empty() || serviceName.size() > 256 ||
        serviceName.find_first_of(u"/\\") != std::u16string_view::npos) {
        Fail(ERROR_INVALID_NAME);
        return nullptr;
    }
    if (binaryPath == nullptr || *binaryPath == u'\0' ||
        (serviceType != SERVICE_WIN32_OWN_PROCESS && serviceType != kServiceWin32ShareProcess) ||
        startType > SERVICE_DISABLED || errorControl > 3) {
        Fail(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::u16string shownName = displayName == nullptr ? std::u16string(serviceName) : displayName;
    error = machine_.Exclusive([&]() -> LONG {
        RegistryStore& registry = *machine_.registry_;
        std::u16string path = ServiceKeyPath(serviceName);
        if (ServiceKey(registry, serviceName)) {
            return LoadRuntime(serviceName).markedForDelete ? ERROR_SERVICE_MARKED_FOR_DELETE
                                                            : ERROR_SERVICE_EXISTS;
        }
        // No other service may go by the same name or display name.
        std::vector<Subkey> services;
        if (std::optional<KeyId> root = registry.Find(kServicesKeyPath))
            registry.Subkeys(*root, &services);
        for (const auto& other : services) {
            if (ServiceKey(registry, other.name) &&
                (EqualsIgnoreCase(TextOf(registry, other.id, u"DisplayName"), shownName) ||
                 EqualsIgnoreCase(other.name, shownName))) {
                return kErrorDuplicateServiceName;
            }
        }
        // A key left without a service (a bare "start" value, say) is taken over.
        bool created = false;
        KeyId key = registry.Create(path, &created);
        if (created)
            machine_.Record("CreateKey", path);
        for (const auto& [valueName, type, data] :
             {std::tuple{u"Type", REG_DWORD, DwordData(serviceType)},
              std::tuple{u"Start", REG_DWORD, DwordData(startType)},
              std::tuple{u"ErrorControl", REG_DWORD, DwordData(errorControl)},
              std::tuple{u"ImagePath", REG_EXPAND_SZ, TextData(binaryPath)},
              std::tuple{u"DisplayName", REG_SZ, TextData(shownName)},
              std::tuple{u"ObjectName", REG_SZ, TextData(u"LocalSystem")}}) {
            if (LONG error = registry.SetValue(key, valueName, type, data))
                return error;
        }
        SaveRuntime(serviceName, ServiceRuntime{});
        std::error_code ec;
        std::filesystem::remove(ControlFile(serviceName), ec);
        machine_.Record("CreateService", std::u16string(serviceName));
        return ERROR_SUCCESS;
    });
    if (error != ERROR_SUCCESS) {
        Fail(error);
        return nullptr;
    }
    SC_HANDLE handle = reinterpret_cast<SC_HANDLE>(machine_.NextHandleValue());
    handles_[handle] = Handle{false, std::u16string(serviceName), access};
    return handle;
}

SC_HANDLE ServiceManager::OpenService(SC_HANDLE manager, LPCWSTR name, DWORD access) {
    if (machine_.DueFault(Call::OpenServiceW))
        return nullptr;
    std::lock_guard<std::recursive_mutex> lock(machine_.mutex_);
    LONG error = ERROR_SUCCESS;
    if (FindHandle(manager, true, kManagerConnect, &error) == nullptr) {
        Fail(error);
        return nullptr;
    }
    if (name == nullptr) {
        Fail(ERROR_INVALID_NAME);
        return nullptr;
    }
    std::u16string storedName;
    error = machine_.Exclusive([&]() -> LONG {
        std::optional<KeyId> key = ServiceKey(*machine_.registry_, name);
        if (!key)
            return ERROR_SERVICE_DOES_NOT_EXIST;
        storedName = StoredName(*machine_.registry_, *key);
        return ERROR_SUCCESS;
    });
    if (error == ERROR_SUCCESS && !machine_.settings_.administrator &&
        (access & ~kServiceUserRights) != 0) {
        error = ERROR_ACCESS_DENIED;
    }
    if (error != ERROR_SUCCESS) {
        Fail(error);
        return nullptr;
    }
    SC_HANDLE handle = reinterpret_cast<SC_HANDLE>(machine_.NextHandleValue());
    handles_[handle] = Handle{false, storedName, access};
    return handle;
}

BOOL ServiceManager::DeleteService(SC_HANDLE service) {
    if (machine_.DueFault(Call::DeleteService))
        return FALSE;
    std::lock_guard<std::recursive_mutex> lock(machine_.mutex_);
    LONG error = ERROR_SUCCESS;
    Handle* handle = FindHandle(service, false, kServiceDelete, &error);
    if (handle == nullptr)
        return Fail(error);
    std::u16string name = handle->service;
    error = machine_.Exclusive([&]() -> LONG {
        if (!ServiceKey(*machine_.registry_, name))
            return ERROR_SERVICE_DOES_NOT_EXIST;
        ServiceRuntime runtime = LoadRuntime(name);
        if (runtime.markedForDelete)
            return ERROR_SERVICE_MARKED_FOR_DELETE;
        // The entry goes when the service has stopped and its last handle is closed.
        runtime.markedForDelete = true;
        SaveRuntime(name, runtime);
        machine_.Record("DeleteService", name);
        return ERROR_SUCCESS;
    });
    return error == ERROR_SUCCESS ? TRUE : Fail(error);
}

std::optional<std::filesystem::path> ServiceManager::ExecutableOf(
    std::u16string_view imagePath) const {
    // A quoted path is taken whole. Unquoted, Windows tries each prefix that ends
    // at a space, shortest first, and runs the first that names a file.
    std::vector<std::u16string> candidates;
    if (!imagePath.empty() && imagePath.front() == u'"') {
        std::size_t end = imagePath.find(u'"', 1);
        candidates.emplace_back(imagePath.substr(
            1, end == std::u16string_view::npos ? std::u16string_view::npos : end - 1));
    } else {
        for (std::size_t space = imagePath.find(u' '); space != std::u16string_view::npos;
             space = imagePath.find(u' ', space + 1)) {
            candidates.emplace_back(imagePath.substr(0, space));
        }
        candidates.emplace_back(imagePath);
    }
    for (const auto& candidate : candidates) {
        std::filesystem::path host = machine_.HostPath(candidate);
        bool isModule = EqualsIgnoreCase(candidate, machine_.settings_.modulePath);
        std::error_code ec;
        if (std::filesystem::is_regular_file(host, ec) && ::access(host.c_str(), X_OK) == 0)
            return host;
        // The program's own executable is this Linux program, wherever it lives.
        if (isModule)
            return std::filesystem::path("/proc/self/exe");
        if (std::filesystem::exists(host, ec))
            return std::nullopt;
    }
    return std::nullopt;
}

LONG ServiceManager::LaunchAndAwait(const std::u16string& name, const std::string& token) {
    std::u16string imagePath;
    machine_.Exclusive([&]() -> LONG {
        if (std::optional<KeyId> key = machine_.registry_->Find(ServiceKeyPath(name)))
            imagePath = TextOf(*machine_.registry_, *key, u"ImagePath");
        return ERROR_SUCCESS;
    });
    std::optional<std::filesystem::path> program = ExecutableOf(imagePath);
    long pid = 0;
    if (program) {
        std::error_code ec;
        auto resolved = std::filesystem::canonical(*program, ec);
        std::vector<std::string> environment;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            std::string text = *entry;
            if (text.rfind("ZEREGION_MACHINE=", 0) != 0 &&
                text.rfind(std::string(kServiceStartTokenVariable) + "=", 0) != 0) {
                environment.push_back(text);
            }
        }
        environment.push_back("ZEREGION_MACHINE=" + machine_.machineDir_->string());
        environment.push_back(std::string(kServiceStartTokenVariable) + "=" + token);
        auto output = StatusFile(name);
        output.replace_extension(".out");
        pid = LaunchDetached(ec ? program->string() : resolved.string(), environment,
                             output.string());
    }
    auto revert = [&](LONG error) {
        machine_.Exclusive([&]() -> LONG {
            ServiceRuntime runtime = LoadRuntime(name);
            runtime.status = ServiceRuntime{}.status;
            runtime.connected = false;
            runtime.startToken.clear();
            SaveRuntime(name, runtime);
            return ERROR_SUCCESS;
        });
        return error;
    };
    if (pid == 0)
        return revert(program ? kErrorProcessAborted : ERROR_FILE_NOT_FOUND);
    machine_.Exclusive([&]() -> LONG {
        ServiceRuntime runtime = LoadRuntime(name);
        runtime.pid = pid;
        SaveRuntime(name, runtime);
        return ERROR_SUCCESS;
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
            return revert(kErrorProcessAborted);
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(static_cast<pid_t>(pid), SIGKILL);
            return revert(ERROR_SERVICE_REQUEST_TIMEOUT);
        }
        std::this_thread::sleep_for(kPollInterval);
    }
}

BOOL ServiceManager::StartService(SC_HANDLE service) {
    if (machine_.DueFault(Call::StartServiceW))
        return FALSE;
    std::u16string name;
    std::string token;
    {
        std::lock_guard<std::recursive_mutex> lock(machine_.mutex_);
        LONG error = ERROR_SUCCESS;
        Handle* handle = FindHandle(service, false, SERVICE_START, &error);
        if (handle == nullptr)
            return Fail(error);
        name = handle->service;
        token = machine_.machineDir_ ? NewStartToken() : std::string();
        error = machine_.Exclusive([&]() -> LONG {
            std::optional<KeyId> key = ServiceKey(*machine_.registry_, name);
            if (!key)
                return ERROR_SERVICE_DOES_NOT_EXIST;
            ServiceRuntime runtime = LoadRuntime(name);
            if (runtime.markedForDelete)
                return ERROR_SERVICE_MARKED_FOR_DELETE;
            if (DwordOf(*machine_.registry_, *key, u"Start").value_or(SERVICE_DEMAND_START) ==
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
            SaveRuntime(name, runtime);
            std::error_code ec;
            std::filesystem::remove(ControlFile(name), ec);
            machine_.Record("StartService", name);
            return ERROR_SUCCESS;
        });
        if (error != ERROR_SUCCESS)
            return Fail(error);
    }
    // In memory there is no process to launch: the start stays pending until a
    // dispatcher of this process connects.
    if (!machine_.machineDir_)
        return TRUE;
    LONG error = LaunchAndAwait(name, token);
    return error == ERROR_SUCCESS ? TRUE : Fail(error);
}

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
                auto pending = LoadControl(name);
                if (pending && pending->sequence == sequence) {
                    std::error_code ec;
                    std::filesystem::remove(ControlFile(name), ec);
                }
                return ERROR_SUCCESS;
            });
            return gone ? ERROR_SERVICE_NOT_ACTIVE : ERROR_SERVICE_REQUEST_TIMEOUT;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
}

BOOL ServiceManager::ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status) {
    if (machine_.DueFault(Call::ControlService))
        return FALSE;
    if (status == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
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
        return Fail(ERROR_INVALID_PARAMETER);
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

BOOL ServiceManager::SendShutdown(std::u16string_view name, SERVICE_STATUS* status) {
    return SendControl(
        [&](std::u16string* target) {
            *target = std::u16string(name);
            return ERROR_SUCCESS;
        },
        SERVICE_CONTROL_SHUTDOWN, SERVICE_ACCEPT_SHUTDOWN, status);
}

BOOL ServiceManager::SendControl(const std::function<LONG(std::u16string*)>& target, DWORD control,
                                 DWORD accepted, SERVICE_STATUS* status) {
    std::u16string name;
    std::uint64_t sequence = 0;
    auto deadline = std::chrono::steady_clock::now() + requestTimeout_;
    for (;;) {
        LONG error = ERROR_SUCCESS;
        bool queued = false;
        {
            std::lock_guard<std::recursive_mutex> lock(machine_.mutex_);
            error = target(&name);
            if (error != ERROR_SUCCESS)
                return Fail(error);
            error = machine_.Exclusive([&]() -> LONG {
                ServiceRuntime runtime = LoadRuntime(name);
                *status = runtime.status;
                DWORD state = runtime.status.dwCurrentState;
                if (state == SERVICE_STOPPED)
                    return ERROR_SERVICE_NOT_ACTIVE;
                if (state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING)
                    return ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
                if ((runtime.status.dwControlsAccepted & accepted) != accepted)
                    return ERROR_INVALID_SERVICE_CONTROL;
                // One control at a time: a pending one is waited for.
                if (LoadControl(name))
                    return ERROR_SUCCESS;
                sequence = runtime.handledControl + 1;
                std::ostringstream request;
                request << "Control=" << control << "\nSequence=" << sequence << "\n";
                WriteBytesAtomically(ControlFile(name), request.str());
                if (control == SERVICE_CONTROL_STOP)
                    machine_.Record("StopService", name);
                queued = true;
                return ERROR_SUCCESS;
            });
        }
        if (error != ERROR_SUCCESS)
            return Fail(error);
        if (queued)
            break;
        if (std::chrono::steady_clock::now() >= deadline)
            return Fail(ERROR_SERVICE_REQUEST_TIMEOUT);
        std::this_thread::sleep_for(kPollInterval);
    }
    LONG error = AwaitHandled(name, sequence);
    *status = RuntimeOf(name).status;
    return error == ERROR_SUCCESS ? TRUE : Fail(error);
}

// An injected failure is reported after the handle is closed, as every failed close.
BOOL ServiceManager::CloseServiceHandle(SC_HANDLE handle) {
    bool fault = machine_.DueFault(Call::CloseServiceHandle).has_value();
    std::u16string service;
    {
        std::lock_guard<std::recursive_mutex> lock(machine_.mutex_);
        auto it = handles_.find(handle);
        if (it == handles_.end())
            return Fail(ERROR_INVALID_HANDLE);
        service = it->second.manager ? std::u16string() : it->second.service;
        handles_.erase(it);
        if (!service.empty())
            RemoveIfDeletable(service);
    }
    return fault ? FALSE : TRUE;
}

// ---- the service process's side ----

BOOL ServiceManager::StartServiceCtrlDispatcher(const SERVICE_TABLE_ENTRYW* table) {
    if (machine_.DueFault(Call::StartServiceCtrlDispatcherW))
        return FALSE;
    if (table == nullptr || table[0].lpServiceName == nullptr || table[0].lpServiceProc == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    std::u16string name = table[0].lpServiceName;
    const char* envToken = std::getenv(kServiceStartTokenVariable);
    LONG error = ERROR_SUCCESS;
    {
        std::lock_guard<std::recursive_mutex> lock(machine_.mutex_);
        if (dispatcher_)
            return Fail(ERROR_SERVICE_ALREADY_RUNNING);
        error = machine_.Exclusive([&]() -> LONG {
            std::optional<KeyId> key = ServiceKey(*machine_.registry_, name);
            ServiceRuntime runtime = LoadRuntime(name);
            // Only a process the manager started for a pending start may connect.
            if (!key || runtime.status.dwCurrentState != SERVICE_START_PENDING ||
                runtime.connected || runtime.startToken != (envToken == nullptr ? "" : envToken)) {
                return ERROR_FAILED_SERVICE_CONTROLLER_CONNECT;
            }
            runtime.connected = true;
            runtime.startToken.clear();
            runtime.pid = ::getpid();
            SaveRuntime(name, runtime);
            name = StoredName(*machine_.registry_, *key);
            return ERROR_SUCCESS;
        });
        if (error != ERROR_SUCCESS)
            return Fail(error);
        dispatcher_ = Dispatcher{name, nullptr, nullptr};
    }
    std::vector<char16_t> argument(name.begin(), name.end());
    argument.push_back(u'\0');
    LPWSTR argv[] = {argument.data(), nullptr};
    LPSERVICE_MAIN_FUNCTIONW serviceMain = table[0].lpServiceProc;
    std::thread serviceThread([&] {
        try {
            serviceMain(1, argv);
        } catch (const ProcessExit& exit) {
            std::lock_guard<std::recursive_mutex> lock(machine_.mutex_);
            processExit_ = exit.code;
            return;
        }
        std::lock_guard<std::recursive_mutex> lock(machine_.mutex_);
        ++serviceMainReturns_;
    });
    RunDispatcherLoop(name);
    serviceThread.join();
    std::optional<UINT> exitCode;
    {
        std::lock_guard<std::recursive_mutex> lock(machine_.mutex_);
        dispatcher_.reset();
        exitCode = std::exchange(processExit_, std::nullopt);
    }
    if (exitCode)
        throw ProcessExit{*exitCode};
    return TRUE;
}

void ServiceManager::RunDispatcherLoop(const std::u16string& name) {
    for (;;) {
        std::optional<ControlRequest> request;
        LPHANDLER_FUNCTION handler = nullptr;
        DWORD state = SERVICE_STOPPED;
        machine_.Exclusive([&]() -> LONG {
            state = LoadRuntime(name).status.dwCurrentState;
            handler = dispatcher_->handler;
            request = handler != nullptr ? LoadControl(name) : std::nullopt;
            if (request) {
                std::error_code ec;
                std::filesystem::remove(ControlFile(name), ec);
            }
            return ERROR_SUCCESS;
        });
        if (request) {
            // The handler runs on this thread, outside every lock of the machine.
            try {
                handler(request->control);
            } catch (const ProcessExit& exit) {
                std::lock_guard<std::recursive_mutex> lock(machine_.mutex_);
                processExit_ = exit.code;
            }
            machine_.Exclusive([&]() -> LONG {
                ServiceRuntime runtime = LoadRuntime(name);
                runtime.handledControl = std::max(runtime.handledControl, request->sequence);
                SaveRuntime(name, runtime);
                state = runtime.status.dwCurrentState;
                return ERROR_SUCCESS;
            });
        }
        bool exited = false;
        {
            std::lock_guard<std::recursive_mutex> lock(machine_.mutex_);
            exited = processExit_.has_value();
        }
        if (state == SERVICE_STOPPED || exited)
            break;
        std::this_thread::sleep_for(kPollInterval);
    }
    machine_.Exclusive([&]() -> LONG {
        ServiceRuntime runtime = LoadRuntime(name);
        // A process that ends without reporting its service stopped leaves it stopped,
        // with the error Windows gives a service whose process ended.
        if (processExit_ && runtime.status.dwCurrentState != SERVICE_STOPPED)
            runtime.status = SERVICE_STATUS{SERVICE_WIN32_OWN_PROCESS,
                                            SERVICE_STOPPED,
                                            0,
                                            static_cast<DWORD>(kErrorProcessAborted),
                                            0,
                                            0,
                                            0};
        runtime.connected = false;
        SaveRuntime(name, runtime);
        return ERROR_SUCCESS;
    });
}

SERVICE_STATUS_HANDLE ServiceManager::RegisterServiceCtrlHandler(LPCWSTR name,
                                                                 LPHANDLER_FUNCTION handler) {
    if (machine_.DueFault(Call::RegisterServiceCtrlHandlerW))
        return nullptr;
    std::lock_guard<std::recursive_mutex> lock(machine_.mutex_);
    if (!dispatcher_ || name == nullptr || !EqualsIgnoreCase(dispatcher_->service, name)) {
        Fail(kErrorServiceNotInExe);
        return nullptr;
    }
    if (handler == nullptr) {
        Fail(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    dispatcher_->handler = handler;
    if (dispatcher_->statusHandle == nullptr) {
        dispatcher_->statusHandle =
            reinterpret_cast<SERVICE_STATUS_HANDLE>(machine_.NextHandleValue());
    }
    return dispatcher_->statusHandle;
}

BOOL ServiceManager::SetServiceStatus(SERVICE_STATUS_HANDLE handle, const SERVICE_STATUS* status) {
    if (machine_.DueFault(Call::SetServiceStatus))
        return FALSE;
    std::lock_guard<std::recursive_mutex> lock(machine_.mutex_);
    if (!dispatcher_ || handle == nullptr || handle != dispatcher_->statusHandle)
        return Fail(ERROR_INVALID_HANDLE);
    if (status == nullptr || status->dwCurrentState < SERVICE_STOPPED ||
        status->dwCurrentState > 7) {
        return Fail(ERROR_INVALID_DATA);
    }
    std::u16string name = dispatcher_->service;
    machine_.Exclusive([&]() -> LONG {
        ServiceRuntime runtime = LoadRuntime(name);
        runtime.status = *status;
        runtime.reported = true;
        SaveRuntime(name, runtime);
        machine_.Record("ServiceStatus", name, Utf8ToUtf16(StateName(status->dwCurrentState)));
        return ERROR_SUCCESS;
    });
    reported_.push_back(*status);
    if (status->dwCurrentState == SERVICE_STOPPED)
        RemoveIfDeletable(name);
    return TRUE;
}

// ---- SimPlatform ----

ServiceManager& SimPlatform::Services() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (!services_)
        services_.reset(new ServiceManager(*this));
    return *services_;
}

void SimPlatform::ServiceManagerDeleter::operator()(ServiceManager* manager) const {
    delete manager;
}

SC_HANDLE SimPlatform::OpenSCManagerW(LPCWSTR lpMachineName, LPCWSTR lpDatabaseName,
                                      DWORD dwDesiredAccess) {
    return Services().OpenSCManager(lpMachineName, lpDatabaseName, dwDesiredAccess);
}

SC_HANDLE SimPlatform::CreateServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName,
                                      LPCWSTR lpDisplayName, DWORD dwDesiredAccess,
                                      DWORD dwServiceType, DWORD dwStartType, DWORD dwErrorControl,
                                      LPCWSTR lpBinaryPathName, LPCWSTR, DWORD*, LPCWSTR, LPCWSTR,
                                      LPCWSTR) {
    // Load order groups, tags, dependencies and accounts are not modelled: every
    // service runs as LocalSystem.
    return Services().CreateService(hSCManager, lpServiceName, lpDisplayName, dwDesiredAccess,
                                    dwServiceType, dwStartType, dwErrorControl, lpBinaryPathName);
}

SC_HANDLE SimPlatform::OpenServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName,
                                    DWORD dwDesiredAccess) {
    return Services().OpenService(hSCManager, lpServiceName, dwDesiredAccess);
}

BOOL SimPlatform::DeleteService(SC_HANDLE hService) {
    return Services().DeleteService(hService);
}

BOOL SimPlatform::StartServiceW(SC_HANDLE hService, DWORD, LPCWSTR*) {
    return Services().StartService(hService);
}

BOOL SimPlatform::ControlService(SC_HANDLE hService, DWORD dwControl,
                                 SERVICE_STATUS* lpServiceStatus) {
    return Services().ControlService(hService, dwControl, lpServiceStatus);
}

BOOL SimPlatform::CloseServiceHandle(SC_HANDLE hSCObject) {
    return Services().CloseServiceHandle(hSCObject);
}

BOOL SimPlatform::StartServiceCtrlDispatcherW(const SERVICE_TABLE_ENTRYW* lpServiceStartTable) {
    return Services().StartServiceCtrlDispatcher(lpServiceStartTable);
}

SERVICE_STATUS_HANDLE SimPlatform::RegisterServiceCtrlHandlerW(LPCWSTR lpServiceName,
                                                               LPHANDLER_FUNCTION lpHandlerProc) {
    return Services().RegisterServiceCtrlHandler(lpServiceName, lpHandlerProc);
}

BOOL SimPlatform::SetServiceStatus(SERVICE_STATUS_HANDLE hServiceStatus,
                                   SERVICE_STATUS* lpServiceStatus) {
    return Services().SetServiceStatus(hServiceStatus, lpServiceStatus);
}

}  // namespace ze::sim
