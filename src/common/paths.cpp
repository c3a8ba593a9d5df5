#include "common/paths.h"

#include <algorithm>

#include "platform/platform.h"

namespace ze {

char16_t g_szZeRegionSvcIniPath[MAX_PATH];
char16_t g_szZeCoInstDatPath[MAX_PATH];
char16_t g_szZeRegionSvcLogPath[MAX_PATH];
char16_t g_szServiceName[64];

DerivedPaths DerivePathsFrom(std::u16string_view exePath) {
    std::size_t slash = exePath.rfind(u'\\');
    std::u16string_view directory =
        slash == std::u16string_view::npos ? std::u16string_view() : exePath.substr(0, slash);
    std::u16string_view fileName =
        slash == std::u16string_view::npos ? exePath : exePath.substr(slash + 1);
    std::size_t fileDot = fileName.rfind(u'.');
    // A file name without "." is its own base name, so that the service name and the
    // log file name are never empty.
    std::u16string_view baseName =
        fileDot == std::u16string_view::npos ? fileName : fileName.substr(0, fileDot);

    DerivedPaths paths;
    // The settings file replaces whatever follows the last '.' of the whole path,
    // directories included. A path without any '.' gets ".ini" appended.
    std::size_t dot = exePath.rfind(u'.');
    paths.iniPath = dot == std::u16string_view::npos
                        ? std::u16string(exePath) + u".ini"
                        : std::u16string(exePath.substr(0, dot + 1)) + u"ini";
    paths.datPath = std::u16string(directory) + u"\\ZeCoInst.dat";
    paths.logPath = std::u16string(directory) + u"\\" + std::u16string(baseName) + u".log";
    paths.baseName = baseName;
    return paths;
}

namespace {
bool CopyPath(char16_t (&target)[MAX_PATH], const std::u16string& path) {
    if (path.size() >= MAX_PATH) {
        return false;
    }
    std::copy(path.begin(), path.end(), target);
    target[path.size()] = u'\0';
    return true;
}

void ClearPaths() {
    for (auto* buffer : {g_szZeRegionSvcIniPath, g_szZeCoInstDatPath, g_szZeRegionSvcLogPath}) {
        std::fill_n(buffer, MAX_PATH, u'\0');
    }
}
}  // namespace

bool DerivePaths(std::u16string* baseName) {
    ClearPaths();
    char16_t exePath[MAX_PATH] = {};
    DWORD length = OS().GetModuleFileNameW(nullptr, exePath, MAX_PATH);
    // A path that filled the whole buffer was cut by the call: refuse it.
    if (length == 0 || length >= MAX_PATH) {
        return false;
    }
    DerivedPaths paths = DerivePathsFrom(std::u16string_view(exePath, length));
    if (!CopyPath(g_szZeRegionSvcIniPath, paths.iniPath) ||
        !CopyPath(g_szZeCoInstDatPath, paths.datPath) ||
        !CopyPath(g_szZeRegionSvcLogPath, paths.logPath)) {
        ClearPaths();
        return false;
    }
    *baseName = paths.baseName;
    return true;
}

bool SetServiceName(std::u16string_view name) {
    if (name.size() >= std::size(g_szServiceName)) {
        return false;
    }
    std::fill(std::begin(g_szServiceName), std::end(g_szServiceName), u'\0');
    std::copy(name.begin(), name.end(), g_szServiceName);
    return true;
}

std::u16string GetIniString(std::u16string section, std::u16string key, std::u16string defaultValue,
                            std::u16string file) {
    char16_t buffer[512] = {};
    OS().GetPrivateProfileStringW(section.c_str(), key.c_str(), defaultValue.c_str(), buffer, 512,
                                  file.c_str());
    return std::u16string(buffer);
}

}  // namespace ze
