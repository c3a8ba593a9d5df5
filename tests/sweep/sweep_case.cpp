#include "sweep/sweep_case.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <sstream>

#include "common/events.h"
#include "common/text.h"
#include "main/program.h"
#include "platform/names.h"
#include "platform/sim/device_manager.h"
#include "platform/sim/machine_file.h"
#include "platform/sim/machine_registry.h"
#include "platform/sim/service_manager.h"

namespace ze::sweep {
namespace fs = std::filesystem;
namespace {

using Clock = std::chrono::steady_clock;

constexpr char16_t kExePath[] = u"C:\\Program Files\\Zelvaro\\ZeRegionSvc.exe";
constexpr char16_t kServiceName[] = u"ZeRegionSvc";
constexpr char16_t kHardwareId[] = u"ven_1d6a&dev_7260";
constexpr char16_t kDriverKey[] =
    u"SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002bE10318}\\0007";
constexpr char16_t kServiceKey[] = u"SYSTEM\\CurrentControlSet\\Services\\ZeRegionSvc";
// The files the program may write: its settings file and its log.
constexpr const char* kOwnFiles[] = {"Program Files/Zelvaro/ZeRegionSvc.ini",
                                     "Program Files/Zelvaro/ZeRegionSvc.log"};

// How long the program may take to return, in real time and on the virtual clock of
// its waits (the stop wait hint the service gives).
constexpr auto kReturnBound = std::chrono::seconds(5);
constexpr DWORD kSleepBound = 30000;
// How long the delivery of a stop may take before the reset goes on without it: the
// handler waits for the log when the stop comes in the middle of a log entry.
constexpr auto kStopDelivery = std::chrono::milliseconds(300);
constexpr int kChildTimeoutMs = 60000;

constexpr LONG kErrorDiskFull = 112;
constexpr LONG kErrorServiceNotInExe = 1083;

const fs::path kDemoMachine = fs::path(ZE_SOURCE_DIR) / "examples" / "demo-machine";

bool Installed(Scenario scenario) {
    return scenario != Scenario::Install;
}
LCID LocaleOf(Scenario scenario) {
    return scenario == Scenario::DebugEnglish ? 0x0409 : 0x0411;
}
std::vector<std::u16string> ArgumentsOf(Scenario scenario) {
    switch (scenario) {
        case Scenario::DebugJapanese:
        case Scenario::DebugEnglish:
            return {kExePath, u"/debug"};
        case Scenario::Install:
            return {kExePath, u"/install"};
        case Scenario::Uninstall:
            return {kExePath, u"/uninstall"};
        case Scenario::HardwareId:
            return {kExePath, kHardwareId};
        case Scenario::ServiceRun:
            break;
    }
    return {kExePath};
}

// ---- the machine ----

fs::path FreshRoot() {
    std::random_device random;
    auto root = fs::temp_directory_path() /
                ("zeregion-sweep-" + std::to_string(::getpid()) + "-" + std::to_string(random()));
    fs::create_directories(root);
    return root;
}

// The demo machine in memory, its C: drive copied to root.
std::unique_ptr<sim::SimPlatform> DemoMachine(const fs::path& root, LCID locale,
                                              std::string* error) {
    fs::copy(kDemoMachine / "C", root / "C", fs::copy_options::recursive);
    auto machine = std::make_unique<sim::SimPlatform>(root);
    if (!sim::ReadMachineSettings(kDemoMachine / "machine.ini", &machine->Settings(), error) ||
        !sim::ImportRegFile(machine->Registry(), kDemoMachine / sim::kRegistryReg, true, false,
                            nullptr, error)) {
        return nullptr;
    }
    machine->Settings().systemLocale = locale;
    machine->Settings().userLocale = locale;
    machine->Services().SetRequestTimeout(std::chrono::seconds(5));
    return machine;
}

// Another process's dealings with the service manager: straight on the machine, so
// they are neither counted nor made to fail.
class Controller {
  public:
    explicit Controller(sim::SimPlatform& machine) : machine_(machine) {
        manager_ = machine.OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    }
    ~Controller() { machine_.CloseServiceHandle(manager_); }
    Controller(const Controller&) = delete;
    Controller& operator=(const Controller&) = delete;

    void Install() {
        std::u16string command = u"\"" + std::u16string(kExePath) + u"\"";
        Close(machine_.CreateServiceW(manager_, kServiceName, kServiceName, SERVICE_ALL_ACCESS,
                                      SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                      SERVICE_ERROR_IGNORE, command.c_str(), nullptr, nullptr,
                                      nullptr, nullptr, nullptr));
    }
    bool Start() {
        SC_HANDLE service = machine_.OpenServiceW(manager_, kServiceName, SERVICE_ALL_ACCESS);
        bool started = machine_.StartServiceW(service, 0, nullptr) != FALSE;
        Close(service);
        return started;
    }
    bool Stop() {
        SC_HANDLE service = machine_.OpenServiceW(manager_, kServiceName, SERVICE_ALL_ACCESS);
        SERVICE_STATUS status{};
        bool stopped = machine_.ControlService(service, SERVICE_CONTROL_STOP, &status) != FALSE;
        Close(service);
        return stopped;
    }

  private:
    void Close(SC_HANDLE service) {
        if (service != nullptr)
            machine_.CloseServiceHandle(service);
    }
    sim::SimPlatform& machine_;
    SC_HANDLE manager_ = nullptr;
};

// Polls until the condition holds or the time is up.
bool WaitFor(const std::function<bool()>& condition, Clock::duration limit) {
    auto deadline = Clock::now() + limit;
    while (!condition()) {
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// The program's process: its entry runs on a thread of its own, which a case that
// hangs leaves behind (the child process ends with _exit).
class ProgramRun {
  public:
    ProgramRun(SweepLayer& layer, std::vector<std::u16string> arguments)
        : state_(std::make_shared<State>()) {
        state_->arguments = std::move(arguments);
        thread_ = std::thread([state = state_, &layer] {
            layer.SetMainThread(std::this_thread::get_id());
            std::vector<char16_t*> argv;
            for (auto& argument : state->arguments)
                argv.push_back(argument.data());
            argv.push_back(nullptr);
            try {
                _tmain(static_cast<int>(state->arguments.size()), argv.data());
            } catch (const sim::ProcessExit&) {
                // ExitProcess on the simulated machine ends the process by unwinding
                // the thread that called it.
            }
            state->done = true;
        });
    }
    ~ProgramRun() {
        if (state_->done)
            thread_.join();
        else
            thread_.detach();
    }
    bool Done() const { return state_->done; }
    bool WaitDone(Clock::duration limit) {
        return WaitFor([&] { return Done(); }, limit);
    }

  private:
    struct State {
        std::vector<std::u16string> arguments;
        std::atomic<bool> done{false};
    };
    std::shared_ptr<State> state_;
    std::thread thread_;
};

// Delivers a stop from another thread and waits, within a bound, until it is handled.
void DeliverStop(sim::SimPlatform& machine) {
    auto handled = std::make_shared<std::atomic<bool>>(false);
    std::thread([&machine, handled] {
        Controller(machine).Stop();
        *handled = true;
    }).detach();
    WaitFor([&] { return handled->load(); }, kStopDelivery);
}

bool RunScenario(const SweepCase& sweepCase, sim::SimPlatform& machine, SweepLayer& layer) {
    if (sweepCase.scenario != Scenario::ServiceRun) {
        ProgramRun run(layer, ArgumentsOf(sweepCase.scenario));
        return run.WaitDone(kReturnBound);
    }
    if (sweepCase.stopBefore)
        layer.BeforeServiceWork(*sweepCase.stopBefore, [&machine] { DeliverStop(machine); });
    Controller(machine).Start();
    ProgramRun run(layer, ArgumentsOf(sweepCase.scenario));
    WaitFor([&] { return run.Done() || machine.Dispatcher().ServiceMainReturns() > 0; },
            kReturnBound);
    Controller(machine).Stop();
    return run.WaitDone(kReturnBound);
}

// ---- the checks ----

bool Under(std::u16string_view path, std::u16string_view key) {
    return path.size() >= key.size() && EqualsIgnoreCase(path.substr(0, key.size()), key) &&
           (path.size() == key.size() || path[key.size()] == u'\\');
}

// Registry changes outside the driver key, the service key and the event source's key
// (whose parents a machine without an Application log gets created), one line each.
std::string RegistryOutOfScope(const sim::Journal& journal) {
    std::string lines;
    for (const auto& entry : journal.Entries()) {
        bool registryChange = entry.action == "CreateKey" || entry.action == "SetValue" ||
                              entry.action == "DeleteKey" || entry.action == "DeleteValue";
        if (registryChange && !Under(entry.path, kDriverKey) && !Under(entry.path, kServiceKey) &&
            !Under(entry.path, kEventSourceKeyPath) &&
            !(entry.action == "CreateKey" && Under(kEventSourceKeyPath, entry.path)))
            lines += entry.ToString() + "; ";
    }
    return lines;
}

std::map<std::string, std::string> Snapshot(const fs::path& drive) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(drive)) {
        if (!entry.is_regular_file())
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        files[fs::relative(entry.path(), drive).generic_string()] =
            std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return files;
}

// Files created, changed or removed other than the program's own, one name each.
std::string ForeignFileChanges(const std::map<std::string, std::string>& before,
                               const std::map<std::string, std::string>& after) {
    std::map<std::string, bool> changed;
    for (const auto& [name, bytes] : before) {
        auto it = after.find(name);
        if (it == after.end() || it->second != bytes)
            changed[name] = true;
    }
    for (const auto& [name, bytes] : after) {
        if (before.count(name) == 0)
            changed[name] = true;
    }
    std::string names;
    for (const auto& [name, flag] : changed) {
        if (std::find(std::begin(kOwnFiles), std::end(kOwnFiles), name) == std::end(kOwnFiles))
            names += name + "; ";
    }
    return names;
}

bool AdapterEnabled(sim::SimPlatform& machine) {
    for (const auto& device : machine.Settings().presentDevices) {
        auto flags = machine.Registry().GetValue(std::u16string(sim::kEnumKeyPath) + u"\\" + device,
                                                 u"ConfigFlags");
        if (!flags || flags->data.empty() || (flags->data[0] & CONFIGFLAG_DISABLED) != 0)
            return false;
    }
    return true;
}

// ---- the child process and its report ----

void WriteAll(int fd, const std::string& text);

// Runs the case and writes its report: "check <n> <0|1> <what it saw>" lines,
// "call <name> <occurrence> <0|1>" lines, then "end".
std::string CaseReport(const SweepCase& sweepCase) {
    std::ostringstream report;
    fs::path root = FreshRoot();
    std::string error;
    // The machine and the layer live as long as the child: a program that hangs goes on
    // using them, and the platform, from its own thread.
    sim::SimPlatform* machine = DemoMachine(root, LocaleOf(sweepCase.scenario), &error).release();
    if (machine == nullptr)
        return "check " + std::to_string(kReturns) + " 0 cannot build the demo machine: " + error +
               "\n";
    if (Installed(sweepCase.scenario))
        Controller(*machine).Install();
    machine->JournalOf().Clear();
    auto filesBefore = Snapshot(root / "C");

    auto& layer = *new SweepLayer(*machine);
    if (sweepCase.failing)
        layer.FailAt(*sweepCase.failing, sweepCase.error);
    InstallPlatform(&layer);
    bool returned = RunScenario(sweepCase, *machine, layer);
    std::string registry = RegistryOutOfScope(machine->JournalOf());
    std::string files = ForeignFileChanges(filesBefore, Snapshot(root / "C"));
    bool adapter = AdapterEnabled(*machine);
    returned = returned && layer.SleptMilliseconds() <= kSleepBound;

    report << "check " << kReturns << " " << returned << " not ended within "
           << kReturnBound.count() << " s and " << kSleepBound << " ms of waits (waited "
           << layer.SleptMilliseconds() << " ms)\n"
           << "check " << kRegistryInScope << " " << registry.empty() << " " << registry << "\n"
           << "check " << kOwnFilesOnly << " " << files.empty() << " " << files << "\n"
           << "check " << kAdapterEnabled << " " << adapter << " left disabled\n";
    for (const auto& call : layer.Calls()) {
        report << "call " << CallName(call.point.call) << " " << call.point.occurrence << " "
               << call.serviceWork << "\n";
    }
    report << "end\n";
    if (returned) {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    return report.str();
}

// The child's whole life: the report goes to the pipe and the process ends at once,
// before any destructor runs, since a program that hangs still uses the machine, the
// layer and the platform from its own thread.
[[noreturn]] void RunInChild(const SweepCase& sweepCase, int reportFd, const fs::path& errors) {
    int out = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out >= 0) {
        ::dup2(out, 1);
        ::dup2(out, 2);
    }
    WriteAll(reportFd, CaseReport(sweepCase));
    ::_exit(0);
}

void WriteAll(int fd, const std::string& text) {
    std::size_t written = 0;
    while (written < text.size()) {
        ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n <= 0)
            return;
        written += static_cast<std::size_t>(n);
    }
}

// Reads the child's report until it closes the pipe or the time is up.
bool ReadReport(int fd, std::string* text) {
    auto deadline = Clock::now() + std::chrono::milliseconds(kChildTimeoutMs);
    char buffer[65536];
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        pollfd waiting{fd, POLLIN, 0};
        if (::poll(&waiting, 1, static_cast<int>(left.count())) <= 0)
            continue;
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            return true;
        text->append(buffer, static_cast<std::size_t>(n));
    }
}

void ParseReport(const std::string& text, Outcome* outcome, bool* ended) {
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string kind;
        words >> kind;
        if (kind == "check") {
            int check = 0;
            int passed = 0;
            words >> check >> passed;
            if (check >= 0 && check < kCheckCount) {
                outcome->passed[check] = passed != 0;
                std::getline(words >> std::ws, outcome->why[check]);
            }
        } else if (kind == "call") {
            std::string name;
            CallRecord record;
            int serviceWork = 0;
            words >> name >> record.point.occurrence >> serviceWork;
            record.serviceWork = serviceWork != 0;
            if (std::optional<Call> call = CallNamed(name)) {
                record.point.call = *call;
                outcome->calls.push_back(std::move(record));
            }
        } else if (kind == "end") {
            *ended = true;
        }
    }
}

std::string ReadFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Win32 errors in decimal, SetupAPI's (with the high bits set) in hexadecimal.
std::string ErrorText(LONG error) {
    if (error >= 0)
        return std::to_string(error);
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(error));
    return text;
}

}  // namespace

const char* ScenarioName(Scenario scenario) {
    switch (scenario) {
        case Scenario::DebugJapanese:
            return "/debug (Japanese)";
        case Scenario::DebugEnglish:
            return "/debug (English)";
        case Scenario::ServiceRun:
            return "service run";
        case Scenario::Install:
            return "/install";
        case Scenario::Uninstall:
            return "/uninstall";
        case Scenario::HardwareId:
            return "hardware ID";
    }
    return "?";
}

const char* CheckName(int check) {
    static const char* const names[kCheckCount] = {
        "no crash",          "no sanitizer report",        "returns",
        "registry in scope", "only its own files written", "adapter enabled"};
    return check >= 0 && check < kCheckCount ? names[check] : "?";
}

std::string Describe(const SweepCase& sweepCase) {
    std::string text = ScenarioName(sweepCase.scenario);
    if (sweepCase.failing) {
        text += ": " + std::string(CallName(sweepCase.failing->call)) + " #" +
                std::to_string(sweepCase.failing->occurrence) + " fails with " +
                ErrorText(sweepCase.error);
    }
    if (sweepCase.stopBefore)
        text += ": stop before reset call " + std::to_string(*sweepCase.stopBefore);
    return text;
}

Outcome RunCase(const SweepCase& sweepCase) {
    Outcome outcome;
    fs::path errors = fs::temp_directory_path() /
                      ("zeregion-sweep-stderr-" + std::to_string(::getpid()) + ".txt");
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        outcome.why[kReturns] = "cannot create a pipe";
        return outcome;
    }
    std::fflush(nullptr);
    pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        RunInChild(sweepCase, fds[1], errors);
    }
    ::close(fds[1]);
    std::string report;
    bool finished = child > 0 && ReadReport(fds[0], &report);
    ::close(fds[0]);
    if (child > 0 && !finished)
        ::kill(child, SIGKILL);
    int status = 0;
    if (child > 0)
        ::waitpid(child, &status, 0);

    bool ended = false;
    ParseReport(report, &outcome, &ended);
    std::string diagnostics = ReadFile(errors);
    std::error_code ec;
    fs::remove(errors, ec);
    bool signalled = finished && WIFSIGNALED(status);
    bool deadly = diagnostics.find("SEGV") != std::string::npos ||
                  diagnostics.find("deadly signal") != std::string::npos ||
                  diagnostics.find("stack-overflow") != std::string::npos;
    bool sanitizer = diagnostics.find("Sanitizer") != std::string::npos ||
                     diagnostics.find("runtime error:") != std::string::npos;
    outcome.passed[kNoCrash] = !signalled && !deadly && (ended || !finished || sanitizer);
    outcome.passed[kNoSanitizerReport] = !sanitizer;
    if (!outcome.passed[kNoCrash])
        outcome.why[kNoCrash] = "the child ended early: " + diagnostics.substr(0, 2000);
    if (sanitizer)
        outcome.why[kNoSanitizerReport] = diagnostics.substr(0, 2000);
    if (!finished) {
        outcome.passed[kReturns] = false;
        outcome.why[kReturns] = "the child did not report within a minute";
    }
    return outcome;
}

std::vector<LONG> ErrorsOf(Call call) {
    // Every call of the port is named here, so a call added to the port does not
    // build until the sweep knows how it fails.
    switch (call) {
        // Registry: a key or value that is missing or refused, or deleted meanwhile.
        case Call::RegOpenKeyExW:
            return {ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND};
        case Call::RegCreateKeyExW:
            return {ERROR_ACCESS_DENIED};
        case Call::RegQueryValueExW:
            return {ERROR_FILE_NOT_FOUND, ERROR_KEY_DELETED};
        case Call::RegSetValueExW:
            return {ERROR_ACCESS_DENIED, ERROR_KEY_DELETED};
        case Call::RegQueryInfoKeyW:
            return {ERROR_KEY_DELETED};
        case Call::RegEnumKeyExW:
            return {ERROR_NO_MORE_ITEMS, ERROR_KEY_DELETED};
        case Call::RegEnumValueW:
            return {ERROR_NO_MORE_ITEMS, ERROR_KEY_DELETED};
        case Call::RegDeleteKeyW:
            return {ERROR_ACCESS_DENIED};
        case Call::RegCloseKey:
            return {ERROR_INVALID_HANDLE};
        // Profile functions: the file cannot be opened (held or refused).
        case Call::GetPrivateProfileStringW:
            return {ERROR_SHARING_VIOLATION};
        case Call::GetPrivateProfileIntW:
            return {ERROR_SHARING_VIOLATION};
        case Call::GetPrivateProfileSectionNamesW:
            return {ERROR_SHARING_VIOLATION};
        case Call::WritePrivateProfileStringW:
            return {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION};
        // Files, module and system.
        case Call::GetModuleFileNameW:
            return {ERROR_NOT_ENOUGH_MEMORY};
        case Call::GetModuleHandleW:
            return {ERROR_NOT_ENOUGH_MEMORY};
        case Call::GetSystemDirectoryW:
            return {ERROR_NOT_ENOUGH_MEMORY};
        case Call::GetWindowsDirectoryW:
            return {ERROR_NOT_ENOUGH_MEMORY};
        case Call::FindFirstFileW:
            return {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED};
        case Call::FindClose:
            return {ERROR_INVALID_HANDLE};
        case Call::CreateFileW:
            return {ERROR_SHARING_VIOLATION, ERROR_ACCESS_DENIED};
        case Call::WriteFile:
        case Call::FlushFileBuffers:
            return {kErrorDiskFull};
        case Call::CloseHandle:
            return {ERROR_INVALID_HANDLE};
        case Call::GetLocaleInfoW:
            return {ERROR_INVALID_PARAMETER};
        // Service control manager.
        case Call::OpenSCManagerW:
            return {ERROR_ACCESS_DENIED};
        case Call::CreateServiceW:
            return {ERROR_SERVICE_EXISTS, ERROR_ACCESS_DENIED};
        case Call::OpenServiceW:
            return {ERROR_SERVICE_DOES_NOT_EXIST, ERROR_ACCESS_DENIED};
        case Call::ChangeServiceConfigW:
            return {ERROR_SERVICE_MARKED_FOR_DELETE, ERROR_ACCESS_DENIED};
        case Call::DeleteService:
            return {ERROR_SERVICE_MARKED_FOR_DELETE};
        case Call::StartServiceW:
            return {ERROR_SERVICE_REQUEST_TIMEOUT, ERROR_SERVICE_ALREADY_RUNNING};
        case Call::ControlService:
            return {ERROR_SERVICE_NOT_ACTIVE, ERROR_SERVICE_CANNOT_ACCEPT_CTRL};
        case Call::CloseServiceHandle:
            return {ERROR_INVALID_HANDLE};
        case Call::StartServiceCtrlDispatcherW:
            return {ERROR_FAILED_SERVICE_CONTROLLER_CONNECT};
        case Call::RegisterServiceCtrlHandlerExW:
            return {kErrorServiceNotInExe};
        case Call::SetServiceStatus:
            return {ERROR_INVALID_DATA};
        // Device installer.
        case Call::SetupDiClassGuidsFromNameW:
            return {ERROR_INVALID_CLASS};
        case Call::SetupDiGetClassDevsW:
            return {ERROR_INVALID_CLASS};
        case Call::SetupDiEnumDeviceInfo:
            return {ERROR_NO_MORE_ITEMS};
        case Call::SetupDiGetDeviceRegistryPropertyW:
            return {ERROR_INVALID_DATA, ERROR_INSUFFICIENT_BUFFER};
        case Call::SetupDiSetClassInstallParamsW:
            return {ERROR_INVALID_PARAMETER};
        case Call::SetupDiCallClassInstaller:
            return {ERROR_ACCESS_DENIED, ERROR_NO_SUCH_DEVINST};
        case Call::SetupDiGetDeviceInstallParamsW:
            return {ERROR_INVALID_PARAMETER};
        case Call::SetupDiDestroyDeviceInfoList:
            return {ERROR_INVALID_HANDLE};
        // Event log: its service is not running, or it refuses the event.
        case Call::RegisterEventSourceW:
            return {RPC_S_SERVER_UNAVAILABLE, ERROR_ACCESS_DENIED};
        case Call::ReportEventW:
            return {RPC_S_SERVER_UNAVAILABLE, ERROR_INVALID_PARAMETER};
        case Call::DeregisterEventSource:
            return {ERROR_INVALID_HANDLE};
        // Security: a file whose descriptor cannot be read or converted.
        case Call::GetNamedSecurityInfoW:
            return {ERROR_ACCESS_DENIED};
        case Call::ConvertSecurityDescriptorToStringSecurityDescriptorW:
            return {ERROR_NOT_ENOUGH_MEMORY};
        // Not failed: calls that cannot fail, and those no swept scenario makes.
        case Call::GetCommandLineW:
        case Call::IsUserAnAdmin:
        case Call::LocalFree:
        case Call::ReadFile:
        case Call::GetLocalTime:
        case Call::Sleep:
        case Call::GetLastError:
        case Call::SetLastError:
        case Call::ExitProcess:
        case Call::OutputDebugStringW:
        case Call::GetStdHandle:
        case Call::GetConsoleMode:
        case Call::WriteConsoleW:
        case Call::SetupDiGetDeviceInstanceIdW:
            return {};
    }
    return {};
}

}  // namespace ze::sweep
