#include "platform/sim/sim_platform.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>
#include <thread>

#include "common/text.h"
#include "platform/sim/machine_file.h"
#include "platform/sim/machine_registry.h"

namespace ze::sim {
namespace {

thread_local DWORD t_lastError = 0;

// The fault armed for this thread's next call of one name (InjectFaultOnThisThread).
struct ThreadFault {
    Call call;
    LONG error = ERROR_SUCCESS;
};
thread_local std::optional<ThreadFault> t_armedFault;

struct LocaleInfo {
    LCID id;
    const char16_t* country;
};
constexpr LocaleInfo kLocales[] = {
    {0x0409, u"USA"}, {0x0411, u"JPN"}, {0x0809, u"GBR"}, {0x0407, u"DEU"}, {0x040C, u"FRA"},
    {0x0804, u"CHN"}, {0x0404, u"TWN"}, {0x0412, u"KOR"}, {0x0410, u"ITA"}, {0x0C0A, u"ESP"},
    {0x0413, u"NLD"}, {0x0416, u"BRA"}, {0x0419, u"RUS"}, {0x1009, u"CAN"}, {0x0C09, u"AUS"},
};

// Copies text into a caller's buffer with the GetSystemDirectoryW conventions:
// the length without terminator when it fits, else the size needed with it.
UINT CopyDirectory(const std::u16string& text, LPWSTR buffer, UINT size) {
    if (buffer == nullptr || size <= text.size()) {
        return static_cast<UINT>(text.size() + 1);
    }
    std::copy(text.begin(), text.end(), buffer);
    buffer[text.size()] = u'\0';
    return static_cast<UINT>(text.size());
}

}  // namespace

SimPlatform::SimPlatform(std::filesystem::path root)
    : root_(std::move(root)), registry_(RegistryStore::InMemory()) {
    std::filesystem::create_directories(root_ / "C");
}

SimPlatform::~SimPlatform() {
    for (auto& [handle, file] : files_) {
        ::close(file.fd);
    }
}

std::uintptr_t SimPlatform::NextHandleValue() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    nextHandle_ += 4;
    return nextHandle_;
}

void SimPlatform::InjectFault(Call call, int occurrence, LONG error) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    faults_[call].push_back(Fault{occurrence, error});
}

void SimPlatform::ClearFaults() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    faults_.clear();
    callCounts_.clear();
}

void SimPlatform::InjectFaultOnThisThread(Call call, LONG error) {
    t_armedFault = ThreadFault{call, error};
}

std::optional<LONG> SimPlatform::DueFault(Call call) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    int count = ++callCounts_[call];
    if (t_armedFault && t_armedFault->call == call) {
        LONG error = t_armedFault->error;
        t_armedFault.reset();
        t_lastError = static_cast<DWORD>(error);
        return error;
    }
    auto it = faults_.find(call);
    if (it == faults_.end())
        return std::nullopt;
    for (const auto& fault : it->second) {
        if (fault.occurrence == 0 || fault.occurrence == count) {
            t_lastError = static_cast<DWORD>(fault.error);
            return fault.error;
        }
    }
    return std::nullopt;
}

void SimPlatform::Record(std::string action, std::u16string path, std::u16string name, DWORD type,
                         std::vector<BYTE> data) {
    journal_.Record(
        JournalEntry{std::move(action), std::move(path), std::move(name), type, std::move(data)});
}

// ---- module, system, time, locale, debug output ----

DWORD SimPlatform::GetModuleFileNameW(HMODULE, LPWSTR lpFilename, DWORD nSize) {
    if (auto fault = DueFault(Call::GetModuleFileNameW))
        return 0;
    const std::u16string& path = settings_.modulePath;
    if (nSize == 0) {
        t_lastError = ERROR_INSUFFICIENT_BUFFER;
        return 0;
    }
    // Windows cuts the path to the buffer, terminates it and reports the buffer size.
    if (path.size() >= nSize) {
        std::copy_n(path.begin(), nSize - 1, lpFilename);
        lpFilename[nSize - 1] = u'\0';
        t_lastError = ERROR_INSUFFICIENT_BUFFER;
        return nSize;
    }
    std::copy(path.begin(), path.end(), lpFilename);
    lpFilename[path.size()] = u'\0';
    t_lastError = ERROR_SUCCESS;
    return static_cast<DWORD>(path.size());
}

HMODULE SimPlatform::GetModuleHandleW(LPCWSTR lpModuleName) {
    if (auto fault = DueFault(Call::GetModuleHandleW))
        return nullptr;
    if (lpModuleName != nullptr) {
        t_lastError = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    return reinterpret_cast<HMODULE>(static_cast<std::uintptr_t>(0x140000000));
}

LPWSTR SimPlatform::GetCommandLineW() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    commandLineBuffer_ = settings_.commandLine.empty() ? u"\"" + settings_.modulePath + u"\""
                                                       : settings_.commandLine;
    return commandLineBuffer_.data();
}

UINT SimPlatform::GetSystemDirectoryW(LPWSTR lpBuffer, UINT uSize) {
    if (auto fault = DueFault(Call::GetSystemDirectoryW))
        return 0;
    return CopyDirectory(settings_.windowsDirectory + u"\\system32", lpBuffer, uSize);
}

UINT SimPlatform::GetWindowsDirectoryW(LPWSTR lpBuffer, UINT uSize) {
    if (auto fault = DueFault(Call::GetWindowsDirectoryW))
        return 0;
    return CopyDirectory(settings_.windowsDirectory, lpBuffer, uSize);
}

void SimPlatform::GetLocalTime(SYSTEMTIME* lpSystemTime) {
    if (clock_) {
        *lpSystemTime = *clock_;
        return;
    }
    auto now = std::chrono::system_clock::now();
    std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    *lpSystemTime =
        SYSTEMTIME{static_cast<WORD>(local.tm_year + 1900), static_cast<WORD>(local.tm_mon + 1),
                   static_cast<WORD>(local.tm_wday),        static_cast<WORD>(local.tm_mday),
                   static_cast<WORD>(local.tm_hour),        static_cast<WORD>(local.tm_min),
                   static_cast<WORD>(local.tm_sec),         static_cast<WORD>(millis)};
}

void SimPlatform::ExitProcess(UINT uExitCode) {
    throw ProcessExit{uExitCode};
}

void SimPlatform::Sleep(DWORD dwMilliseconds) {
    slept_ += dwMilliseconds;
    if (!instantSleep_)
        std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}

DWORD SimPlatform::GetLastError() {
    return t_lastError;
}

void SimPlatform::SetLastError(DWORD dwErrCode) {
    t_lastError = dwErrCode;
}

int SimPlatform::GetLocaleInfoW(LCID Locale, LCTYPE LCType, LPWSTR lpLCData, int cchData) {
    if (auto fault = DueFault(Call::GetLocaleInfoW))
        return 0;
    LCID id = Locale == LOCALE_SYSTEM_DEFAULT ? settings_.systemLocale
              : Locale == LOCALE_USER_DEFAULT ? settings_.userLocale
                                              : Locale;
    const LocaleInfo* info = nullptr;
    for (const auto& candidate : kLocales) {
        if (candidate.id == id)
            info = &candidate;
    }
    std::u16string answer;
    switch (LCType & 0x7FFFFFFF) {
        case LOCALE_ILANGUAGE:
            answer = Format(u"%04x", id & 0xFFFF);
            break;
        case LOCALE_SABBREVCTRYNAME:
            if (info != nullptr)
                answer = info->country;
            break;
    }
    if (answer.empty() || cchData < 0 || (cchData > 0 && lpLCData == nullptr)) {
        t_lastError = ERROR_INVALID_PARAMETER;
        return 0;
    }
    int needed = static_cast<int>(answer.size()) + 1;
    if (cchData == 0)
        return needed;
    if (cchData < needed) {
        t_lastError = ERROR_INSUFFICIENT_BUFFER;
        return 0;
    }
    std::copy(answer.begin(), answer.end(), lpLCData);
    lpLCData[answer.size()] = u'\0';
    return needed;
}

void SimPlatform::OutputDebugStringW(LPCWSTR lpOutputString) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (lpOutputString != nullptr)
        debugStream_ += lpOutputString;
}

// ---- standard streams ----

namespace {
// Pseudo handles below every handle value the machine hands out.
const HANDLE kStandardHandles[2] = {reinterpret_cast<HANDLE>(std::uintptr_t{0x11}),
                                    reinterpret_cast<HANDLE>(std::uintptr_t{0x12})};
}  // namespace

int SimPlatform::StandardStreamIndex(HANDLE handle) {
    for (int i = 0; i < 2; ++i) {
        if (handle == kStandardHandles[i])
            return i;
    }
    return -1;
}

void SimPlatform::AppendStandardStream(int index, std::string_view bytes) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    standardStreams_[index].append(bytes);
    if (echoStandardStreams_) {
        std::FILE* stream = index == 0 ? stdout : stderr;
        std::fwrite(bytes.data(), 1, bytes.size(), stream);
        std::fflush(stream);
    }
}

std::string SimPlatform::StandardStream(DWORD which) const {
    return standardStreams_[which == STD_ERROR_HANDLE ? 1 : 0];
}

HANDLE SimPlatform::GetStdHandle(DWORD nStdHandle) {
    if (nStdHandle == STD_OUTPUT_HANDLE)
        return kStandardHandles[0];
    if (nStdHandle == STD_ERROR_HANDLE)
        return kStandardHandles[1];
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_HANDLE_VALUE;
}

BOOL SimPlatform::GetConsoleMode(HANDLE hConsoleHandle, DWORD* lpMode) {
    if (!settings_.console || StandardStreamIndex(hConsoleHandle) < 0 || lpMode == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *lpMode = 0;
    return TRUE;
}

BOOL SimPlatform::WriteConsoleW(HANDLE hConsoleOutput, const void* lpBuffer,
                                DWORD nNumberOfCharsToWrite, DWORD* lpNumberOfCharsWritten, void*) {
    int index = StandardStreamIndex(hConsoleOutput);
    if (!settings_.console || index < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    AppendStandardStream(index,
                         Utf16ToUtf8(std::u16string_view(static_cast<const char16_t*>(lpBuffer),
                                                         nNumberOfCharsToWrite)));
    if (lpNumberOfCharsWritten != nullptr)
        *lpNumberOfCharsWritten = nNumberOfCharsToWrite;
    return TRUE;
}

// ---- persistence ----

LONG SimPlatform::Exclusive(const std::function<LONG()>& body) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return registry_->Transaction(body);
}

std::unique_ptr<SimPlatform> SimPlatform::OpenMachine(const std::filesystem::path& dir,
                                                      std::string* error) {
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec)) {
        *error = "machine folder " + dir.string() + " does not exist";
        return nullptr;
    }
    MachineSettings settings;
    if (!ReadMachineSettings(dir / "machine.ini", &settings, error))
        return nullptr;
    std::unique_ptr<RegistryStore> registry = OpenMachineRegistry(dir, true, stderr, error);
    if (!registry)
        return nullptr;
    auto machine = std::make_unique<SimPlatform>(dir);
    machine->settings_ = std::move(settings);
    machine->machineDir_ = dir;
    machine->registry_ = std::move(registry);
    machine->journal_.MirrorTo(dir / "journal.txt");
    return machine;
}

bool SimPlatform::CreateMachine(const std::filesystem::path& dir, const MachineSettings& settings,
                                std::string* error) {
    std::error_code ec;
    std::filesystem::create_directories(dir / "C", ec);
    if (ec) {
        *error = "cannot create " + dir.string() + ": " + ec.message();
        return false;
    }
    if (!WriteMachineSettings(dir / "machine.ini", settings)) {
        *error = "cannot write the machine files in " + dir.string();
        return false;
    }
    return true;
}

}  // namespace ze::sim
