// Each kind of handle the program closes, closed twice: the first close succeeds and
// the second, on a handle no longer open, fails with the error Windows gives.
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

template <typename Close>
void CloseTwice(const char16_t* what, bool opened, Close close) {
    if (!opened) {
        probe::Line(Format(u"%s not opened, error=%u", what, OS().GetLastError()));
        return;
    }
    for (const char16_t* step : {u"first close", u"second close"}) {
        OS().SetLastError(0);
        Show(what, step, close());
    }
}

}  // namespace

int RunProbe(int, char16_t**) {
    HANDLE file = OS().CreateFileW(u"C:\\close_probe.txt", FILE_APPEND_DATA, FILE_SHARE_READ,
                                   nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    CloseTwice(u"CloseHandle", file != INVALID_HANDLE_VALUE,
               [&] { return OS().CloseHandle(file) != FALSE; });

    WIN32_FIND_DATAW found{};
    HANDLE find = OS().FindFirstFileW(u"C:\\close_probe.txt", &found);
    CloseTwice(u"FindClose", find != INVALID_HANDLE_VALUE,
               [&] { return OS().FindClose(find) != FALSE; });

    HKEY key = nullptr;
    LONG opened = OS().RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE", 0, KEY_READ, &key);
    CloseTwice(u"RegCloseKey", opened == ERROR_SUCCESS, [&] {
        LONG result = OS().RegCloseKey(key);
        OS().SetLastError(static_cast<DWORD>(result));
        return result == ERROR_SUCCESS;
    });

    SC_HANDLE manager = OS().OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    CloseTwice(u"CloseServiceHandle", manager != nullptr,
               [&] { return OS().CloseServiceHandle(manager) != FALSE; });

    GUID netClass = {0x4d36e972, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
    HDEVINFO set = OS().SetupDiGetClassDevsW(&netClass, nullptr, nullptr, DIGCF_PRESENT);
    CloseTwice(u"SetupDiDestroyDeviceInfoList", set != INVALID_HANDLE_VALUE,
               [&] { return OS().SetupDiDestroyDeviceInfoList(set) != FALSE; });
    return 0;
}

}  // namespace ze
