#include "common/log.h"
#include "common/paths.h"
#include "common/registry.h"
#include "common/result_codes.h"
#include "common/text.h"
#include "platform/handles.h"
#include "platform/names.h"
#include "service/service.h"

namespace ze {

namespace {

// The access the program asks for on its own service: as a number the same as the
// manager's all-access mask.
constexpr DWORD kServiceAccess = 0xF003F;

std::u16string ServiceKeyPath(const std::u16string& serviceName) {
    return Format(u"%s\\%s", kServicesKeyPath, serviceName.c_str());
}

// Logs the operation's name and runs it with the service control manager open.
template <typename Operation>
int WithManager(const char16_t* nameLine, Operation operation) {
    LogPrint(nameLine);
    UniqueServiceHandle manager(OS().OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) {
        LogPrint(u"[ZeRegionSvc] ZE_SVC_ERR_OPEN_SCMGR\r\n");
        return ZE_SVC_ERR_OPEN_SCMGR;
    }
    return operation(manager.get());
}

// The same with the program's own service open as well; the service handle is
// closed before the manager's.
template <typename Operation>
int WithOwnService(const char16_t* nameLine, Operation operation) {
    return WithManager(nameLine, [&](SC_HANDLE manager) {
        UniqueServiceHandle service(OS().OpenServiceW(manager, g_szServiceName, kServiceAccess));
        if (!service) {
            LogPrint(u"[ZeRegionSvc] ZE_SVC_ERR_OPEN_SVC\r\n");
            return ZE_SVC_ERR_OPEN_SVC;
        }
        return operation(service.get());
    });
}

// The executable's full path, read into a buffer that grows until the path fits.
std::u16string ReadModulePath() {
    constexpr std::size_t kLongestPath = 32768;
    std::u16string path(MAX_PATH, u'\0');
    for (;;) {
        DWORD length =
            OS().GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size() || path.size() >= kLongestPath) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

int WriteServiceDescription() {
    UniqueKey key;
    if (OS().RegOpenKeyExW(HKEY_LOCAL_MACHINE, ServiceKeyPath(g_szServiceName).c_str(), 0,
                           KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS) {
        LogPrint(u"[ZeRegionSvc] Open service key failed\r\n");
        return ZE_ERR_OPEN_KEY;
    }
    std::u16string description =
        GetIniString(u"Service", u"ServiceDescription", u"", g_szZeRegionSvcIniPath);
    if (OS().RegSetValueExW(key.get(), u"Description", 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(description.c_str()),
                            static_cast<DWORD>(description.size() * 2)) != ERROR_SUCCESS) {
        LogPrint(u"[ZeRegionSvc] Write service description failed\r\n");
        return ZE_ERR_WRITE_VALUE;
    }
    return 0;
}

// Gives the existing service the configuration a new one gets, in place: deleting and
// creating it again would leave it marked for deletion while another program (the
// Services console, say) holds a handle to it. Its account and dependencies stay.
bool ReconfigureService(SC_HANDLE manager, const std::u16string& displayName,
                        const std::u16string& commandLine) {
    LogPrint(u"[ZeRegionSvc] Service %s exists, its configuration is updated\r\n", g_szServiceName);
    UniqueServiceHandle service(OS().OpenServiceW(manager, g_szServiceName, kServiceAccess));
    return service &&
           OS().ChangeServiceConfigW(service.get(), SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                     SERVICE_ERROR_IGNORE, commandLine.c_str(), nullptr, nullptr,
                                     nullptr, nullptr, nullptr, displayName.c_str());
}

}  // namespace

int ZeInstallService() {
    return WithManager(u"[ZeRegionSvc] ZeInstallService\r\n", [](SC_HANDLE manager) {
        std::u16string displayName =
            GetIniString(u"Service", u"ServiceDisplayName", u"Zelvaro Country Reset Service",
                         g_szZeRegionSvcIniPath);
        // Quoted, so that a path with spaces names this executable and nothing else.
        std::u16string commandLine = Format(u"\"%s\"", ReadModulePath().c_str());
        UniqueServiceHandle service(
            OS().CreateServiceW(manager, g_szServiceName, displayName.c_str(), kServiceAccess,
                                SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_IGNORE,
                                commandLine.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
        bool registered = static_cast<bool>(service);
        if (!registered && OS().GetLastError() == static_cast<DWORD>(ERROR_SERVICE_EXISTS))
            registered = ReconfigureService(manager, displayName, commandLine);
        int result = 0;
        if (!registered) {
            LogPrint(u"[ZeRegionSvc] ZE_SVC_ERR_CREATE_SVC\r\n");
            result = ZE_SVC_ERR_CREATE_SVC;
        } else {
            result = WriteServiceDescription();
        }
        // Also when the service exists: installing again after a move updates the path.
        ZeRegisterEventSource(ReadModulePath());
        return result;
    });
}

int ZeUninstallService() {
    return WithOwnService(u"[ZeRegionSvc] ZeUninstallService\r\n", [](SC_HANDLE service) {
        if (!OS().DeleteService(service)) {
            LogPrint(u"[ZeRegionSvc] ZE_SVC_ERR_DELETE_SVC\r\n");
            return ZE_SVC_ERR_DELETE_SVC;
        }
        ZeDeregisterEventSource(ReadModulePath());
        return 0;
    });
}

int ZeStartService() {
    return WithOwnService(u"[ZeRegionSvc] ZeStartService\r\n", [](SC_HANDLE service) {
        if (!OS().StartServiceW(service, 0, nullptr)) {
            LogPrint(u"[ZeRegionSvc] ZE_SVC_ERR_START_SVC\r\n");
            return ZE_SVC_ERR_START_SVC;
        }
        return 0;
    });
}

int ZeStopService() {
    return WithOwnService(u"[ZeRegionSvc] ZeStopService\r\n", [](SC_HANDLE service) {
        SERVICE_STATUS status{};
        if (!OS().ControlService(service, SERVICE_CONTROL_STOP, &status)) {
            LogPrint(u"[ZeRegionSvc] ZE_SVC_ERR_CONTROL_SVC\r\n");
            return ZE_SVC_ERR_CONTROL_SVC;
        }
        return 0;
    });
}

int ZeSetSrvStartupType(std::u16string serviceName, DWORD startType) {
    LogPrint(u"[ZeRegionSvc] ZeSetSrvStartupType, service name = %s, startup type = 0x%X\r\n",
             serviceName.c_str(), startType);
    // Only an installed service's key is changed: writing the value would otherwise
    // create a key that is no service (or, without a name, write into the Services key).
    UniqueKey key;
    if (serviceName.empty() ||
        OS().RegOpenKeyExW(HKEY_LOCAL_MACHINE, ServiceKeyPath(serviceName).c_str(), 0, KEY_READ,
                           key.put()) == ERROR_FILE_NOT_FOUND) {
        LogPrint(u"[ZeRegionSvc] Service %s is not installed, start type not set\r\n",
                 serviceName.c_str());
        return ZE_ERR_OPEN_KEY;
    }
    key.reset();
    if (!WriteRegDword(ServiceKeyPath(serviceName), u"start", startType)) {
        LogPrint(u"[ZeRegionSvc] Write service start failed\r\n");
        return ZE_ERR_WRITE_VALUE;
    }
    return 0;
}

}  // namespace ze
