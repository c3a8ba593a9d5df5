// Commands that change the machine refuse to start without administrative rights,
// before they touch anything: without them every write, device change and service
// call would fail one by one, each leaving the machine half changed.
#include "commands/commands.h"
#include "common/console.h"
#include "common/log.h"
#include "platform/platform.h"

namespace ze {

int RefuseWithoutAdministrator() {
    if (OS().IsUserAnAdmin())
        return 0;
    LogPrint(u"[ZeRegionSvc] Administrator rights required, nothing done\r\n");
    PrintError(
        u"ZeRegionSvc: this command changes the machine and needs administrator rights.\r\n"
        u"Run it from an elevated command prompt (Run as administrator). Nothing was "
        u"changed.\r\n");
    return ZE_EXIT_NOT_ELEVATED;
}

}  // namespace ze
