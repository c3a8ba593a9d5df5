// "/install", "/uninstall", "/start" and "/stop": the program's own service.
#include "commands/commands.h"
#include "service/service.h"

namespace ze {

int RunInstall(const RunInputs&, CommandArguments) {
    return ZeInstallService();
}

int RunUninstall(const RunInputs&, CommandArguments) {
    ZeStopService();
    return ZeUninstallService();
}

int RunStart(const RunInputs&, CommandArguments) {
    return ZeStartService();
}

int RunStop(const RunInputs&, CommandArguments) {
    return ZeStopService();
}

}  // namespace ze
