// Any argument that is not a command names an adapter by hardware ID; its Net ID is
// recorded in the settings file.
#include "commands/commands.h"
#include "common/console.h"
#include "common/log.h"
#include "common/result_codes.h"
#include "device/device.h"
#include "platform/platform.h"

namespace ze {

int RunHardwareId(const RunInputs& inputs, CommandArguments arguments) {
    const char16_t* hardwareId = arguments[0];
    if (*hardwareId == u'\0') {
        // An empty text is contained in every hardware ID: it would pick whichever
        // adapter comes first, the wired one as likely as the wireless one.
        LogPrint(u"[ZeRegionSvc] Empty hardware ID refused, nothing recorded\r\n");
        PrintError(u"ZeRegionSvc: the hardware ID is empty.\r\n\r\n");
        PrintError(UsageText());
        return ZE_EXIT_USAGE;
    }
    if (*hardwareId == u'/' || *hardwareId == u'-')
        return RefuseUsage(u"unknown command " + std::u16string(hardwareId));
    // A mistyped command is a usage error whatever the rights; a hardware ID changes
    // the settings file.
    if (int refused = RefuseWithoutAdministrator())
        return refused;
    std::u16string command = u"recording the adapter " + std::u16string(hardwareId);
    // A lookup that finds nothing keeps the recorded Net ID and fails.
    char16_t netId[32] = {};
    int found = FindNetIdByHwId(hardwareId, netId);
    if (found != 0) {
        LogPrint(u"[ZeRegionSvc] Net ID not recorded, the settings file keeps its Net ID\r\n");
        return ReportFailure(command, found,
                             found == ZE_ERR_FAILED
                                 ? u"no present network adapter's first hardware ID contains it"
                                 : u"");
    }
    LogPrint(u"[ZeRegionSvc] Write Net ID = %s to ini\r\n", netId);
    if (!OS().WritePrivateProfileStringW(u"DriverKey", u"NetID", netId,
                                         inputs.settingsFile.c_str())) {
        LogPrint(u"[ZeRegionSvc] Write Net ID to ini failed\r\n");
        return ReportFailure(command, ZE_ERR_WRITE_VALUE,
                             u"the settings file " + inputs.settingsFile + u" cannot be written");
    }
    return 0;
}

}  // namespace ze
