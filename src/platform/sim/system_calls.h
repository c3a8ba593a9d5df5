// The simulated machine's answers about itself: the module and its command line, the
// Windows and system directories, a settable clock, Sleep, locale information, the
// debugger stream and the console.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "platform/sim/machine.h"

namespace ze::sim {

class SystemCalls {
  public:
    explicit SystemCalls(Machine& machine) : machine_(machine) {}

    DWORD GetModuleFileName(LPWSTR buffer, DWORD size);
    HMODULE GetModuleHandle(LPCWSTR name);
    LPWSTR GetCommandLine();
    UINT GetSystemDirectory(LPWSTR buffer, UINT size);
    UINT GetWindowsDirectory(LPWSTR buffer, UINT size);
    void GetLocalTime(SYSTEMTIME* time);
    void Sleep(DWORD milliseconds);
    int GetLocaleInfo(LCID locale, LCTYPE type, LPWSTR buffer, int size);
    void OutputDebugString(LPCWSTR text);
    HANDLE GetStdHandle(DWORD which);
    BOOL GetConsoleMode(HANDLE handle, DWORD* mode);
    BOOL WriteConsole(HANDLE handle, const void* text, DWORD chars, DWORD* written);

    // ---- state for tests and tools ----
    void SetClock(const SYSTEMTIME& time);
    // Sleep waits for real unless `instant` is set; either way the waits are added up.
    void SetInstantSleep(bool instant) { instantSleep_ = instant; }
    std::uint64_t SleptMilliseconds() const { return slept_; }
    const std::u16string& DebugStream() const { return debugStream_; }

  private:
    Machine& machine_;
    std::mutex mutex_;  // guards the clock, the debugger stream and the command line
    std::optional<SYSTEMTIME> clock_;
    std::atomic<bool> instantSleep_{false};
    std::atomic<std::uint64_t> slept_{0};
    std::u16string debugStream_;
    std::u16string commandLineBuffer_;
};

}  // namespace ze::sim
