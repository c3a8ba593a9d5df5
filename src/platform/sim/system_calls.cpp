#include "platform/sim/system_calls.h"

#include <chrono>
#include <ctime>
#include <thread>

#include "common/text.h"

namespace ze::sim {
namespace {

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

SYSTEMTIME LocalTimeNow() {
    auto now = std::chrono::system_clock::now();
    std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    return SYSTEMTIME{static_cast<WORD>(local.tm_year + 1900), static_cast<WORD>(local.tm_mon + 1),
                      static_cast<WORD>(local.tm_wday),        static_cast<WORD>(local.tm_mday),
                      static_cast<WORD>(local.tm_hour),        static_cast<WORD>(local.tm_min),
                      static_cast<WORD>(local.tm_sec),         static_cast<WORD>(millis)};
}

}  // namespace

DWORD SystemCalls::GetModuleFileName(LPWSTR buffer, DWORD size) {
    if (auto fault = machine_.DueFault(Call::GetModuleFileNameW))
        return 0;
    const std::u16string& path = machine_.Settings().modulePath;
    if (size == 0) {
        Machine::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    // Windows cuts the path to the buffer, terminates it and reports the buffer size.
    if (path.size() >= size) {
        std::copy_n(path.begin(), size - 1, buffer);
        buffer[size - 1] = u'\0';
        Machine::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::copy(path.begin(), path.end(), buffer);
    buffer[path.size()] = u'\0';
    Machine::SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(path.size());
}

HMODULE SystemCalls::GetModuleHandle(LPCWSTR name) {
    if (auto fault = machine_.DueFault(Call::GetModuleHandleW))
        return nullptr;
    if (name != nullptr) {
        Machine::SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<HMODULE>(static_cast<std::uintptr_t>(0x140000000));
}

LPWSTR SystemCalls::GetCommandLine() {
    std::lock_guard<std::mutex> lock(mutex_);
    const MachineSettings& settings = machine_.Settings();
    commandLineBuffer_ =
        settings.commandLine.empty() ? u"\"" + settings.modulePath + u"\"" : settings.commandLine;
    return commandLineBuffer_.data();
}

UINT SystemCalls::GetSystemDirectory(LPWSTR buffer, UINT size) {
    if (auto fault = machine_.DueFault(Call::GetSystemDirectoryW))
        return 0;
    return CopyDirectory(machine_.Settings().windowsDirectory + u"\\system32", buffer, size);
}

UINT SystemCalls::GetWindowsDirectory(LPWSTR buffer, UINT size) {
    if (auto fault = machine_.DueFault(Call::GetWindowsDirectoryW))
        return 0;
    return CopyDirectory(machine_.Settings().windowsDirectory, buffer, size);
}

void SystemCalls::SetClock(const SYSTEMTIME& time) {
    std::lock_guard<std::mutex> lock(mutex_);
    clock_ = time;
}

void SystemCalls::GetLocalTime(SYSTEMTIME* time) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (clock_) {
            *time = *clock_;
            return;
        }
    }
    *time = LocalTimeNow();
}

void SystemCalls::Sleep(DWORD milliseconds) {
    slept_ += milliseconds;
    if (!instantSleep_)
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

int SystemCalls::GetLocaleInfo(LCID locale, LCTYPE type, LPWSTR buffer, int size) {
    if (auto fault = machine_.DueFault(Call::GetLocaleInfoW))
        return 0;
    const MachineSettings& settings = machine_.Settings();
    LCID id = locale == LOCALE_SYSTEM_DEFAULT ? settings.systemLocale
              : locale == LOCALE_USER_DEFAULT ? settings.userLocale
                                              : locale;
    const LocaleInfo* info = nullptr;
    for (const auto& candidate : kLocales) {
        if (candidate.id == id)
            info = &candidate;
    }
    std::u16string answer;
    switch (type & 0x7FFFFFFF) {
        case LOCALE_ILANGUAGE:
            answer = Format(u"%04x", id & 0xFFFF);
            break;
        case LOCALE_SABBREVCTRYNAME:
            if (info != nullptr)
                answer = info->country;
            break;
    }
    if (answer.empty() || size < 0 || (size > 0 && buffer == nullptr)) {
        Machine::SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    int needed = static_cast<int>(answer.size()) + 1;
    if (size == 0)
        return needed;
    if (size < needed) {
        Machine::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::copy(answer.begin(), answer.end(), buffer);
    buffer[answer.size()] = u'\0';
    return needed;
}

void SystemCalls::OutputDebugString(LPCWSTR text) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (text != nullptr)
        debugStream_ += text;
}

HANDLE SystemCalls::GetStdHandle(DWORD which) {
    if (HANDLE handle = StandardStreams::HandleOf(which))
        return handle;
    Machine::SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_HANDLE_VALUE;
}

BOOL SystemCalls::GetConsoleMode(HANDLE handle, DWORD* mode) {
    if (!machine_.Settings().console || StandardStreams::IndexOf(handle) < 0 || mode == nullptr)
        return Machine::Fail(ERROR_INVALID_HANDLE);
    *mode = 0;
    return TRUE;
}

BOOL SystemCalls::WriteConsole(HANDLE handle, const void* text, DWORD chars, DWORD* written) {
    int index = StandardStreams::IndexOf(handle);
    if (!machine_.Settings().console || index < 0)
        return Machine::Fail(ERROR_INVALID_HANDLE);
    machine_.Streams().Append(
        index, Utf16ToUtf8(std::u16string_view(static_cast<const char16_t*>(text), chars)));
    if (written != nullptr)
        *written = chars;
    return TRUE;
}

}  // namespace ze::sim
