// Entry of a probe in the Windows build: the real Win32 platform, output in binary
// mode so that lines end in a bare line feed as on Linux.
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "platform/win32/win32_platform.h"
#include "probe.h"

int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    static ze::Win32Platform platform;
    ze::InstallPlatform(&platform);
    int result = ze::RunProbe(argc, reinterpret_cast<char16_t**>(argv));
    std::fflush(stdout);
    return result;
}
