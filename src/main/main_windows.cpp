// Process entry of the Windows build: the real Win32 platform, then the program.
#include "main/program.h"
#include "platform/win32/win32_platform.h"

// wchar_t is UTF-16 on Windows, so the argument vector is the program's own text type.
static_assert(sizeof(wchar_t) == sizeof(char16_t));

int wmain(int argc, wchar_t** argv) {
    static ze::Win32Platform platform;
    ze::InstallPlatform(&platform);
    return ze::_tmain(argc, reinterpret_cast<char16_t**>(argv));
}
