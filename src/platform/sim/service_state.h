// What the simulated service control manager keeps about each service. The service
// database is the registry, SYSTEM\CurrentControlSet\Services\<name>, as on Windows.
// What the manager knows at run time (the last status reported, a pending start, the
// deletion mark, the process that runs the service, the control being delivered) lives
// in tables of its own in the same database, registry.db, beside the registry's keys
// (the registry tree does not show them), so that the process that runs a service and
// the processes that start, stop or delete it share it through one mechanism.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/sim/registry_store.h"
#include "platform/wintypes.h"

namespace ze::sim {

// The error a service whose process ended without reporting it stopped is left with.
inline constexpr LONG kErrorProcessAborted = 1067;
// How often a process waiting for another's change of the state looks again.
inline constexpr auto kServicePollInterval = std::chrono::milliseconds(2);

struct ServiceRuntime {
    SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, SERVICE_STOPPED, 0, 0, 0, 0, 0};
    bool markedForDelete = false;
    std::string startToken;            // the start a launched process may connect for
    bool connected = false;            // a dispatcher connected for that start
    bool reported = false;             // the service reported a status since its start
    long pid = 0;                      // the process that runs the service
    std::uint64_t handledControl = 0;  // sequence number of the last control handled
};

// A control queued for a service's handler; one at a time per service.
struct ControlRequest {
    DWORD control = 0;
    std::uint64_t sequence = 0;
};

std::u16string ServiceKeyPath(std::u16string_view name);
// The service's key, when it is a service: a key with a Type value (a bare key is none).
std::optional<KeyId> ServiceKey(RegistryStore& registry, std::u16string_view name);
// The last part of a key's path, as stored.
std::u16string StoredName(RegistryStore& registry, KeyId key);

// Makes the run-time state tables in a machine's database when it does not have them
// yet (a new registry.db is made with them; one made before they existed gets them on
// its first open).
LONG CreateServiceStateTables(Database& database);

// The run-time state tables. Services are named ignoring case. Each routine is one
// statement; a caller that reads and changes the state runs them in one transaction of
// the machine (Machine::Exclusive). Routines that return LONG return the database's
// error; readers answer as if nothing were stored when the database fails.
class ServiceStates {
  public:
    // Makes the tables when the database does not have them yet.
    explicit ServiceStates(Database& database);
    ~ServiceStates();

    // A service whose process has ended (another process's, that is) is stopped,
    // whatever it reported last.
    ServiceRuntime Load(std::u16string_view name);
    LONG Save(std::u16string_view name, const ServiceRuntime& runtime);
    std::optional<ControlRequest> PendingControl(std::u16string_view name);
    LONG QueueControl(std::u16string_view name, const ControlRequest& request);
    LONG ClearControl(std::u16string_view name);
    // The state and any pending control go, as when the service is deleted.
    LONG Remove(std::u16string_view name);

  private:
    struct Statements;
    Database& database_;
    std::unique_ptr<Statements> statements_;  // none when the database failed
};

}  // namespace ze::sim
