// "/debug": one reset in the foreground.
#include "commands/commands.h"
#include "common/paths.h"
#include "service/service.h"

namespace ze {

int RunDebugReset(const RunInputs& inputs) {
    int result = RunResetSequence(inputs);
    ZeSetSrvStartupType(g_szServiceName, SERVICE_DEMAND_START);
    return result;
}

int RunDebug(const RunInputs& inputs, CommandArguments) {
    int result = RunDebugReset(inputs);
    // Only the negative codes are failures.
    return result < 0 ? ReportFailure(u"/debug", result) : result;
}

}  // namespace ze
