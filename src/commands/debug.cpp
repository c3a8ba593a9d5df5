// "/debug": one reset in the foreground.
#include "commands/commands.h"
#include "common/paths.h"
#include "service/service.h"

namespace ze {

int RunDebug(const RunInputs& inputs, CommandArguments) {
    int result = RunResetSequence(inputs);
    ZeSetSrvStartupType(g_szServiceName, SERVICE_DEMAND_START);
    return result;
}

}  // namespace ze
