// Each kind of handle the program closes, closed twice: the first close succeeds and
// the second, on a handle no longer open, fails with the error Windows gives. A find
// handle is closed once only: it points at memory the first close frees, and what a
// second close then answers (Wine: TRUE) is that memory's, not a rule.
#include "probe.h"

namespace ze {

namespace {

void Show(const char16_t* what, const char16_t* step, bool closed) {
    std::u16string line = Format(u"%s %s -> %d", what, step, closed ? 1 : 0);
    if (!closed) {
        line += Format(u" error=%u", OS().GetLastError());
    }
    probe::Line(line);
}

template <typename CloseCall>
void CloseAndShow(const char16_t* what, bool opened, CloseCall close, int times = 2) {
    if (!opened) {
        probe::Line(Format(u"%s not opened, error=%u", what, OS().GetLastError()));
        return;
    }
    for (int time = 1; time <= times; ++time) {
        OS().SetLastError(0);
        Show(what, time == 1 ? u"first close" : u"second close", close());
    }
}

}  // namespace

int RunProbe(int, char16_t**) {
    HANDLE file = OS().CreateFileW(u"C:\\close_probe.txt", FILE_APPEND_DATA, FILE_SHARE_READ,
                                   nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    CloseAndShow(u"CloseHandle", file != INVALID_HANDLE_VALUE,
                 [&] { return OS().CloseHandle(file) != FALSE; });

    WIN32_FIND_DATAW found{};
    HANDLE find = OS().FindFirstFileW(u"C:\\close_probe.txt", &found);
    CloseAndShow(
        u"FindClose", find != INVALID_HANDLE_VALUE, [&] { return OS().FindClose(find) != FALSE; },
        1);

    HKEY key = nullptr;
    LONG opened = OS().RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\ZeRegionProbe", 0, nullptr,
                                       0, KEY_READ, nullptr, &key, nullptr);
    OS().SetLastError(static_cast<DWORD>(opened));
    CloseAndShow(u"RegCloseKey", opened == ERROR_SUCCESS, [&] {
        LONG result = OS().RegCloseKey(key);
        OS().SetLastError(static_cast<DWORD>(result));
        return result == ERROR_SUCCESS;
    });

    SC_HANDLE manager = OS().OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    CloseAndShow(u"CloseServiceHandle", manager != nullptr,
                 [&] { return OS().CloseServiceHandle(manager) != FALSE; });

    GUID netClass = {0x4d36e972, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
    HDEVINFO set = OS().SetupDiGetClassDevsW(&netClass, nullptr, nullptr, DIGCF_PRESENT);
    CloseAndShow(u"SetupDiDestroyDeviceInfoList", set != INVALID_HANDLE_VALUE,
                 [&] { return OS().SetupDiDestroyDeviceInfoList(set) != FALSE; });
    return 0;
}

}  // namespace ze
