// The device installer of the simulated machine: setup classes and devices read
// from the registry, device information sets, device properties and the
// DIF_PROPERTYCHANGE state change, each change journaled.
#include <algorithm>
#include <cstring>

#include "common/text.h"
#include "platform/names.h"
#include "platform/sim/device_manager.h"
#include "platform/sim/value_data.h"

namespace ze::sim {
namespace {

constexpr LONG kErrorInvalidUserBuffer = 1784;
constexpr LONG kErrorInvalidRegProperty = static_cast<LONG>(0xE0000209);
constexpr LONG kErrorNoClassInstallParams = static_cast<LONG>(0xE0000215);
constexpr DWORD kAllClasses = 0x4;        // DIGCF_ALLCLASSES
constexpr DWORD kDeviceInterface = 0x10;  // DIGCF_DEVICEINTERFACE
constexpr DWORD kConfigSpecific = 2;      // DICS_FLAG_CONFIGSPECIFIC

// Device registry properties and the values of the device key that hold them.
struct PropertyValue {
    DWORD property;
    const char16_t* valueName;
};
constexpr PropertyValue kProperties[] = {
    {0x00, u"DeviceDesc"},   {0x01, u"HardwareID"},  {0x02, u"CompatibleIDs"},
    {0x04, u"Service"},      {0x07, u"Class"},       {0x08, u"ClassGUID"},
    {0x09, u"Driver"},       {0x0A, u"ConfigFlags"}, {0x0B, u"Mfg"},
    {0x0C, u"FriendlyName"},
};

bool SameGuid(const GUID& a, const GUID& b) {
    return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
           std::memcmp(a.Data4, b.Data4, sizeof a.Data4) == 0;
}

}  // namespace

DeviceManager::InfoSet* DeviceManager::FindSet(HDEVINFO set) {
    auto it = sets_.find(set);
    if (it == sets_.end()) {
        Machine::SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return &it->second;
}

DeviceManager::Member* DeviceManager::FindMember(InfoSet& set, const SP_DEVINFO_DATA* data) {
    if (data == nullptr || data->cbSize != sizeof(SP_DEVINFO_DATA)) {
        Machine::SetLastError(kErrorInvalidUserBuffer);
        return nullptr;
    }
    // Records carry their 1-based place in the set (Windows keeps a pointer there).
    if (data->Reserved == 0 || data->Reserved > set.members.size() ||
        data->DevInst != data->Reserved) {
        Machine::SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return &set.members[data->Reserved - 1];
}

bool DeviceManager::FindSetAndMember(HDEVINFO set, const SP_DEVINFO_DATA* data, InfoSet** info,
                                     Member** member) {
    *info = FindSet(set);
    *member = nullptr;
    return *info != nullptr && (data == nullptr || (*member = FindMember(**info, data)) != nullptr);
}

DeviceManager::Member* DeviceManager::MemberOf(HDEVINFO set, const SP_DEVINFO_DATA* data) {
    InfoSet* info = FindSet(set);
    return info == nullptr ? nullptr : FindMember(*info, data);
}

bool DeviceManager::IsPresent(std::u16string_view instanceId) const {
    return std::any_of(
        machine_.Settings().presentDevices.begin(), machine_.Settings().presentDevices.end(),
        [&](const std::u16string& present) { return EqualsIgnoreCase(present, instanceId); });
}

void DeviceManager::ObserveStateChanges(StateChangeObserver observer) {
    std::lock_guard<std::mutex> lock(mutex_);
    observer_ = std::move(observer);
}

std::size_t DeviceManager::OpenSetCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    return sets_.size();
}

bool DeviceManager::IsStarted(std::u16string_view instanceId) {
    RegistryStore& registry = machine_.Registry();
    std::optional<KeyId> key = registry.Find(DeviceKeyPath(instanceId));
    return key && IsPresent(instanceId) &&
           (DwordOf(registry, *key, u"ConfigFlags").value_or(0) & CONFIGFLAG_DISABLED) == 0;
}

BOOL DeviceManager::ClassGuidsFromName(LPCWSTR className, GUID* list, DWORD listSize,
                                       DWORD* requiredSize) {
    if (machine_.DueFault(Call::SetupDiClassGuidsFromNameW))
        return FALSE;
    if (className == nullptr || (list == nullptr && listSize != 0))
        return Machine::Fail(ERROR_INVALID_PARAMETER);
    DWORD found = 0;
    machine_.Exclusive([&]() -> LONG {
        RegistryStore& registry = machine_.Registry();
        std::vector<Subkey> classes;
        if (std::optional<KeyId> root = registry.Find(kSetupClassKeyPath))
            registry.Subkeys(*root, &classes);
        for (const auto& key : classes) {
            std::optional<GUID> guid = ParseGuid(key.name);
            if (!guid || !EqualsIgnoreCase(TextOf(registry, key.id, u"Class"), className))
                continue;
            if (found < listSize)
                list[found] = *guid;
            ++found;
        }
        return ERROR_SUCCESS;
    });
    if (requiredSize != nullptr)
        *requiredSize = found;
    // A name that names no class is no error: the list is just empty.
    if (found > listSize)
        return Machine::Fail(ERROR_INSUFFICIENT_BUFFER);
    return TRUE;
}

// Instance ids have three parts, enumerator\device\instance; sets list them in the
// registry's order, part by part.
static bool InstanceIdLess(std::u16string_view a, std::u16string_view b) {
    std::vector<std::u16string> left = SplitKeyPath(a);
    std::vector<std::u16string> right = SplitKeyPath(b);
    return std::lexicographical_compare(left.begin(), left.end(), right.begin(), right.end(),
                                        KeyNameLess);
}

// The present devices, looked up one by one under Enum: a set's cost follows the
// devices plugged in, not the instances the registry remembers.
void DeviceManager::FindPresent(RegistryStore& registry, KeyId devices,
                                const std::function<void(KeyId, std::u16string)>& take) {
    std::vector<std::u16string> present(machine_.Settings().presentDevices.begin(),
                                        machine_.Settings().presentDevices.end());
    std::sort(present.begin(), present.end(), InstanceIdLess);
    for (const std::u16string& id : present) {
        KeyId key = 0;
        std::u16string path;
        std::vector<std::u16string> parts = SplitKeyPath(id);
        if (parts.size() != 3 || registry.OpenPath(devices, id, &key) != ERROR_SUCCESS ||
            registry.PathOf(key, &path) != ERROR_SUCCESS) {
            continue;
        }
        // The id as the registry spells it.
        std::vector<std::u16string> stored = SplitKeyPath(path);
        take(key, JoinKeyPath(JoinKeyPath(stored[stored.size() - 3], stored[stored.size() - 2]),
                              stored.back()));
    }
}

// Every instance under Enum, present or not, in the registry's order.
void DeviceManager::WalkEnum(RegistryStore& registry, KeyId devices,
                             const std::function<void(KeyId, std::u16string)>& take) {
    auto subkeys = [&](KeyId key) {
        std::vector<Subkey> list;
        registry.Subkeys(key, &list);
        return list;
    };
    for (const auto& enumKey : subkeys(devices)) {
        for (const auto& deviceKey : subkeys(enumKey.id)) {
            for (const auto& instanceKey : subkeys(deviceKey.id))
                take(instanceKey.id,
                     enumKey.name + u"\\" + deviceKey.name + u"\\" + instanceKey.name);
        }
    }
}

HDEVINFO DeviceManager::GetClassDevs(const GUID* classGuid, LPCWSTR enumerator, DWORD flags) {
    if (machine_.DueFault(Call::SetupDiGetClassDevsW))
        return INVALID_HANDLE_VALUE;
    // Interface sets are not modelled; a class or all classes must be asked for.
    if ((flags & kDeviceInterface) != 0 || (classGuid == nullptr && (flags & kAllClasses) == 0)) {
        Machine::Fail(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    InfoSet set;
    machine_.Shared([&]() -> LONG {
        RegistryStore& registry = machine_.Registry();
        std::optional<KeyId> devices = registry.Find(kEnumKeyPath);
        if (!devices)
            return ERROR_SUCCESS;
        auto take = [&](KeyId key, std::u16string id) {
            std::optional<GUID> guid = ParseGuid(TextOf(registry, key, u"ClassGUID"));
            if (guid && ((flags & kAllClasses) != 0 || SameGuid(*guid, *classGuid)) &&
                (enumerator == nullptr ||
                 EqualsIgnoreCase(SplitKeyPath(id).front(), std::u16string_view(enumerator)))) {
                set.members.push_back(Member{std::move(id), *guid, std::nullopt});
            }
        };
        if ((flags & DIGCF_PRESENT) != 0)
            FindPresent(registry, *devices, take);
        else
            WalkEnum(registry, *devices, take);
        return ERROR_SUCCESS;
    });
    std::lock_guard<std::mutex> lock(mutex_);
    HDEVINFO handle = reinterpret_cast<HDEVINFO>(machine_.NextHandleValue());
    sets_[handle] = std::move(set);
    return handle;
}

BOOL DeviceManager::EnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data) {
    if (machine_.DueFault(Call::SetupDiEnumDeviceInfo))
        return FALSE;
    std::lock_guard<std::mutex> lock(mutex_);
    InfoSet* info = FindSet(set);
    if (info == nullptr)
        return FALSE;
    if (data == nullptr || data->cbSize != sizeof(SP_DEVINFO_DATA))
        return Machine::Fail(kErrorInvalidUserBuffer);
    if (index >= info->members.size())
        return Machine::Fail(ERROR_NO_MORE_ITEMS);
    data->ClassGuid = info->members[index].classGuid;
    data->DevInst = index + 1;
    data->Reserved = index + 1;
    return TRUE;
}

BOOL DeviceManager::GetDeviceRegistryProperty(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD property,
                                              DWORD* type, BYTE* buffer, DWORD bufferSize,
                                              DWORD* requiredSize) {
    if (machine_.DueFault(Call::SetupDiGetDeviceRegistryPropertyW))
        return FALSE;
    std::lock_guard<std::mutex> lock(mutex_);
    Member* member = MemberOf(set, data);
    if (member == nullptr)
        return FALSE;
    if (buffer == nullptr && bufferSize != 0)
        return Machine::Fail(ERROR_INVALID_PARAMETER);
    auto property_it = std::find_if(std::begin(kProperties), std::end(kProperties),
                                    [&](const PropertyValue& p) { return p.property == property; });
    if (property_it == std::end(kProperties))
        return Machine::Fail(kErrorInvalidRegProperty);
    LONG error = machine_.Exclusive([&]() -> LONG {
        RegistryStore& registry = machine_.Registry();
        std::optional<KeyId> key = registry.Find(DeviceKeyPath(member->instanceId));
        if (!key)
            return ERROR_NO_SUCH_DEVINST;
        RegValue value;
        if (registry.QueryValue(*key, property_it->valueName, &value) != ERROR_SUCCESS)
            return ERROR_INVALID_DATA;
        DWORD size = static_cast<DWORD>(value.data.size());
        if (requiredSize != nullptr)
            *requiredSize = size;
        if (type != nullptr)
            *type = value.type;
        if (bufferSize < size)
            return ERROR_INSUFFICIENT_BUFFER;
        std::copy(value.data.begin(), value.data.end(), buffer);
        return ERROR_SUCCESS;
    });
    return error == ERROR_SUCCESS ? TRUE : Machine::Fail(error);
}

BOOL DeviceManager::SetClassInstallParams(HDEVINFO set, SP_DEVINFO_DATA* data,
                                          SP_CLASSINSTALL_HEADER* params, DWORD paramsSize) {
    if (machine_.DueFault(Call::SetupDiSetClassInstallParamsW))
        return FALSE;
    std::lock_guard<std::mutex> lock(mutex_);
    InfoSet* info = nullptr;
    Member* member = nullptr;
    if (!FindSetAndMember(set, data, &info, &member))
        return FALSE;
    std::optional<SP_PROPCHANGE_PARAMS>& slot =
        member != nullptr ? member->propertyChange : info->propertyChange;
    // No parameters clear the ones set before.
    if (params == nullptr) {
        slot.reset();
        return TRUE;
    }
    if (params->cbSize != sizeof(SP_CLASSINSTALL_HEADER))
        return Machine::Fail(kErrorInvalidUserBuffer);
    // Only the property-change parameters are modelled.
    if (params->InstallFunction != DIF_PROPERTYCHANGE || paramsSize != sizeof(SP_PROPCHANGE_PARAMS))
        return Machine::Fail(ERROR_INVALID_PARAMETER);
    SP_PROPCHANGE_PARAMS change{};
    std::memcpy(&change, params, sizeof change);
    if (change.StateChange < DICS_ENABLE || change.StateChange > 5 ||
        (change.Scope != DICS_FLAG_GLOBAL && change.Scope != kConfigSpecific)) {
        return Machine::Fail(ERROR_INVALID_PARAMETER);
    }
    slot = change;
    return TRUE;
}

BOOL DeviceManager::ChangeState(const std::u16string& instanceId,
                                const SP_PROPCHANGE_PARAMS& params) {
    // The global enable and disable are modelled; hardware profiles are not.
    if (params.Scope != DICS_FLAG_GLOBAL ||
        (params.StateChange != DICS_ENABLE && params.StateChange != DICS_DISABLE)) {
        return Machine::Fail(ERROR_CALL_NOT_IMPLEMENTED);
    }
    if (!machine_.Settings().administrator)
        return Machine::Fail(ERROR_ACCESS_DENIED);
    LONG error = machine_.Exclusive([&]() -> LONG {
        RegistryStore& registry = machine_.Registry();
        std::optional<KeyId> key = registry.Find(DeviceKeyPath(instanceId));
        if (!key)
            return ERROR_NO_SUCH_DEVINST;
        bool disable = params.StateChange == DICS_DISABLE;
        DWORD flags = DwordOf(registry, *key, u"ConfigFlags").value_or(0);
        flags = disable ? (flags | CONFIGFLAG_DISABLED) : (flags & ~CONFIGFLAG_DISABLED);
        // The flag outlives a reboot; the device stops or starts at once with it.
        if (LONG error = registry.SetValue(*key, u"ConfigFlags", REG_DWORD, DwordData(flags)))
            return error;
        machine_.Record(disable ? "DisableDevice" : "EnableDevice", instanceId, {}, REG_DWORD,
                        DwordData(flags));
        return ERROR_SUCCESS;
    });
    return error == ERROR_SUCCESS ? TRUE : Machine::Fail(error);
}

BOOL DeviceManager::CallClassInstaller(DI_FUNCTION function, HDEVINFO set, SP_DEVINFO_DATA* data) {
    if (machine_.DueFault(Call::SetupDiCallClassInstaller))
        return FALSE;
    std::u16string instanceId;
    SP_PROPCHANGE_PARAMS params{};
    StateChangeObserver observer;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        InfoSet* info = FindSet(set);
        Member* member = info == nullptr ? nullptr : FindMember(*info, data);
        if (member == nullptr)
            return FALSE;
        if (function != DIF_PROPERTYCHANGE)
            return Machine::Fail(ERROR_CALL_NOT_IMPLEMENTED);
        const std::optional<SP_PROPCHANGE_PARAMS>& stored =
            member->propertyChange ? member->propertyChange : info->propertyChange;
        if (!stored)
            return Machine::Fail(kErrorNoClassInstallParams);
        instanceId = member->instanceId;
        params = *stored;
        observer = observer_;
    }
    if (observer)
        observer(instanceId, params.StateChange, false);
    BOOL changed = ChangeState(instanceId, params);
    DWORD error = Machine::LastError();
    if (changed)
        AskForRestart(set, data, instanceId);
    if (observer && changed) {
        observer(instanceId, params.StateChange, true);
        Machine::SetLastError(error);
    }
    return changed;
}

// A device whose change needs the computer restarted says so in the install
// parameters of the member the change was made through.
void DeviceManager::AskForRestart(HDEVINFO set, const SP_DEVINFO_DATA* data,
                                  const std::u16string& instanceId) {
    const auto& flags = machine_.Settings().restartFlags;
    auto device = std::find_if(flags.begin(), flags.end(), [&](const auto& entry) {
        return EqualsIgnoreCase(entry.first, instanceId);
    });
    if (device == flags.end())
        return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (Member* member = MemberOf(set, data))
        member->installFlags |= device->second;
}

BOOL DeviceManager::GetDeviceInstallParams(HDEVINFO set, SP_DEVINFO_DATA* data,
                                           SP_DEVINSTALL_PARAMS_W* params) {
    if (machine_.DueFault(Call::SetupDiGetDeviceInstallParamsW))
        return FALSE;
    std::lock_guard<std::mutex> lock(mutex_);
    InfoSet* info = nullptr;
    Member* member = nullptr;
    if (!FindSetAndMember(set, data, &info, &member))
        return FALSE;
    if (params == nullptr || params->cbSize != sizeof(SP_DEVINSTALL_PARAMS_W))
        return Machine::Fail(kErrorInvalidUserBuffer);
    // Without a device record the set's own parameters, which no change touches.
    *params = SP_DEVINSTALL_PARAMS_W{};
    params->cbSize = sizeof(SP_DEVINSTALL_PARAMS_W);
    params->Flags = member != nullptr ? member->installFlags : 0;
    return TRUE;
}

BOOL DeviceManager::GetDeviceInstanceId(HDEVINFO set, SP_DEVINFO_DATA* data, LPWSTR buffer,
                                        DWORD bufferSize, DWORD* requiredSize) {
    if (machine_.DueFault(Call::SetupDiGetDeviceInstanceIdW))
        return FALSE;
    std::lock_guard<std::mutex> lock(mutex_);
    Member* member = MemberOf(set, data);
    if (member == nullptr)
        return FALSE;
    // Sizes in characters, the terminator included.
    auto needed = static_cast<DWORD>(member->instanceId.size() + 1);
    if (requiredSize != nullptr)
        *requiredSize = needed;
    if (buffer == nullptr || bufferSize < needed)
        return Machine::Fail(ERROR_INSUFFICIENT_BUFFER);
    std::copy(member->instanceId.begin(), member->instanceId.end(), buffer);
    buffer[member->instanceId.size()] = u'\0';
    return TRUE;
}

// An injected failure is reported after the set is destroyed, as every failed close.
BOOL DeviceManager::DestroyDeviceInfoList(HDEVINFO set) {
    bool fault = machine_.DueFault(Call::SetupDiDestroyDeviceInfoList).has_value();
    std::lock_guard<std::mutex> lock(mutex_);
    if (sets_.erase(set) != 1)
        return Machine::Fail(ERROR_INVALID_HANDLE);
    return fault ? FALSE : TRUE;
}

}  // namespace ze::sim
