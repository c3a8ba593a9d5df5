// Placeholder until this subsystem lands: logs that it is not available and fails.
#include "service/service.h"
#include "common/log.h"

namespace ze {

namespace {
int Unavailable(const char16_t* name) {
    LogPrint(u"[ZeRegionSvc] %s is not available in this build\r\n", name);
    return -999;
}
}  // namespace

void ServiceMain(DWORD, LPWSTR*) { Unavailable(u"ServiceMain"); }
void ServiceCtrlHandler(DWORD) {}
int ZeInstallService() { return Unavailable(u"ZeInstallService"); }
int ZeUninstallService() { return Unavailable(u"ZeUninstallService"); }
int ZeStartService() { return Unavailable(u"ZeStartService"); }
int ZeStopService() { return Unavailable(u"ZeStopService"); }
int ZeSetSrvStartupType(std::u16string, DWORD) { return Unavailable(u"ZeSetSrvStartupType"); }

}  // namespace ze
