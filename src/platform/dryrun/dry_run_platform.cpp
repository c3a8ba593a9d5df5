// The dry-run layer's files, profile writes, services and device changes: recorded,
// answered as done, never applied.
#include <algorithm>

#include "platform/dryrun/dry_run_platform.h"

namespace ze {

namespace {

constexpr DWORD kWriteAccess = GENERIC_WRITE | FILE_WRITE_DATA | FILE_APPEND_DATA | DELETE;
constexpr DWORD kTruncateExisting = 5;
constexpr LONG kErrorNoClassInstallParams = static_cast<LONG>(0xE0000215);
// The access rights a change of a service needs.
constexpr DWORD kManagerCreateService = 0x0002;
constexpr DWORD kServicePauseContinue = 0x0040;
constexpr DWORD kServiceInterrogate = 0x0080;
constexpr DWORD kServiceUserDefinedControl = 0x0100;

DWORD ControlAccess(DWORD control) {
    if (control == SERVICE_CONTROL_STOP)
        return SERVICE_STOP;
    if (control == SERVICE_CONTROL_INTERROGATE)
        return kServiceInterrogate;
    return control >= 128 ? kServiceUserDefinedControl : kServicePauseContinue;
}

std::u16string TextOrEmpty(LPCWSTR text) {
    return text == nullptr ? std::u16string() : text;
}

std::optional<std::u16string> OptionalText(LPCWSTR text) {
    return text == nullptr ? std::nullopt : std::optional<std::u16string>(text);
}

}  // namespace

HANDLE DryRunPlatform::NewHandleValue() {
    return reinterpret_cast<HANDLE>(nextHandle_++);
}

BOOL DryRunPlatform::WritePrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName,
                                                LPCWSTR lpString, LPCWSTR lpFileName) {
    profileWrites_.push_back({TextOrEmpty(lpFileName), TextOrEmpty(lpAppName),
                              OptionalText(lpKeyName), OptionalText(lpString)});
    return TRUE;
}

HANDLE DryRunPlatform::CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                                   void* lpSecurityAttributes, DWORD dwCreationDisposition,
                                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
    bool writes = (dwDesiredAccess & kWriteAccess) != 0 || dwCreationDisposition == CREATE_NEW ||
                  dwCreationDisposition == CREATE_ALWAYS ||
                  dwCreationDisposition == kTruncateExisting;
    if (!writes)
        return Inner().CreateFileW(lpFileName, dwDesiredAccess, dwShareMode, lpSecurityAttributes,
                                   dwCreationDisposition, dwFlagsAndAttributes, hTemplateFile);
    HANDLE handle = NewHandleValue();
    files_[handle] = TextOrEmpty(lpFileName);
    return handle;
}

BOOL DryRunPlatform::WriteFile(HANDLE hFile, const void* lpBuffer, DWORD nNumberOfBytesToWrite,
                               DWORD* lpNumberOfBytesWritten, void* lpOverlapped) {
    auto it = files_.find(hFile);
    if (it == files_.end())
        return Inner().WriteFile(hFile, lpBuffer, nNumberOfBytesToWrite, lpNumberOfBytesWritten,
                                 lpOverlapped);
    if (fileSink_)
        fileSink_(it->second, static_cast<const BYTE*>(lpBuffer), nNumberOfBytesToWrite);
    if (lpNumberOfBytesWritten != nullptr)
        *lpNumberOfBytesWritten = nNumberOfBytesToWrite;
    return TRUE;
}

// A file the run writes exists only in the layer: nothing to flush.
BOOL DryRunPlatform::FlushFileBuffers(HANDLE hFile) {
    return files_.count(hFile) == 1 ? TRUE : Inner().FlushFileBuffers(hFile);
}

BOOL DryRunPlatform::CloseHandle(HANDLE hObject) {
    if (files_.erase(hObject) == 1)
        return TRUE;
    return Inner().CloseHandle(hObject);
}

void DryRunPlatform::Refuse(const char16_t* call, const std::u16string& target, LONG error) {
    RefusedChange refused{call, target, error};
    if (std::find(refusals_.begin(), refusals_.end(), refused) == refusals_.end())
        refusals_.push_back(std::move(refused));
}

bool DryRunPlatform::ServiceAccessGranted(const char16_t* call, SC_HANDLE service, DWORD access) {
    auto open = services_.find(service);
    if (open == services_.end())
        return true;  // a service the run created: nothing on the machine to ask
    SC_HANDLE probe = Inner().OpenServiceW(open->second.manager, open->second.name.c_str(), access);
    if (probe != nullptr) {
        Inner().CloseServiceHandle(probe);
        return true;
    }
    DWORD error = Inner().GetLastError();
    Refuse(call, open->second.name, static_cast<LONG>(error));
    Inner().SetLastError(error);
    return false;
}

std::u16string DryRunPlatform::ServiceName(SC_HANDLE service) const {
    if (auto open = services_.find(service); open != services_.end())
        return open->second.name;
    auto created = createdServices_.find(service);
    return created == createdServices_.end() ? std::u16string() : created->second;
}

SC_HANDLE DryRunPlatform::CreateServiceW(SC_HANDLE, LPCWSTR lpServiceName, LPCWSTR, DWORD, DWORD,
                                         DWORD, DWORD, LPCWSTR, LPCWSTR, DWORD*, LPCWSTR, LPCWSTR,
                                         LPCWSTR) {
    std::u16string name = TextOrEmpty(lpServiceName);
    SC_HANDLE manager = Inner().OpenSCManagerW(nullptr, nullptr, kManagerCreateService);
    if (manager == nullptr) {
        DWORD error = Inner().GetLastError();
        Refuse(u"CreateServiceW", name, static_cast<LONG>(error));
        Inner().SetLastError(error);
        return nullptr;
    }
    Inner().CloseServiceHandle(manager);
    serviceCalls_.push_back({u"CreateServiceW", name});
    auto handle = reinterpret_cast<SC_HANDLE>(NewHandleValue());
    createdServices_[handle] = name;
    return handle;
}

SC_HANDLE DryRunPlatform::OpenServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName,
                                       DWORD dwDesiredAccess) {
    SC_HANDLE handle = Inner().OpenServiceW(hSCManager, lpServiceName, dwDesiredAccess);
    if (handle != nullptr)
        services_[handle] = {hSCManager, TextOrEmpty(lpServiceName)};
    return handle;
}

BOOL DryRunPlatform::ChangeServiceConfigW(SC_HANDLE hService, DWORD, DWORD, DWORD, LPCWSTR, LPCWSTR,
                                          DWORD*, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR) {
    if (!ServiceAccessGranted(u"ChangeServiceConfigW", hService, SERVICE_CHANGE_CONFIG))
        return FALSE;
    serviceCalls_.push_back({u"ChangeServiceConfigW", ServiceName(hService)});
    return TRUE;
}

BOOL DryRunPlatform::DeleteService(SC_HANDLE hService) {
    if (!ServiceAccessGranted(u"DeleteService", hService, DELETE))
        return FALSE;
    serviceCalls_.push_back({u"DeleteService", ServiceName(hService)});
    return TRUE;
}

BOOL DryRunPlatform::StartServiceW(SC_HANDLE hService, DWORD, LPCWSTR*) {
    if (!ServiceAccessGranted(u"StartServiceW", hService, SERVICE_START))
        return FALSE;
    serviceCalls_.push_back({u"StartServiceW", ServiceName(hService)});
    return TRUE;
}

BOOL DryRunPlatform::ControlService(SC_HANDLE hService, DWORD dwControl,
                                    SERVICE_STATUS* lpServiceStatus) {
    if (!ServiceAccessGranted(u"ControlService", hService, ControlAccess(dwControl)))
        return FALSE;
    serviceCalls_.push_back({u"ControlService", ServiceName(hService)});
    if (lpServiceStatus != nullptr) {
        *lpServiceStatus = SERVICE_STATUS{
            SERVICE_WIN32_OWN_PROCESS,
            dwControl == SERVICE_CONTROL_STOP ? SERVICE_STOP_PENDING : SERVICE_RUNNING,
            0,
            0,
            0,
            0,
            0};
    }
    return TRUE;
}

BOOL DryRunPlatform::CloseServiceHandle(SC_HANDLE hSCObject) {
    if (createdServices_.erase(hSCObject) == 1)
        return TRUE;
    services_.erase(hSCObject);
    return Inner().CloseServiceHandle(hSCObject);
}

HANDLE DryRunPlatform::RegisterEventSourceW(LPCWSTR lpUNCServerName, LPCWSTR lpSourceName) {
    if ((lpUNCServerName != nullptr && *lpUNCServerName != u'\0') || lpSourceName == nullptr) {
        Inner().SetLastError(static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        return nullptr;
    }
    HANDLE handle = NewHandleValue();
    eventSources_[handle] = lpSourceName;
    return handle;
}

BOOL DryRunPlatform::ReportEventW(HANDLE hEventLog, WORD wType, WORD, DWORD dwEventID, void*,
                                  WORD wNumStrings, DWORD, LPCWSTR* lpStrings, void*) {
    auto source = eventSources_.find(hEventLog);
    if (source == eventSources_.end() || (wNumStrings > 0 && lpStrings == nullptr)) {
        Inner().SetLastError(static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        return FALSE;
    }
    ReportedEvent event{source->second, wType, dwEventID, {}};
    for (WORD i = 0; i < wNumStrings; ++i)
        event.inserts.emplace_back(lpStrings[i] != nullptr ? lpStrings[i] : u"");
    events_.push_back(std::move(event));
    return TRUE;
}

BOOL DryRunPlatform::DeregisterEventSource(HANDLE hEventLog) {
    if (eventSources_.erase(hEventLog) == 0) {
        Inner().SetLastError(static_cast<DWORD>(ERROR_INVALID_HANDLE));
        return FALSE;
    }
    return TRUE;
}

BOOL DryRunPlatform::SetupDiSetClassInstallParamsW(HDEVINFO DeviceInfoSet,
                                                   SP_DEVINFO_DATA* DeviceInfoData,
                                                   SP_CLASSINSTALL_HEADER* ClassInstallParams,
                                                   DWORD ClassInstallParamsSize) {
    // Setting the parameters changes only the set: the machine's answer stands.
    if (!Inner().SetupDiSetClassInstallParamsW(DeviceInfoSet, DeviceInfoData, ClassInstallParams,
                                               ClassInstallParamsSize))
        return FALSE;
    DWORD devInst = DeviceInfoData == nullptr ? 0 : DeviceInfoData->DevInst;
    std::erase_if(pendingChanges_, [&](const PendingChange& change) {
        return change.set == DeviceInfoSet && change.devInst == devInst;
    });
    if (ClassInstallParams != nullptr &&
        ClassInstallParams->InstallFunction == DIF_PROPERTYCHANGE &&
        ClassInstallParamsSize >= sizeof(SP_PROPCHANGE_PARAMS)) {
        PendingChange change{DeviceInfoSet, devInst, {}};
        std::copy_n(reinterpret_cast<const BYTE*>(ClassInstallParams), sizeof(SP_PROPCHANGE_PARAMS),
                    reinterpret_cast<BYTE*>(&change.params));
        pendingChanges_.push_back(change);
    }
    return TRUE;
}

BOOL DryRunPlatform::SetupDiCallClassInstaller(DI_FUNCTION InstallFunction, HDEVINFO DeviceInfoSet,
                                               SP_DEVINFO_DATA* DeviceInfoData) {
    if (InstallFunction != DIF_PROPERTYCHANGE || DeviceInfoData == nullptr) {
        Inner().SetLastError(static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
        return FALSE;
    }
    // The device's own parameters, else the set's.
    const PendingChange* found = nullptr;
    for (DWORD devInst : {DeviceInfoData->DevInst, DWORD{0}}) {
        for (const PendingChange& change : pendingChanges_) {
            if (found == nullptr && change.set == DeviceInfoSet && change.devInst == devInst)
                found = &change;
        }
    }
    if (found == nullptr) {
        Inner().SetLastError(static_cast<DWORD>(kErrorNoClassInstallParams));
        return FALSE;
    }
    DWORD chars = 0;
    Inner().SetupDiGetDeviceInstanceIdW(DeviceInfoSet, DeviceInfoData, nullptr, 0, &chars);
    std::u16string instanceId(std::max<DWORD>(chars, 1), u'\0');
    if (!Inner().SetupDiGetDeviceInstanceIdW(DeviceInfoSet, DeviceInfoData, instanceId.data(),
                                             static_cast<DWORD>(instanceId.size()), &chars))
        return FALSE;
    instanceId.resize(std::min<std::size_t>(instanceId.find(u'\0'), instanceId.size()));
    // Changing a device's state takes administrative rights.
    if (!Inner().IsUserAnAdmin()) {
        Refuse(u"SetupDiCallClassInstaller", instanceId, ERROR_ACCESS_DENIED);
        Inner().SetLastError(static_cast<DWORD>(ERROR_ACCESS_DENIED));
        return FALSE;
    }
    devices_.push_back({instanceId, found->params.StateChange});
    return TRUE;
}

BOOL DryRunPlatform::SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) {
    std::erase_if(pendingChanges_,
                  [&](const PendingChange& change) { return change.set == DeviceInfoSet; });
    return Inner().SetupDiDestroyDeviceInfoList(DeviceInfoSet);
}

}  // namespace ze
