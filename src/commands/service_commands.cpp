// "/install", "/uninstall", "/start" and "/stop": the program's own service.
#include "commands/commands.h"
#include "service/folder_security.h"
#include "service/service.h"

namespace ze {

int RunInstall(const RunInputs&, CommandArguments) {
    // A service that would refuse to run from this folder is not registered.
    if (int refused = RefuseUnsafeFolder(true))
        return refused;
    return ReportFailure(u"/install", ZeInstallService());
}

int RunUninstall(const RunInputs&, CommandArguments) {
    ZeStopService();
    return ReportFailure(u"/uninstall", ZeUninstallService());
}

int RunStart(const RunInputs&, CommandArguments) {
    return ReportFailure(u"/start", ZeStartService());
}

int RunStop(const RunInputs&, CommandArguments) {
    return ReportFailure(u"/stop", ZeStopService());
}

}  // namespace ze
