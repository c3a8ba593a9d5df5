#include "main/program.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "common/log.h"
#include "common/paths.h"
#include "common/text.h"
#include "device/device.h"
#include "platform/platform.h"
#include "service/service.h"

namespace ze {

char16_t g_szServiceName[64];

namespace {

SERVICE_TABLE_ENTRYW g_ServiceTable[2];

// Start-up: the paths, the log switches and the service name. Returns false when the
// executable's path or base name does not fit the program's buffers.
bool StartUp() {
    std::u16string baseName;
    if (!DerivePaths(&baseName) || baseName.size() >= std::size(g_szServiceName)) {
        return false;
    }
    g_bWriteLogFile = static_cast<int>(
        OS().GetPrivateProfileIntW(u"Settings", u"WriteLogFile", 1, g_szZeRegionSvcIniPath));
    g_bDebugMode = static_cast<int>(
        OS().GetPrivateProfileIntW(u"Settings", u"DebugMode", 0, g_szZeRegionSvcIniPath));
    LogPrint(u"[ZeRegionSvc] g_szZeRegionSvcIniPath = %s\r\n", g_szZeRegionSvcIniPath);
    LogPrint(u"[ZeRegionSvc] g_szZeCoInstDatPath = %s\r\n", g_szZeCoInstDatPath);
    LogPrint(u"[ZeRegionSvc] g_szZeRegionSvcLogPath = %s\r\n", g_szZeRegionSvcLogPath);
    LogPrint(u"[ZeRegionSvc] --> _tmain()\r\n");
    std::fill(std::begin(g_szServiceName), std::end(g_szServiceName), u'\0');
    std::copy(baseName.begin(), baseName.end(), g_szServiceName);
    g_ServiceTable[0] = {g_szServiceName, ServiceMain};
    g_ServiceTable[1] = {nullptr, nullptr};
    return true;
}

int RunServiceHost() {
    if (!OS().StartServiceCtrlDispatcherW(g_ServiceTable)) {
        LogPrint(u"[ZeRegionSvc] StartServiceCtrlDispatcher() return FALSE, error = %d\r\n",
                 OS().GetLastError());
        return ZE_EXIT_DISPATCHER_FAILED;
    }
    return 0;
}

// Any argument that is not a command names an adapter by hardware ID; its Net ID is
// recorded. A lookup that finds nothing keeps the recorded Net ID and fails.
int RecordNetIdOfHardwareId(const char16_t* hardwareId) {
    char16_t netId[32] = {};
    int found = FindNetIdByHwId(hardwareId, netId);
    if (found != 0) {
        LogPrint(u"[ZeRegionSvc] Net ID not recorded, the settings file keeps its Net ID\r\n");
        return found;
    }
    LogPrint(u"[ZeRegionSvc] Write Net ID = %s to ini\r\n", netId);
    if (!OS().WritePrivateProfileStringW(u"DriverKey", u"NetID", netId, g_szZeRegionSvcIniPath)) {
        LogPrint(u"[ZeRegionSvc] Write Net ID to ini failed\r\n");
        return -6;
    }
    return 0;
}

bool Is(const char16_t* argument, std::u16string_view command) {
    std::u16string upperArgument(argument);
    std::u16string upperCommand(command);
    WcsUpr(upperArgument);
    WcsUpr(upperCommand);
    return upperArgument == upperCommand;
}

int RunCommand(const char16_t* argument) {
    LogPrint(u"[ZeRegionSvc] argv[1] = %s\r\n", argument);
    if (Is(argument, u"/install")) {
        return ZeInstallService();
    }
    if (Is(argument, u"/uninstall")) {
        ZeStopService();
        return ZeUninstallService();
    }
    if (Is(argument, u"/start")) {
        return ZeStartService();
    }
    if (Is(argument, u"/stop")) {
        return ZeStopService();
    }
    if (Is(argument, u"/debug")) {
        return RunForegroundReset();
    }
    return RecordNetIdOfHardwareId(argument);
}

}  // namespace

int RunForegroundReset() {
    std::u16string netId = GetIniString(u"DriverKey", u"NetID", u"", g_szZeRegionSvcIniPath);
    int result = RunResetSequence(netId);
    ZeSetSrvStartupType(g_szServiceName, SERVICE_DEMAND_START);
    return result;
}

int _tmain(int argc, char16_t** argv) {
    if (!StartUp()) {
        std::fputs("Fatal Error: start-up failed (executable path or name too long)\r\n", stdout);
        return ZE_EXIT_INIT_FAILED;
    }
    int result = argc < 2 ? RunServiceHost() : RunCommand(argv[1]);
    LogPrint(u"[ZeRegionSvc] <-- _tmain()\r\n");
    return result;
}

}  // namespace ze
