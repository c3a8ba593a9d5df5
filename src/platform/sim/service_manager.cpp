#include "platform/sim/service_manager.h"

#include <optional>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/names.h"
#include "platform/sim/value_data.h"

namespace ze::sim {
namespace {

constexpr DWORD kManagerConnect = 0x0001;        // SC_MANAGER_CONNECT
constexpr DWORD kManagerCreateService = 0x0002;  // SC_MANAGER_CREATE_SERVICE
// What a user without administrative rights may ask of the manager and of a service.
constexpr DWORD kManagerUserRights = 0x20000 | 0x0001 | 0x0004 | 0x0010;
constexpr DWORD kServiceUserRights = 0x20000 | 0x0001 | 0x0004 | 0x0008 | 0x0080 | 0x0100;
constexpr DWORD kServiceDelete = 0x10000;  // DELETE
constexpr DWORD kServiceWin32ShareProcess = 0x20;

bool ValidServiceName(std::u16string_view name) {
    return !name.empty() && name.size() <= 256 &&
           name.find_first_of(u"/\\") == std::u16string_view::npos;
}

bool ValidServiceType(DWORD type) {
    return type == SERVICE_WIN32_OWN_PROCESS || type == kServiceWin32ShareProcess;
}

// Whether another service than `self` goes by `shownName` as its name or display name.
bool NameTaken(RegistryStore& registry, std::u16string_view shownName, std::u16string_view self) {
    std::vector<Subkey> services;
    if (std::optional<KeyId> root = registry.Find(kServicesKeyPath))
        registry.Subkeys(*root, &services);
    for (const auto& other : services) {
        if (!EqualsIgnoreCase(other.name, self) && ServiceKey(registry, other.name) &&
            (EqualsIgnoreCase(TextOf(registry, other.id, u"DisplayName"), shownName) ||
             EqualsIgnoreCase(other.name, shownName))) {
            return true;
        }
    }
    return false;
}

// Writes the service's configuration values; a nullopt leaves that value as it is.
LONG WriteConfiguration(RegistryStore& registry, KeyId key, std::optional<DWORD> type,
                        std::optional<DWORD> start, std::optional<DWORD> errorControl,
                        const char16_t* binaryPath, const char16_t* displayName) {
    std::vector<std::tuple<const char16_t*, DWORD, std::vector<BYTE>>> values;
    for (const auto& [name, value] : {std::pair{u"Type", type}, std::pair{u"Start", start},
                                      std::pair{u"ErrorControl", errorControl}}) {
        if (value)
            values.emplace_back(name, REG_DWORD, DwordData(*value));
    }
    if (binaryPath != nullptr)
        values.emplace_back(u"ImagePath", REG_EXPAND_SZ, TextData(binaryPath));
    if (displayName != nullptr)
        values.emplace_back(u"DisplayName", REG_SZ, TextData(displayName));
    for (const auto& [valueName, valueType, data] : values) {
        if (LONG error = registry.SetValue(key, valueName, valueType, data))
            return error;
    }
    return ERROR_SUCCESS;
}

std::optional<DWORD> Changed(DWORD value) {
    return value == SERVICE_NO_CHANGE ? std::nullopt : std::optional<DWORD>(value);
}

}  // namespace

// ---- handles ----

ServiceManager::Handle* ServiceManager::FindHandle(SC_HANDLE handle, bool manager, DWORD access,
                                                   LONG* error) {
    auto it = handles_.find(handle);
    if (it == handles_.end() || it->second.manager != manager) {
        *error = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    if ((it->second.access & access) != access) {
        *error = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    return &it->second;
}

SC_HANDLE ServiceManager::NewHandle(Handle handle) {
    SC_HANDLE value = reinterpret_cast<SC_HANDLE>(machine_.NextHandleValue());
    handles_[value] = std::move(handle);
    return value;
}

bool ServiceManager::HasOpenHandles(const std::u16string& name) const {
    for (const auto& [value, handle] : handles_) {
        if (!handle.manager && EqualsIgnoreCase(handle.service, name))
            return true;
    }
    return false;
}

void ServiceManager::RemoveIfDeletable(const std::u16string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    RemoveIfDeletableLocked(name);
}

void ServiceManager::RemoveIfDeletableLocked(const std::u16string& name) {
    bool handlesOpen = HasOpenHandles(name);
    machine_.Exclusive([&]() -> LONG {
        ServiceRuntime runtime = states_.Load(name);
        if (!runtime.markedForDelete || runtime.status.dwCurrentState != SERVICE_STOPPED ||
            handlesOpen) {
            return ERROR_SUCCESS;
        }
        std::u16string path = ServiceKeyPath(name);
        if (machine_.Registry().Delete(path, true))
            machine_.Record("DeleteKey", path);
        return states_.Remove(name);
    });
}

// ---- state for tests and tools ----

bool ServiceManager::Exists(std::u16string_view name) {
    return ServiceKey(machine_.Registry(), name).has_value();
}

ServiceRuntime ServiceManager::RuntimeOf(std::u16string_view name) {
    return states_.Load(name);
}

bool ServiceManager::WaitForState(std::u16string_view name, DWORD state,
                                  std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (RuntimeOf(name).status.dwCurrentState != state) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(kServicePollInterval);
    }
    return true;
}

std::size_t ServiceManager::OpenHandleCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    return handles_.size();
}

// ---- the manager's calls ----

SC_HANDLE ServiceManager::OpenSCManager(LPCWSTR machineName, LPCWSTR databaseName, DWORD access) {
    if (machine_.DueFault(Call::OpenSCManagerW))
        return nullptr;
    if ((machineName != nullptr && *machineName != u'\0') ||
        (databaseName != nullptr && !EqualsIgnoreCase(databaseName, u"ServicesActive"))) {
        Machine::Fail(ERROR_INVALID_NAME);
        return nullptr;
    }
    if (!machine_.Settings().administrator && (access & ~kManagerUserRights) != 0) {
        Machine::Fail(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    return NewHandle(Handle{true, {}, access | kManagerConnect});
}

SC_HANDLE ServiceManager::CreateService(SC_HANDLE manager, LPCWSTR name, LPCWSTR displayName,
                                        DWORD access, DWORD serviceType, DWORD startType,
                                        DWORD errorControl, LPCWSTR binaryPath) {
    if (machine_.DueFault(Call::CreateServiceW))
        return nullptr;
    std::lock_guard<std::mutex> lock(mutex_);
    LONG error = ERROR_SUCCESS;
    if (FindHandle(manager, true, kManagerCreateService, &error) == nullptr) {
        Machine::Fail(error);
        return nullptr;
    }
    std::u16string_view serviceName = name == nullptr ? u"" : name;
    if (!ValidServiceName(serviceName)) {
        Machine::Fail(ERROR_INVALID_NAME);
        return nullptr;
    }
    if (binaryPath == nullptr || *binaryPath == u'\0' || !ValidServiceType(serviceType) ||
        startType > SERVICE_DISABLED || errorControl > 3) {
        Machine::Fail(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::u16string shownName = displayName == nullptr ? std::u16string(serviceName) : displayName;
    error = machine_.Exclusive([&]() -> LONG {
        RegistryStore& registry = machine_.Registry();
        std::u16string path = ServiceKeyPath(serviceName);
        if (ServiceKey(registry, serviceName)) {
            return states_.Load(serviceName).markedForDelete ? ERROR_SERVICE_MARKED_FOR_DELETE
                                                             : ERROR_SERVICE_EXISTS;
        }
        // No other service may go by the same name or display name.
        if (NameTaken(registry, shownName, serviceName))
            return ERROR_DUPLICATE_SERVICE_NAME;
        // A key left without a service (a bare "start" value, say) is taken over.
        bool created = false;
        KeyId key = registry.Create(path, &created);
        if (created)
            machine_.Record("CreateKey", path);
        if (LONG error = WriteConfiguration(registry, key, serviceType, startType, errorControl,
                                            binaryPath, shownName.c_str())) {
            return error;
        }
        if (LONG error = registry.SetValue(key, u"ObjectName", REG_SZ, TextData(u"LocalSystem")))
            return error;
        if (LONG error = states_.Remove(serviceName))
            return error;
        machine_.Record("CreateService", std::u16string(serviceName));
        return ERROR_SUCCESS;
    });
    if (error != ERROR_SUCCESS) {
        Machine::Fail(error);
        return nullptr;
    }
    return NewHandle(Handle{false, std::u16string(serviceName), access});
}

SC_HANDLE ServiceManager::OpenService(SC_HANDLE manager, LPCWSTR name, DWORD access) {
    if (machine_.DueFault(Call::OpenServiceW))
        return nullptr;
    std::lock_guard<std::mutex> lock(mutex_);
    LONG error = ERROR_SUCCESS;
    if (FindHandle(manager, true, kManagerConnect, &error) == nullptr) {
        Machine::Fail(error);
        return nullptr;
    }
    if (name == nullptr) {
        Machine::Fail(ERROR_INVALID_NAME);
        return nullptr;
    }
    std::u16string storedName;
    error = machine_.Exclusive([&]() -> LONG {
        std::optional<KeyId> key = ServiceKey(machine_.Registry(), name);
        if (!key)
            return ERROR_SERVICE_DOES_NOT_EXIST;
        storedName = StoredName(machine_.Registry(), *key);
        return ERROR_SUCCESS;
    });
    if (error == ERROR_SUCCESS && !machine_.Settings().administrator &&
        (access & ~kServiceUserRights) != 0) {
        error = ERROR_ACCESS_DENIED;
    }
    if (error != ERROR_SUCCESS) {
        Machine::Fail(error);
        return nullptr;
    }
    return NewHandle(Handle{false, storedName, access});
}

BOOL ServiceManager::ChangeServiceConfig(SC_HANDLE service, DWORD serviceType, DWORD startType,
                                         DWORD errorControl, LPCWSTR binaryPath,
                                         LPCWSTR displayName) {
    if (machine_.DueFault(Call::ChangeServiceConfigW))
        return FALSE;
    std::lock_guard<std::mutex> lock(mutex_);
    LONG error = ERROR_SUCCESS;
    Handle* handle = FindHandle(service, false, SERVICE_CHANGE_CONFIG, &error);
    if (handle == nullptr)
        return Machine::Fail(error);
    if ((serviceType != SERVICE_NO_CHANGE && !ValidServiceType(serviceType)) ||
        (startType != SERVICE_NO_CHANGE && startType > SERVICE_DISABLED) ||
        (errorControl != SERVICE_NO_CHANGE && errorControl > 3) ||
        (binaryPath != nullptr && *binaryPath == u'\0')) {
        return Machine::Fail(ERROR_INVALID_PARAMETER);
    }
    std::u16string name = handle->service;
    error = machine_.Exclusive([&]() -> LONG {
        RegistryStore& registry = machine_.Registry();
        std::optional<KeyId> key = ServiceKey(registry, name);
        // A service marked for deletion keeps its configuration until it goes.
        if (!key || states_.Load(name).markedForDelete)
            return ERROR_SERVICE_MARKED_FOR_DELETE;
        if (displayName != nullptr && NameTaken(registry, displayName, name))
            return ERROR_DUPLICATE_SERVICE_NAME;
        if (LONG error =
                WriteConfiguration(registry, *key, Changed(serviceType), Changed(startType),
                                   Changed(errorControl), binaryPath, displayName)) {
            return error;
        }
        machine_.Record("ChangeService", name);
        return ERROR_SUCCESS;
    });
    return error == ERROR_SUCCESS ? TRUE : Machine::Fail(error);
}

BOOL ServiceManager::DeleteService(SC_HANDLE service) {
    if (machine_.DueFault(Call::DeleteService))
        return FALSE;
    std::lock_guard<std::mutex> lock(mutex_);
    LONG error = ERROR_SUCCESS;
    Handle* handle = FindHandle(service, false, kServiceDelete, &error);
    if (handle == nullptr)
        return Machine::Fail(error);
    std::u16string name = handle->service;
    error = machine_.Exclusive([&]() -> LONG {
        if (!ServiceKey(machine_.Registry(), name))
            return ERROR_SERVICE_DOES_NOT_EXIST;
        ServiceRuntime runtime = states_.Load(name);
        if (runtime.markedForDelete)
            return ERROR_SERVICE_MARKED_FOR_DELETE;
        // The entry goes when the service has stopped and its last handle is closed.
        runtime.markedForDelete = true;
        if (LONG error = states_.Save(name, runtime))
            return error;
        machine_.Record("DeleteService", name);
        return ERROR_SUCCESS;
    });
    return error == ERROR_SUCCESS ? TRUE : Machine::Fail(error);
}

// An injected failure is reported after the handle is closed, as every failed close.
BOOL ServiceManager::CloseServiceHandle(SC_HANDLE handle) {
    bool fault = machine_.DueFault(Call::CloseServiceHandle).has_value();
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = handles_.find(handle);
    if (it == handles_.end())
        return Machine::Fail(ERROR_INVALID_HANDLE);
    std::u16string service = it->second.manager ? std::u16string() : it->second.service;
    handles_.erase(it);
    if (!service.empty())
        RemoveIfDeletableLocked(service);
    return fault ? FALSE : TRUE;
}

}  // namespace ze::sim
