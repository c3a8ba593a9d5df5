// "/version": the version the executable's version resource also carries.
#include "commands/commands.h"
#include "common/console.h"
#include "ze_version.h"

namespace ze {

int RunVersion(const RunInputs&, CommandArguments) {
    PrintOut(u"ZeRegionSvc " ZE_VERSION_TEXT u"\r\n");
    return 0;
}

}  // namespace ze
