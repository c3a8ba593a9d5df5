// The simulated device installer (SetupAPI). Devices live where Windows keeps them,
// under SYSTEM\CurrentControlSet\Enum\<enumerator>\<device>\<instance>, with
// HardwareID, Driver, ClassGUID and ConfigFlags; setup classes live under
// SYSTEM\CurrentControlSet\Control\Class\{guid} with their Class name. Whether a
// device is plugged in is machine state (MachineSettings::presentDevices).
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/machine.h"
#include "platform/sim/registry_store.h"
#include "platform/wintypes.h"

namespace ze::sim {

inline constexpr char16_t kEnumKeyPath[] = u"SYSTEM\\CurrentControlSet\\Enum";
inline constexpr char16_t kSetupClassKeyPath[] = u"SYSTEM\\CurrentControlSet\\Control\\Class";
inline constexpr char16_t kNetClassGuid[] = u"{4d36e972-e325-11ce-bfc1-08002be10318}";

// The device's key, SYSTEM\CurrentControlSet\Enum\<instance id>.
std::u16string DeviceKeyPath(std::u16string_view instanceId);
// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" in lower case, and back (either case).
std::u16string GuidToString(const GUID& guid);
std::optional<GUID> ParseGuid(std::u16string_view text);

// Registers a setup class (Class = name) under its GUID.
void AddSetupClass(RegistryStore& registry, std::u16string_view classGuid,
                   std::u16string_view name);
// Registers a device: HardwareID as a list, Driver (when not empty), ClassGUID and
// ConfigFlags 0, all as Windows stores them. Plugging it in is up to the caller.
void AddDevice(RegistryStore& registry, std::u16string_view instanceId,
               const std::vector<std::u16string>& hardwareIds, std::u16string_view driver,
               std::u16string_view classGuid = kNetClassGuid);

class DeviceManager {
  public:
    explicit DeviceManager(Machine& machine) : machine_(machine) {}

    BOOL ClassGuidsFromName(LPCWSTR className, GUID* list, DWORD listSize, DWORD* requiredSize);
    HDEVINFO GetClassDevs(const GUID* classGuid, LPCWSTR enumerator, DWORD flags);
    BOOL EnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data);
    BOOL GetDeviceRegistryProperty(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD property, DWORD* type,
                                   BYTE* buffer, DWORD bufferSize, DWORD* requiredSize);
    BOOL SetClassInstallParams(HDEVINFO set, SP_DEVINFO_DATA* data, SP_CLASSINSTALL_HEADER* params,
                               DWORD paramsSize);
    BOOL CallClassInstaller(DI_FUNCTION function, HDEVINFO set, SP_DEVINFO_DATA* data);
    // The install parameters of a member: Flags carries what the device's last state
    // change through the class installer asks for (MachineSettings::restartFlags).
    BOOL GetDeviceInstallParams(HDEVINFO set, SP_DEVINFO_DATA* data,
                                SP_DEVINSTALL_PARAMS_W* params);
    BOOL GetDeviceInstanceId(HDEVINFO set, SP_DEVINFO_DATA* data, LPWSTR buffer, DWORD bufferSize,
                             DWORD* requiredSize);
    BOOL DestroyDeviceInfoList(HDEVINFO set);

    // ---- state for tests and tools ----
    // Plugged in and not disabled: the device's driver is running.
    bool IsStarted(std::u16string_view instanceId);
    std::size_t OpenSetCount();
    // Called on the calling thread just before and just after each state change made
    // by the class installer, outside every lock of the machine, so that a test can
    // act at that moment (deliver a control, say).
    using StateChangeObserver =
        std::function<void(const std::u16string& instanceId, DWORD stateChange, bool done)>;
    void ObserveStateChanges(StateChangeObserver observer);

  private:
    struct Member {
        std::u16string instanceId;
        GUID classGuid{};
        std::optional<SP_PROPCHANGE_PARAMS> propertyChange;
        DWORD installFlags = 0;  // SP_DEVINSTALL_PARAMS_W::Flags
    };
    struct InfoSet {
        std::vector<Member> members;
        std::optional<SP_PROPCHANGE_PARAMS> propertyChange;  // for the whole set
    };
    // The caller holds mutex_ for these four.
    InfoSet* FindSet(HDEVINFO set);
    // The member a device record stands for; nullptr (and the last error set) when
    // the record does not belong to the set.
    Member* FindMember(InfoSet& set, const SP_DEVINFO_DATA* data);
    Member* MemberOf(HDEVINFO set, const SP_DEVINFO_DATA* data);
    // The set and, for a device record, its member (nullptr without one); false, with
    // the last error set, when either is not found.
    bool FindSetAndMember(HDEVINFO set, const SP_DEVINFO_DATA* data, InfoSet** info,
                          Member** member);
    bool IsPresent(std::u16string_view instanceId) const;
    void FindPresent(RegistryStore& registry, KeyId devices,
                     const std::function<void(KeyId, std::u16string)>& take);
    void WalkEnum(RegistryStore& registry, KeyId devices,
                  const std::function<void(KeyId, std::u16string)>& take);
    BOOL ChangeState(const std::u16string& instanceId, const SP_PROPCHANGE_PARAMS& params);
    void AskForRestart(HDEVINFO set, const SP_DEVINFO_DATA* data, const std::u16string& instanceId);

    Machine& machine_;
    std::mutex mutex_;  // guards the sets and the observer
    std::map<HDEVINFO, InfoSet> sets_;
    StateChangeObserver observer_;
};

}  // namespace ze::sim
