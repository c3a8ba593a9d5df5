// The dry-run layer: a platform over another one that lets a whole run happen
// without changing the machine.
//
// Reads see the machine plus the run's own pending changes, so a later step reads
// what an earlier one wrote: registry values and keys the run set, created or
// deleted answer from the layer (subkeys enumerated in Windows' sorted order, values
// in the order they were created, errors and buffer sizes as Windows gives them);
// everything else is read from the machine. Changes are recorded and never applied:
//   - registry writes, key creations and deletions (RegCreateKeyExW, RegSetValueExW,
//     RegDeleteKeyW) change only the layer's view; opening a key for writing still
//     asks the machine for the access, so a run without rights fails as it would;
//   - a DIF_PROPERTYCHANGE through the class installer is recorded with the device's
//     instance ID and reported done when the process has administrative rights
//     (IsUserAnAdmin), which the real change needs, and fails with
//     ERROR_ACCESS_DENIED otherwise; the install parameters are set on the machine's
//     device information set, which changes no device;
//   - profile writes are recorded and reported done (profile reads do not see them);
//   - files opened for writing never reach the disk: their bytes go to the file sink;
//   - service creation, deletion, start and control are recorded and reported done
//     when the machine grants the access the change needs (the manager, or the
//     service, opened for it and closed again), and fail as they would otherwise;
//   - events reported to the event log are recorded and reported done, the machine's
//     log never opened.
// Works over any platform, the real Windows one included: the machine is only read.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform_decorator.h"

namespace ze {

struct RegData {
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;
    bool operator==(const RegData&) const = default;
};

// One value whose data the run would change: no `before` for a new value, no
// `after` for a value that goes with its deleted key.
struct ValueChange {
    std::u16string name;
    std::optional<RegData> before;
    std::optional<RegData> after;
};

// The difference between the machine and the run's view of one key.
struct KeyChange {
    enum class Kind { Changed, Created, Deleted };
    std::u16string path;  // under HKEY_LOCAL_MACHINE
    Kind kind = Kind::Changed;
    std::vector<ValueChange> values;
};

// One RegSetValueExW of the run, as the machine would have stored it.
struct RegWrite {
    std::u16string path;  // the key as the run named it
    std::u16string name;
    RegData data;
};

struct DeviceChange {
    std::u16string instanceId;
    DWORD stateChange = 0;  // DICS_ENABLE or DICS_DISABLE
};

struct ProfileWrite {
    std::u16string file;
    std::u16string section;
    std::optional<std::u16string> key;    // none: the whole section is deleted
    std::optional<std::u16string> value;  // none: the key is deleted
};

struct ServiceCall {
    std::u16string call;  // CreateServiceW, ChangeServiceConfigW, DeleteService, StartServiceW,
                          // ControlService
    std::u16string service;
};

// A change the machine refused the run: the call, what it named (a key as
// "HKLM\\...", a device instance ID, a service name) and the error; each once.
struct RefusedChange {
    std::u16string call;
    std::u16string target;
    LONG error = ERROR_SUCCESS;
    bool operator==(const RefusedChange&) const = default;
};

// One ReportEventW of the run.
struct ReportedEvent {
    std::u16string source;
    WORD type = 0;
    DWORD eventId = 0;
    std::vector<std::u16string> inserts;
};

class DryRunPlatform final : public PlatformDecorator {
  public:
    explicit DryRunPlatform(Platform& machine);
    ~DryRunPlatform() override;

    // Receives the bytes the run writes to files (the log, say), with the file's path.
    using FileSink = std::function<void(const std::u16string& path, const BYTE* bytes, DWORD size)>;
    void SetFileSink(FileSink sink) { fileSink_ = std::move(sink); }

    // What the run would change, registry keys sorted by path; keys whose every
    // change was undone by the run itself are left out.
    std::vector<KeyChange> RegistryChanges() const;
    // Every value the run wrote, in order, changed or not.
    const std::vector<RegWrite>& Writes() const { return writes_; }
    const std::vector<DeviceChange>& DeviceChanges() const { return devices_; }
    const std::vector<ProfileWrite>& ProfileWrites() const { return profileWrites_; }
    const std::vector<ServiceCall>& ServiceCalls() const { return serviceCalls_; }
    const std::vector<ReportedEvent>& Events() const { return events_; }
    // The changes the real run would have failed to make, in the order first met.
    const std::vector<RefusedChange>& Refusals() const { return refusals_; }

    LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                       HKEY* phkResult) override;
    LONG RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass,
                         DWORD dwOptions, REGSAM samDesired, void* lpSecurityAttributes,
                         HKEY* phkResult, DWORD* lpdwDisposition) override;
    LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD* lpReserved, DWORD* lpType,
                          BYTE* lpData, DWORD* lpcbData) override;
    LONG RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                        const BYTE* lpData, DWORD cbData) override;
    LONG RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, DWORD* lpcchClass, DWORD* lpReserved,
                          DWORD* lpcSubKeys, DWORD* lpcbMaxSubKeyLen, DWORD* lpcbMaxClassLen,
                          DWORD* lpcValues, DWORD* lpcbMaxValueNameLen, DWORD* lpcbMaxValueLen,
                          DWORD* lpcbSecurityDescriptor, FILETIME* lpftLastWriteTime) override;
    LONG RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, DWORD* lpcchName, DWORD* lpReserved,
                       LPWSTR lpClass, DWORD* lpcchClass, FILETIME* lpftLastWriteTime) override;
    LONG RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, DWORD* lpcchValueName,
                       DWORD* lpReserved, DWORD* lpType, BYTE* lpData, DWORD* lpcbData) override;
    LONG RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) override;
    LONG RegCloseKey(HKEY hKey) override;

    BOOL WritePrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpString,
                                    LPCWSTR lpFileName) override;
    HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                       void* lpSecurityAttributes, DWORD dwCreationDisposition,
                       DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) override;
    BOOL WriteFile(HANDLE hFile, const void* lpBuffer, DWORD nNumberOfBytesToWrite,
                   DWORD* lpNumberOfBytesWritten, void* lpOverlapped) override;
    BOOL FlushFileBuffers(HANDLE hFile) override;
    BOOL CloseHandle(HANDLE hObject) override;

    SC_HANDLE CreateServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName, LPCWSTR lpDisplayName,
                             DWORD dwDesiredAccess, DWORD dwServiceType, DWORD dwStartType,
                             DWORD dwErrorControl, LPCWSTR lpBinaryPathName,
                             LPCWSTR lpLoadOrderGroup, DWORD* lpdwTagId, LPCWSTR lpDependencies,
                             LPCWSTR lpServiceStartName, LPCWSTR lpPassword) override;
    SC_HANDLE OpenServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName,
                           DWORD dwDesiredAccess) override;
    BOOL ChangeServiceConfigW(SC_HANDLE hService, DWORD dwServiceType, DWORD dwStartType,
                              DWORD dwErrorControl, LPCWSTR lpBinaryPathName,
                              LPCWSTR lpLoadOrderGroup, DWORD* lpdwTagId, LPCWSTR lpDependencies,
                              LPCWSTR lpServiceStartName, LPCWSTR lpPassword,
                              LPCWSTR lpDisplayName) override;
    BOOL DeleteService(SC_HANDLE hService) override;
    BOOL StartServiceW(SC_HANDLE hService, DWORD dwNumServiceArgs,
                       LPCWSTR* lpServiceArgVectors) override;
    BOOL ControlService(SC_HANDLE hService, DWORD dwControl,
                        SERVICE_STATUS* lpServiceStatus) override;
    BOOL CloseServiceHandle(SC_HANDLE hSCObject) override;

    HANDLE RegisterEventSourceW(LPCWSTR lpUNCServerName, LPCWSTR lpSourceName) override;
    BOOL ReportEventW(HANDLE hEventLog, WORD wType, WORD wCategory, DWORD dwEventID,
                      void* lpUserSid, WORD wNumStrings, DWORD dwDataSize, LPCWSTR* lpStrings,
                      void* lpRawData) override;
    BOOL DeregisterEventSource(HANDLE hEventLog) override;

    BOOL SetupDiSetClassInstallParamsW(HDEVINFO DeviceInfoSet, SP_DEVINFO_DATA* DeviceInfoData,
                                       SP_CLASSINSTALL_HEADER* ClassInstallParams,
                                       DWORD ClassInstallParamsSize) override;
    BOOL SetupDiCallClassInstaller(DI_FUNCTION InstallFunction, HDEVINFO DeviceInfoSet,
                                   SP_DEVINFO_DATA* DeviceInfoData) override;
    BOOL SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) override;

  private:
    struct Value {
        std::u16string name;
        RegData data;
    };
    // A key the run touched: the machine's state when first touched, and the run's.
    struct Key {
        std::u16string path;  // as first spelt
        bool existedBefore = false;
        std::vector<Value> before;
        bool exists = false;
        std::vector<Value> values;            // in creation order
        std::vector<std::u16string> subkeys;  // in Windows' order
    };
    struct Handle {
        std::u16string path;
        REGSAM access = 0;
        HKEY machineKey = nullptr;  // the machine's own key, when the machine has it
    };

    // The layer's record of a key, read from the machine on first use.
    Key& Touch(const std::u16string& path);
    Key* Touched(const std::u16string& path);
    const Key* Touched(const std::u16string& path) const;
    bool ExistsInView(const std::u16string& path);
    bool MachineHas(const std::u16string& path);
    // The full path an open or create names, or an error for a bad parent handle.
    LONG ResolvePath(HKEY parent, LPCWSTR subKey, std::u16string* path) const;
    // Asks the machine for `access` on the key, or on its nearest existing ancestor
    // when the machine does not have it, and closes what it opened. A refused write
    // access is recorded under `call`.
    LONG ProbeAccess(const char16_t* call, const std::u16string& path, REGSAM access);
    LONG OpenInView(const char16_t* call, const std::u16string& path, REGSAM access, HKEY* result);
    void Refuse(const char16_t* call, const std::u16string& target, LONG error);
    // Asks the machine for `access` on a service the run opened; a refusal is recorded
    // and set as the last error. False when refused.
    bool ServiceAccessGranted(const char16_t* call, SC_HANDLE service, DWORD access);
    std::u16string ServiceName(SC_HANDLE service) const;
    // The layer's key a handle stands for when the run touched it; nullptr when the
    // machine answers (*handle then says how), or for a bad handle (*error set).
    Key* ViewOf(HKEY hKey, Handle** handle, LONG* error);
    // The start every read call shares: the machine answers (`forward`, given the
    // machine's handle) for a key the run has not touched; a touched key must still
    // exist and the handle must carry `needed` before `body` answers from the view.
    template <typename Forward, typename Body>
    LONG ReadKey(HKEY hKey, REGSAM needed, Forward forward, Body body) {
        Handle* handle = nullptr;
        LONG error = ERROR_SUCCESS;
        Key* key = ViewOf(hKey, &handle, &error);
        if (handle == nullptr)
            return error;
        if (key == nullptr)
            return forward(handle->machineKey);
        if (!key->exists)
            return ERROR_KEY_DELETED;
        if ((handle->access & needed) == 0)
            return ERROR_ACCESS_DENIED;
        return body(*key);
    }
    void CreateInView(const std::u16string& path);
    void AddSubkey(const std::u16string& parentPath, const std::u16string& name);
    void RemoveSubkey(const std::u16string& parentPath, const std::u16string& name);
    HANDLE NewHandleValue();

    std::map<std::u16string, Key> keys_;  // by upper-cased path
    std::map<HKEY, Handle> handles_;
    std::map<HANDLE, std::u16string> files_;
    struct OpenService {
        SC_HANDLE manager;
        std::u16string name;
    };
    std::map<SC_HANDLE, OpenService> services_;            // the machine's service handles
    std::map<SC_HANDLE, std::u16string> createdServices_;  // handles of services never made
    struct PendingChange {
        HDEVINFO set;
        DWORD devInst;  // 0: the whole set
        SP_PROPCHANGE_PARAMS params;
    };
    std::vector<PendingChange> pendingChanges_;
    std::vector<RegWrite> writes_;
    std::vector<DeviceChange> devices_;
    std::vector<ProfileWrite> profileWrites_;
    std::vector<ServiceCall> serviceCalls_;
    std::map<HANDLE, std::u16string> eventSources_;
    std::vector<ReportedEvent> events_;
    std::vector<RefusedChange> refusals_;
    FileSink fileSink_;
    std::uintptr_t nextHandle_ = 0x7D000000;
};

}  // namespace ze
