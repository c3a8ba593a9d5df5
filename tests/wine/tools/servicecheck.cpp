// servicecheck: a minimal service hosted through Win32Platform, for the Wine tier to
// check that the dispatcher and the control handler reach the program's routines
// (through the platform's trampolines) under Wine's service manager. Each event is
// appended as a line to servicecheck.txt beside the executable.
#include <cstdio>
#include <string>

#include "common/text.h"
#include "platform/win32/win32_platform.h"

// The thread a routine runs on, from the Windows API itself (the platform has no call
// for it).
extern "C" __declspec(dllimport) unsigned long __stdcall GetCurrentThreadId();

namespace {

std::string g_markerPath;
unsigned long g_mainThread = 0;

// "main" for the thread that called the dispatcher, "other" for any other.
const char16_t* ThreadName() {
    return GetCurrentThreadId() == g_mainThread ? u"main" : u"other";
}
ze::SERVICE_STATUS_HANDLE g_statusHandle = nullptr;
ze::SERVICE_STATUS g_status{
    ze::SERVICE_WIN32_OWN_PROCESS, ze::SERVICE_START_PENDING, 0, 0, 0, 0, 0};

void Mark(const std::u16string& line) {
    if (std::FILE* file = std::fopen(g_markerPath.c_str(), "ab")) {
        std::string utf8 = ze::Utf16ToUtf8(line) + "\n";
        std::fwrite(utf8.data(), 1, utf8.size(), file);
        std::fclose(file);
    }
}

void Report(ze::DWORD state) {
    g_status.dwCurrentState = state;
    // Preshutdown too, as the program accepts it: Wine must take the flag.
    g_status.dwControlsAccepted =
        state == ze::SERVICE_RUNNING ? ze::SERVICE_ACCEPT_STOP | ze::SERVICE_ACCEPT_PRESHUTDOWN : 0;
    ze::BOOL ok = ze::OS().SetServiceStatus(g_statusHandle, &g_status);
    Mark(ze::Format(u"status %u -> %d", state, ok));
}

ze::DWORD Handler(ze::DWORD control, ze::DWORD, void*, void* context) {
    Mark(ze::Format(u"control %u on %s thread, context %d", control, ThreadName(),
                    context == &g_status));
    if (control == ze::SERVICE_CONTROL_STOP) {
        Report(ze::SERVICE_STOPPED);
    }
    return ze::NO_ERROR;
}

void ServiceMain(ze::DWORD argc, ze::LPWSTR* argv) {
    Mark(ze::Format(u"main argc=%u name=%s on %s thread", argc, argc > 0 ? argv[0] : u"",
                    ThreadName()));
    g_statusHandle = ze::OS().RegisterServiceCtrlHandlerExW(argv[0], Handler, &g_status);
    Mark(ze::Format(u"handler registered %d", g_statusHandle != nullptr));
    Report(ze::SERVICE_RUNNING);
}

}  // namespace

int wmain(int, wchar_t**) {
    g_mainThread = GetCurrentThreadId();
    static ze::Win32Platform platform;
    ze::InstallPlatform(&platform);
    char16_t path[ze::MAX_PATH] = {};
    ze::DWORD length = ze::OS().GetModuleFileNameW(nullptr, path, ze::MAX_PATH);
    std::u16string marker(path, length);
    marker = marker.substr(0, marker.rfind(u'\\') + 1) + u"servicecheck.txt";
    g_markerPath = ze::Utf16ToUtf8(marker);

    char16_t name[] = u"ZeCheck";
    ze::SERVICE_TABLE_ENTRYW table[] = {{name, ServiceMain}, {nullptr, nullptr}};
    ze::BOOL ok = ze::OS().StartServiceCtrlDispatcherW(table);
    ze::DWORD error = ok ? 0 : ze::OS().GetLastError();
    Mark(ze::Format(u"dispatcher returned %d error %u", ok, error));
    return ok ? 0 : 1;
}
