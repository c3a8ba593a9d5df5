#include "platform/sim/registry_store.h"

#include "common/text.h"
#include "platform/names.h"
#include "platform/sim/value_data.h"

#include <cstdio>

namespace ze::sim {
namespace {

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS meta(name TEXT PRIMARY KEY, value TEXT NOT NULL) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS key(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL,
                               name BLOB NOT NULL, upper BLOB NOT NULL);
CREATE UNIQUE INDEX IF NOT EXISTS key_by_name ON key(parent, upper);
CREATE TABLE IF NOT EXISTS value(id INTEGER PRIMARY KEY, key INTEGER NOT NULL, name BLOB NOT NULL,
                                 upper BLOB NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL);
CREATE UNIQUE INDEX IF NOT EXISTS value_by_name ON value(key, upper);
INSERT OR IGNORE INTO key(id, parent, name, upper) VALUES(1, 0, x'', x'');
INSERT OR IGNORE INTO meta(name, value) VALUES('format', '2');
)sql";
// Format 1 folded the case of a to z only; format 2 folds letters beyond ASCII too.
constexpr int kFormat = 2;
constexpr std::u16string_view kCurrentControlSet = u"CurrentControlSet";

// Names are kept as UTF-16LE bytes (exactly as given, whatever the code units), and
// for lookups and ordering upper-cased as UTF-16BE, whose byte order is the order of
// the code units.
std::vector<BYTE> UpperKey(std::u16string_view name) {
    std::vector<BYTE> bytes;
    bytes.reserve(name.size() * 2);
    for (char16_t c : name) {
        char16_t upper = FoldedLetter(c);
        bytes.push_back(static_cast<BYTE>(upper >> 8));
        bytes.push_back(static_cast<BYTE>(upper & 0xFF));
    }
    return bytes;
}

// A value row: name, type, data.
RegValue ValueOf(Query& query) {
    return RegValue{query.Name(0), static_cast<DWORD>(query.Number(1)), query.Bytes(2)};
}

}  // namespace

// The registry's statements, prepared once for the life of the connection.
struct RegistryStore::Statements {
    sqlite3_stmt* findChild;
    sqlite3_stmt* keyExists;
    sqlite3_stmt* keyRow;
    sqlite3_stmt* insertKey;
    sqlite3_stmt* subkeyAt;
    sqlite3_stmt* subkeys;
    sqlite3_stmt* hasSubkeys;
    sqlite3_stmt* keyInfo;
    sqlite3_stmt* deleteTreeValues;
    sqlite3_stmt* deleteTreeKeys;
    sqlite3_stmt* valueByName;
    sqlite3_stmt* valueAt;
    sqlite3_stmt* values;
    sqlite3_stmt* setValue;
    sqlite3_stmt* deleteValue;
    sqlite3_stmt* clearValues;
};

std::unique_ptr<RegistryStore::Statements> RegistryStore::Prepare(Database& database,
                                                                  std::string* error) {
    const std::pair<sqlite3_stmt * Statements::*, const char*> kSql[] = {
        {&Statements::findChild, "SELECT id, name FROM key WHERE parent = ?1 AND upper = ?2"},
        {&Statements::keyExists, "SELECT 1 FROM key WHERE id = ?1"},
        {&Statements::keyRow, "SELECT parent, name FROM key WHERE id = ?1"},
        {&Statements::insertKey, "INSERT INTO key(parent, name, upper) VALUES(?1, ?2, ?3)"},
        {&Statements::subkeyAt,
         "SELECT name FROM key WHERE parent = ?1 ORDER BY upper LIMIT 1 OFFSET ?2"},
        {&Statements::subkeys, "SELECT id, name FROM key WHERE parent = ?1 ORDER BY upper"},
        {&Statements::hasSubkeys, "SELECT 1 FROM key WHERE parent = ?1 LIMIT 1"},
        {&Statements::keyInfo,
         "SELECT EXISTS(SELECT 1 FROM key WHERE id = ?1),"
         " (SELECT count(*) FROM key WHERE parent = ?1),"
         " (SELECT ifnull(max(length(name)), 0) FROM key WHERE parent = ?1),"
         " (SELECT count(*) FROM value WHERE key = ?1),"
         " (SELECT ifnull(max(length(name)), 0) FROM value WHERE key = ?1),"
         " (SELECT ifnull(max(length(data)), 0) FROM value WHERE key = ?1)"},
        {&Statements::deleteTreeValues,
         "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL SELECT key.id FROM "
         "key JOIN tree ON key.parent = tree.id) "
         "DELETE FROM value WHERE key IN tree"},
        {&Statements::deleteTreeKeys,
         "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL SELECT key.id FROM "
         "key JOIN tree ON key.parent = tree.id) "
         "DELETE FROM key WHERE id IN tree"},
        {&Statements::valueByName,
         "SELECT name, type, data FROM value WHERE key = ?1 AND upper = ?2"},
        {&Statements::valueAt,
         "SELECT name, type, data FROM value WHERE key = ?1 ORDER BY id LIMIT 1 OFFSET ?2"},
        {&Statements::values, "SELECT name, type, data FROM value WHERE key = ?1 ORDER BY id"},
        {&Statements::setValue,
         "INSERT INTO value(key, name, upper, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
         "ON CONFLICT(key, upper) DO UPDATE SET type = excluded.type, data = excluded.data"},
        {&Statements::deleteValue, "DELETE FROM value WHERE key = ?1 AND upper = ?2"},
        {&Statements::clearValues, "DELETE FROM value WHERE key = ?1"},
    };
    auto statements = std::make_unique<Statements>();
    for (const auto& [member, sql] : kSql) {
        if ((statements.get()->*member = database.Prepare(sql, error)) == nullptr)
            return nullptr;
    }
    return statements;
}

// ---- opening ----

RegistryStore::RegistryStore(std::unique_ptr<Database> database,
                             std::unique_ptr<Statements> statements)
    : database_(std::move(database)), statements_(std::move(statements)) {}

RegistryStore::~RegistryStore() = default;

std::unique_ptr<RegistryStore> RegistryStore::InMemory() {
    std::unique_ptr<Database> database = Database::InMemory(kSchema);
    std::string error;
    std::unique_ptr<Statements> statements = database ? Prepare(*database, &error) : nullptr;
    if (!statements)
        return nullptr;
    return std::unique_ptr<RegistryStore>(
        new RegistryStore(std::move(database), std::move(statements)));
}

std::unique_ptr<RegistryStore> RegistryStore::Open(const std::filesystem::path& file, bool create,
                                                   std::string* error) {
    std::unique_ptr<Database> database = Database::Open(file, create, kSchema, kFormat, error);
    if (!database)
        return nullptr;
    std::string why;
    std::unique_ptr<Statements> statements = Prepare(*database, &why);
    if (!statements) {
        *error = file.string() + ": not a registry database (" + why + ")";
        return nullptr;
    }
    std::unique_ptr<RegistryStore> store(
        new RegistryStore(std::move(database), std::move(statements)));
    if (store->Meta("format") == "1" && !store->RefoldNames(file, error))
        return nullptr;
    return store;
}

// A database of format 1 holds names upper-cased for a to z only: the names beyond
// ASCII get their folded form, in one transaction. Two names that then fall together
// (Windows takes them for one) refuse the open, the file unchanged.
bool RegistryStore::RefoldNames(const std::filesystem::path& file, std::string* error) {
    std::string clash;
    LONG result = Transaction([&]() -> LONG {
        for (const char* table : {"key", "value"}) {
            if (LONG failed = RefoldTable(table, &clash))
                return failed;
        }
        return SetMeta("format", std::to_string(kFormat));
    });
    if (result == ERROR_SUCCESS)
        return true;
    *error = file.string() + ": cannot be brought to this version's format (error " +
             std::to_string(result) + ")";
    if (!clash.empty()) {
        *error = file.string() + ": " + clash +
                 " differ only in the case of letters beyond ASCII, which Windows takes for one "
                 "name; merge them in registry.reg and delete registry.db to import it afresh "
                 "(registry.db is left as it was)";
    }
    return false;
}

LONG RegistryStore::RefoldTable(const std::string& table, std::string* clash) {
    std::string why;
    sqlite3_stmt* rows =
        database_->Prepare(("SELECT id, name, upper, " +
                            std::string(table == "key" ? "parent" : "key") + " FROM " + table)
                               .c_str(),
                           &why);
    sqlite3_stmt* update =
        database_->Prepare(("UPDATE " + table + " SET upper = ?2 WHERE id = ?1").c_str(), &why);
    if (rows == nullptr || update == nullptr)
        return kErrorBadDb;
    struct Change {
        KeyId id;
        KeyId owner;
        std::u16string name;
        std::vector<BYTE> upper;
    };
    std::vector<Change> changes;
    {
        Query query(*database_, rows);
        while (query.Row()) {
            std::u16string name = query.Name(1);
            std::vector<BYTE> upper = UpperKey(name);
            if (upper != query.Bytes(2))
                changes.push_back(Change{query.Number(0), query.Number(3), name, upper});
        }
        if (query.Error() != ERROR_SUCCESS)
            return query.Error();
    }
    for (const Change& change : changes) {
        if (LONG failed =
                Query(*database_, update).Bind(1, change.id).Bind(2, change.upper).Run()) {
            std::u16string path;
            PathOf(change.owner, &path);
            *clash = (table == "key" ? "two keys under HKLM\\" : "two values of HKLM\\") +
                     Utf16ToUtf8(path) + " named like \"" + Utf16ToUtf8(change.name) + "\"";
            return failed;
        }
    }
    return ERROR_SUCCESS;
}

// ---- keys ----

LONG RegistryStore::KeyExists(KeyId key) {
    Query query(*database_, statements_->keyExists);
    query.Bind(1, key);
    if (query.Row())
        return ERROR_SUCCESS;
    return query.Error() != ERROR_SUCCESS ? query.Error() : ERROR_KEY_DELETED;
}

LONG RegistryStore::Missing(KeyId key, LONG missing) {
    LONG error = KeyExists(key);
    return error == ERROR_SUCCESS ? missing : error;
}

LONG RegistryStore::FindChild(KeyId parent, std::u16string_view name, KeyId* child,
                              std::u16string* stored) {
    LONG found = FindStoredChild(parent, name, child, stored);
    return found == ERROR_FILE_NOT_FOUND && EqualsIgnoreCase(name, kCurrentControlSet)
               ? FindCurrentControlSet(parent, child, stored)
               : found;
}

LONG RegistryStore::FindStoredChild(KeyId parent, std::u16string_view name, KeyId* child,
                                    std::u16string* stored) {
    std::vector<BYTE> upper = UpperKey(name);
    Query query(*database_, statements_->findChild);
    query.Bind(1, parent).Bind(2, upper);
    if (!query.Row())
        return query.Error() != ERROR_SUCCESS ? query.Error() : ERROR_FILE_NOT_FOUND;
    *child = query.Number(0);
    if (stored != nullptr)
        *stored = query.Name(1);
    return ERROR_SUCCESS;
}

// SYSTEM\CurrentControlSet is a link Windows makes at boot to the control set that
// SYSTEM\Select's Current names; an export of a real machine holds ControlSet001 and
// the others but not the link. A CurrentControlSet key of its own (as a hand-made
// registry has) wins.
LONG RegistryStore::FindCurrentControlSet(KeyId parent, KeyId* child, std::u16string* stored) {
    KeyId system = 0;
    KeyId select = 0;
    if (FindStoredChild(kRootKey, u"SYSTEM", &system, nullptr) != ERROR_SUCCESS ||
        system != parent || FindStoredChild(system, u"Select", &select, nullptr) != ERROR_SUCCESS) {
        return ERROR_FILE_NOT_FOUND;
    }
    std::optional<DWORD> current = DwordOf(*this, select, u"Current");
    if (!current)
        return ERROR_FILE_NOT_FOUND;
    char text[24];
    int length = std::snprintf(text, sizeof text, "ControlSet%03u", *current);
    std::u16string set(text, text + length);
    return FindStoredChild(system, set, child, stored);
}

LONG RegistryStore::InsertKey(KeyId parent, std::u16string_view name, KeyId* key) {
    std::vector<BYTE> upper = UpperKey(name);
    Query query(*database_, statements_->insertKey);
    query.Bind(1, parent).BindName(2, name).Bind(3, upper);
    if (LONG error = query.Run())
        return error;
    *key = database_->LastInsertId();
    return ERROR_SUCCESS;
}

LONG RegistryStore::OpenPath(KeyId from, std::u16string_view path, KeyId* key) {
    auto lock = database_->Lock();
    if (LONG error = KeyExists(from))
        return error;
    KeyId current = from;
    for (const auto& part : SplitKeyPath(path)) {
        if (LONG error = FindChild(current, part, &current, nullptr))
            return error;
    }
    *key = current;
    return ERROR_SUCCESS;
}

LONG RegistryStore::CreatePath(KeyId from, std::u16string_view path, KeyId* key,
                               std::vector<std::u16string>* created) {
    auto lock = database_->Lock();
    KeyId result = 0;
    std::vector<std::u16string> made;
    LONG error = Transaction([&]() -> LONG {
        // The full path is only spelt out when someone asks for the created keys.
        std::u16string full;
        if (LONG error = created != nullptr ? PathOf(from, &full) : KeyExists(from))
            return error;
        KeyId current = from;
        for (const auto& part : SplitKeyPath(path)) {
            std::u16string stored;
            LONG found = FindChild(current, part, &current, &stored);
            if (found == ERROR_FILE_NOT_FOUND) {
                if (LONG error = InsertKey(current, part, &current))
                    return error;
                stored = part;
                made.push_back(JoinKeyPath(full, stored));
            } else if (found != ERROR_SUCCESS) {
                return found;
            }
            full = JoinKeyPath(full, stored);
        }
        result = current;
        return ERROR_SUCCESS;
    });
    if (error != ERROR_SUCCESS)
        return error;
    *key = result;
    if (created != nullptr)
        *created = std::move(made);
    return ERROR_SUCCESS;
}

LONG RegistryStore::PathOf(KeyId key, std::u16string* path) {
    auto lock = database_->Lock();
    std::u16string result;
    for (KeyId current = key; current != kRootKey;) {
        Query query(*database_, statements_->keyRow);
        query.Bind(1, current);
        if (!query.Row())
            return query.Error() != ERROR_SUCCESS ? query.Error() : ERROR_KEY_DELETED;
        result = result.empty() ? query.Name(1) : JoinKeyPath(query.Name(1), result);
        current = query.Number(0);
    }
    *path = std::move(result);
    return ERROR_SUCCESS;
}

LONG RegistryStore::EnumKey(KeyId key, DWORD index, std::u16string* name) {
    auto lock = database_->Lock();
    Query query(*database_, statements_->subkeyAt);
    query.Bind(1, key).Bind(2, index);
    if (!query.Row())
        return query.Error() != ERROR_SUCCESS ? query.Error() : Missing(key, ERROR_NO_MORE_ITEMS);
    *name = query.Name(0);
    return ERROR_SUCCESS;
}

LONG RegistryStore::Subkeys(KeyId key, std::vector<Subkey>* subkeys) {
    auto lock = database_->Lock();
    if (LONG error = KeyExists(key))
        return error;
    std::vector<Subkey> result;
    Query query(*database_, statements_->subkeys);
    query.Bind(1, key);
    while (query.Row())
        result.push_back(Subkey{query.Number(0), query.Name(1)});
    if (query.Error() != ERROR_SUCCESS)
        return query.Error();
    *subkeys = std::move(result);
    return ERROR_SUCCESS;
}

LONG RegistryStore::QueryInfo(KeyId key, KeyInfo* info) {
    auto lock = database_->Lock();
    Query query(*database_, statements_->keyInfo);
    query.Bind(1, key);
    if (!query.Row())
        return query.Error();
    if (query.Number(0) == 0)
        return ERROR_KEY_DELETED;
    *info = KeyInfo{static_cast<DWORD>(query.Number(1)), static_cast<DWORD>(query.Number(2) / 2),
                    static_cast<DWORD>(query.Number(3)), static_cast<DWORD>(query.Number(4) / 2),
                    static_cast<DWORD>(query.Number(5))};
    return ERROR_SUCCESS;
}

LONG RegistryStore::DeleteKey(KeyId key, bool tree) {
    auto lock = database_->Lock();
    if (key == kRootKey)
        return ERROR_ACCESS_DENIED;
    return Transaction([&]() -> LONG {
        if (LONG error = KeyExists(key))
            return error;
        if (!tree) {
            Query query(*database_, statements_->hasSubkeys);
            query.Bind(1, key);
            if (query.Row())
                return ERROR_ACCESS_DENIED;
            if (query.Error() != ERROR_SUCCESS)
                return query.Error();
        }
        Query values(*database_, statements_->deleteTreeValues);
        if (LONG error = values.Bind(1, key).Run())
            return error;
        Query keys(*database_, statements_->deleteTreeKeys);
        return keys.Bind(1, key).Run();
    });
}

LONG RegistryStore::Clear() {
    auto lock = database_->Lock();
    return Transaction(
        [&] { return database_->Exec("DELETE FROM value; DELETE FROM key WHERE id <> 1;"); });
}

// ---- values ----

LONG RegistryStore::QueryValue(KeyId key, std::u16string_view name, RegValue* value) {
    auto lock = database_->Lock();
    std::vector<BYTE> upper = UpperKey(name);
    Query query(*database_, statements_->valueByName);
    query.Bind(1, key).Bind(2, upper);
    if (!query.Row())
        return query.Error() != ERROR_SUCCESS ? query.Error() : Missing(key, ERROR_FILE_NOT_FOUND);
    *value = ValueOf(query);
    return ERROR_SUCCESS;
}

LONG RegistryStore::EnumValue(KeyId key, DWORD index, RegValue* value) {
    auto lock = database_->Lock();
    Query query(*database_, statements_->valueAt);
    query.Bind(1, key).Bind(2, index);
    if (!query.Row())
        return query.Error() != ERROR_SUCCESS ? query.Error() : Missing(key, ERROR_NO_MORE_ITEMS);
    *value = ValueOf(query);
    return ERROR_SUCCESS;
}

LONG RegistryStore::Values(KeyId key, std::vector<RegValue>* values) {
    auto lock = database_->Lock();
    if (LONG error = KeyExists(key))
        return error;
    std::vector<RegValue> result;
    Query query(*database_, statements_->values);
    query.Bind(1, key);
    while (query.Row())
        result.push_back(ValueOf(query));
    if (query.Error() != ERROR_SUCCESS)
        return query.Error();
    *values = std::move(result);
    return ERROR_SUCCESS;
}

LONG RegistryStore::SetValue(KeyId key, std::u16string_view name, DWORD type,
                             std::span<const BYTE> data) {
    auto lock = database_->Lock();
    return Transaction([&]() -> LONG {
        if (LONG error = KeyExists(key))
            return error;
        std::vector<BYTE> upper = UpperKey(name);
        Query query(*database_, statements_->setValue);
        return query.Bind(1, key)
            .BindName(2, name)
            .Bind(3, upper)
            .Bind(4, type)
            .Bind(5, data)
            .Run();
    });
}

LONG RegistryStore::DeleteValue(KeyId key, std::u16string_view name) {
    auto lock = database_->Lock();
    return Transaction([&]() -> LONG {
        if (LONG error = KeyExists(key))
            return error;
        std::vector<BYTE> upper = UpperKey(name);
        Query query(*database_, statements_->deleteValue);
        if (LONG error = query.Bind(1, key).Bind(2, upper).Run())
            return error;
        return database_->Changes() == 0 ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS;
    });
}

LONG RegistryStore::ClearValues(KeyId key) {
    auto lock = database_->Lock();
    return Transaction([&]() -> LONG {
        if (LONG error = KeyExists(key))
            return error;
        return Query(*database_, statements_->clearValues).Bind(1, key).Run();
    });
}

}  // namespace ze::sim
