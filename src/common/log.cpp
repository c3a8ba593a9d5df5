#include "common/log.h"

#include <cstdarg>
#include <mutex>
#include <utility>

#include "common/paths.h"
#include "common/text.h"
#include "platform/handles.h"

namespace ze {

int g_bWriteLogFile = 1;
int g_bDebugMode = 0;

namespace {
// The service thread and the control handler both log. Each entry opens the file
// with read sharing only, so without this lock the second writer's open would fail
// and its entry would be lost.
std::mutex g_logFileMutex;
constexpr std::size_t kMessageChars = 512;
// Another run of the program (a command line run next to the service, say) holds the
// file for its own entry just as briefly. A sharing violation is waited out for up to
// this many attempts, this far apart, before the entry is dropped.
constexpr int kOpenAttempts = 20;
constexpr DWORD kOpenRetryMilliseconds = 10;
// An entry waited out a hold and was dropped: the file is held for longer than an
// entry takes, so later entries try once, without waiting, until one gets through.
// Guarded by g_logFileMutex.
bool g_bLogFileHeld = false;

UniqueFile OpenLogFile() {
    int attempts = g_bLogFileHeld ? 1 : kOpenAttempts;
    for (int attempt = 1;; ++attempt) {
        UniqueFile file(OS().CreateFileW(g_szZeRegionSvcLogPath, FILE_APPEND_DATA, FILE_SHARE_READ,
                                         nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) {
            g_bLogFileHeld = false;
            return file;
        }
        bool held = OS().GetLastError() == static_cast<DWORD>(ERROR_SHARING_VIOLATION);
        if (!held || attempt == attempts) {
            g_bLogFileHeld = g_bLogFileHeld || held;
            return file;
        }
        OS().Sleep(kOpenRetryMilliseconds);
    }
}
}  // namespace

void LogPrint(const char16_t* format, ...) {
    char16_t message[kMessageChars] = {};
    va_list args;
    va_start(args, format);
    FormatV(message, kMessageChars, format, args);
    va_end(args);
    if (g_bDebugMode != 0) {
        OS().OutputDebugStringW(message);
    }
    if (g_bWriteLogFile != 0) {
        AppendLogFile(std::u16string(message));
    }
}

void AppendLogFile(std::u16string text) {
    std::lock_guard<std::mutex> lock(g_logFileMutex);
    UniqueFile file = OpenLogFile();
    if (!file) {
        return;
    }
    SYSTEMTIME now{};
    OS().GetLocalTime(&now);
    std::u16string entry = Format(u"[%d-%d-%d %d:%d:%d:%d] ", now.wYear, now.wMonth, now.wDay,
                                  now.wHour, now.wMinute, now.wSecond, now.wMilliseconds) +
                           text;
    DWORD written = 0;
    OS().WriteFile(file.get(), entry.data(), static_cast<DWORD>(entry.size() * 2), &written,
                   nullptr);
}

ScopedLogSilence::ScopedLogSilence()
    : writeLogFile_(std::exchange(g_bWriteLogFile, 0)),
      debugMode_(std::exchange(g_bDebugMode, 0)) {}

ScopedLogSilence::~ScopedLogSilence() {
    g_bWriteLogFile = writeLogFile_;
    g_bDebugMode = debugMode_;
}

}  // namespace ze
