#include "platform/sim/service_state.h"

#include <unistd.h>

#include "platform/names.h"
#include "platform/sim/process_launch.h"

namespace ze::sim {
namespace {

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS service_state(
    name BLOB PRIMARY KEY, state INTEGER NOT NULL, controls_accepted INTEGER NOT NULL,
    win32_exit_code INTEGER NOT NULL, service_exit_code INTEGER NOT NULL,
    check_point INTEGER NOT NULL, wait_hint INTEGER NOT NULL, marked_for_delete INTEGER NOT NULL,
    start_token TEXT NOT NULL, connected INTEGER NOT NULL, reported INTEGER NOT NULL,
    pid INTEGER NOT NULL, handled_control INTEGER NOT NULL) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS service_control(
    name BLOB PRIMARY KEY, control INTEGER NOT NULL, sequence INTEGER NOT NULL) WITHOUT ROWID;
)sql";

}  // namespace

std::u16string ServiceKeyPath(std::u16string_view name) {
    return JoinKeyPath(kServicesKeyPath, name);
}

std::optional<KeyId> ServiceKey(RegistryStore& registry, std::u16string_view name) {
    std::optional<KeyId> key = registry.Find(ServiceKeyPath(name));
    RegValue type;
    if (!key || registry.QueryValue(*key, u"Type", &type) != ERROR_SUCCESS)
        return std::nullopt;
    return key;
}

std::u16string StoredName(RegistryStore& registry, KeyId key) {
    std::u16string path;
    registry.PathOf(key, &path);
    return LeafKeyName(path);
}

struct ServiceStates::Statements {
    sqlite3_stmt* load;
    sqlite3_stmt* save;
    sqlite3_stmt* remove;
    sqlite3_stmt* pendingControl;
    sqlite3_stmt* queueControl;
    sqlite3_stmt* clearControl;
};

LONG CreateServiceStateTables(Database& database) {
    auto lock = database.Lock();
    if (database.HasTable("service_state") && database.HasTable("service_control"))
        return ERROR_SUCCESS;
    return database.Transaction([&] { return database.Exec(kSchema); });
}

ServiceStates::ServiceStates(Database& database) : database_(database) {
    if (CreateServiceStateTables(database_) != ERROR_SUCCESS)
        return;
    const std::pair<sqlite3_stmt * Statements::*, const char*> kSql[] = {
        {&Statements::load,
         "SELECT state, controls_accepted, win32_exit_code, service_exit_code, check_point, "
         "wait_hint, marked_for_delete, start_token, connected, reported, pid, handled_control "
         "FROM service_state WHERE name = ?1"},
        {&Statements::save,
         "INSERT OR REPLACE INTO service_state VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, "
         "?11, ?12, ?13)"},
        {&Statements::remove, "DELETE FROM service_state WHERE name = ?1"},
        {&Statements::pendingControl,
         "SELECT control, sequence FROM service_control WHERE name = ?1"},
        {&Statements::queueControl, "INSERT OR REPLACE INTO service_control VALUES(?1, ?2, ?3)"},
        {&Statements::clearControl, "DELETE FROM service_control WHERE name = ?1"},
    };
    auto statements = std::make_unique<Statements>();
    std::string error;
    for (const auto& [member, sql] : kSql) {
        if ((statements.get()->*member = database_.Prepare(sql, &error)) == nullptr)
            return;
    }
    statements_ = std::move(statements);
}

ServiceStates::~ServiceStates() = default;

ServiceRuntime ServiceStates::Load(std::u16string_view name) {
    ServiceRuntime runtime;
    if (!statements_)
        return runtime;
    auto lock = database_.Lock();
    std::u16string key = UpperCased(name);
    Query query(database_, statements_->load);
    if (!query.BindName(1, key).Row())
        return runtime;
    auto number = [&](int column) { return static_cast<DWORD>(query.Number(column)); };
    runtime.status.dwCurrentState = number(0);
    runtime.status.dwControlsAccepted = number(1);
    runtime.status.dwWin32ExitCode = number(2);
    runtime.status.dwServiceSpecificExitCode = number(3);
    runtime.status.dwCheckPoint = number(4);
    runtime.status.dwWaitHint = number(5);
    runtime.markedForDelete = query.Number(6) != 0;
    runtime.startToken = query.Text(7);
    runtime.connected = query.Number(8) != 0;
    runtime.reported = query.Number(9) != 0;
    runtime.pid = static_cast<long>(query.Number(10));
    runtime.handledControl = static_cast<std::uint64_t>(query.Number(11));
    if (runtime.status.dwCurrentState != SERVICE_STOPPED && runtime.pid != 0 &&
        runtime.pid != ::getpid() && !ProcessAlive(runtime.pid)) {
        runtime.status = ServiceRuntime{}.status;
        runtime.connected = false;
    }
    return runtime;
}

LONG ServiceStates::Save(std::u16string_view name, const ServiceRuntime& runtime) {
    if (!statements_)
        return kErrorBadDb;
    auto lock = database_.Lock();
    const SERVICE_STATUS& status = runtime.status;
    return Query(database_, statements_->save)
        .BindName(1, UpperCased(name))
        .Bind(2, status.dwCurrentState)
        .Bind(3, status.dwControlsAccepted)
        .Bind(4, status.dwWin32ExitCode)
        .Bind(5, status.dwServiceSpecificExitCode)
        .Bind(6, status.dwCheckPoint)
        .Bind(7, status.dwWaitHint)
        .Bind(8, runtime.markedForDelete ? 1 : 0)
        .BindText(9, runtime.startToken)
        .Bind(10, runtime.connected ? 1 : 0)
        .Bind(11, runtime.reported ? 1 : 0)
        .Bind(12, runtime.pid)
        .Bind(13, static_cast<std::int64_t>(runtime.handledControl))
        .Run();
}

std::optional<ControlRequest> ServiceStates::PendingControl(std::u16string_view name) {
    if (!statements_)
        return std::nullopt;
    auto lock = database_.Lock();
    std::u16string key = UpperCased(name);
    Query query(database_, statements_->pendingControl);
    if (!query.BindName(1, key).Row())
        return std::nullopt;
    return ControlRequest{static_cast<DWORD>(query.Number(0)),
                          static_cast<std::uint64_t>(query.Number(1))};
}

LONG ServiceStates::QueueControl(std::u16string_view name, const ControlRequest& request) {
    if (!statements_)
        return kErrorBadDb;
    auto lock = database_.Lock();
    return Query(database_, statements_->queueControl)
        .BindName(1, UpperCased(name))
        .Bind(2, request.control)
        .Bind(3, static_cast<std::int64_t>(request.sequence))
        .Run();
}

LONG ServiceStates::ClearControl(std::u16string_view name) {
    if (!statements_)
        return kErrorBadDb;
    auto lock = database_.Lock();
    return Query(database_, statements_->clearControl).BindName(1, UpperCased(name)).Run();
}

LONG ServiceStates::Remove(std::u16string_view name) {
    if (!statements_)
        return kErrorBadDb;
    auto lock = database_.Lock();
    if (LONG error = Query(database_, statements_->remove).BindName(1, UpperCased(name)).Run())
        return error;
    return ClearControl(name);
}

}  // namespace ze::sim
