#include "platform/sim/registry_store.h"

#include <sqlite3.h>

#include <cstring>

#include "platform/names.h"
#include "platform/sim/value_data.h"

namespace ze::sim {
namespace {

constexpr int kDefaultBusyTimeoutMs = 5000;

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS meta(name TEXT PRIMARY KEY, value TEXT NOT NULL) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS key(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL,
                               name BLOB NOT NULL, upper BLOB NOT NULL);
CREATE UNIQUE INDEX IF NOT EXISTS key_by_name ON key(parent, upper);
CREATE TABLE IF NOT EXISTS value(id INTEGER PRIMARY KEY, key INTEGER NOT NULL, name BLOB NOT NULL,
                                 upper BLOB NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL);
CREATE UNIQUE INDEX IF NOT EXISTS value_by_name ON value(key, upper);
INSERT OR IGNORE INTO key(id, parent, name, upper) VALUES(1, 0, x'', x'');
INSERT OR IGNORE INTO meta(name, value) VALUES('format', '1');
)sql";

// Names are kept as UTF-16LE bytes (exactly as given, whatever the code units), and
// for lookups and ordering upper-cased as UTF-16BE, whose byte order is the order of
// the code units.
std::vector<BYTE> UpperKey(std::u16string_view name) {
    std::vector<BYTE> bytes;
    bytes.reserve(name.size() * 2);
    for (char16_t c : name) {
        char16_t upper = UpperLetter(c);
        bytes.push_back(static_cast<BYTE>(upper >> 8));
        bytes.push_back(static_cast<BYTE>(upper & 0xFF));
    }
    return bytes;
}

LONG Win32ErrorOf(int result) {
    switch (result & 0xFF) {
        case SQLITE_OK:
        case SQLITE_ROW:
        case SQLITE_DONE:
            return ERROR_SUCCESS;
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return ERROR_SHARING_VIOLATION;
        case SQLITE_NOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        case SQLITE_READONLY:
        case SQLITE_PERM:
        case SQLITE_AUTH:
            return ERROR_ACCESS_DENIED;
        case SQLITE_FULL:
            return kErrorDiskFull;
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
        case SQLITE_SCHEMA:
            return kErrorBadDb;
        default:
            return kErrorRegistryIoFailed;
    }
}

}  // namespace

// The prepared statements, made once for the life of the connection.
class RegistryStore::Statements {
  public:
    struct Entry {
        sqlite3_stmt* statement = nullptr;
        const char* sql;
    };
    Entry findChild{nullptr, "SELECT id, name FROM key WHERE parent = ?1 AND upper = ?2"};
    Entry keyExists{nullptr, "SELECT 1 FROM key WHERE id = ?1"};
    Entry keyRow{nullptr, "SELECT parent, name FROM key WHERE id = ?1"};
    Entry insertKey{nullptr, "INSERT INTO key(parent, name, upper) VALUES(?1, ?2, ?3)"};
    Entry subkeyAt{nullptr,
                   "SELECT name FROM key WHERE parent = ?1 ORDER BY upper LIMIT 1 OFFSET ?2"};
    Entry subkeys{nullptr, "SELECT id, name FROM key WHERE parent = ?1 ORDER BY upper"};
    Entry hasSubkeys{nullptr, "SELECT 1 FROM key WHERE parent = ?1 LIMIT 1"};
    Entry keyInfo{nullptr,
                  "SELECT EXISTS(SELECT 1 FROM key WHERE id = ?1),"
                  " (SELECT count(*) FROM key WHERE parent = ?1),"
                  " (SELECT ifnull(max(length(name)), 0) FROM key WHERE parent = ?1),"
                  " (SELECT count(*) FROM value WHERE key = ?1),"
                  " (SELECT ifnull(max(length(name)), 0) FROM value WHERE key = ?1),"
                  " (SELECT ifnull(max(length(data)), 0) FROM value WHERE key = ?1)"};
    Entry deleteTreeValues{nullptr,
                           "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL SELECT key.id FROM "
                           "key JOIN tree ON key.parent = tree.id) "
                           "DELETE FROM value WHERE key IN tree"};
    Entry deleteTreeKeys{nullptr,
                         "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL SELECT key.id FROM "
                         "key JOIN tree ON key.parent = tree.id) "
                         "DELETE FROM key WHERE id IN tree"};
    Entry valueByName{nullptr, "SELECT name, type, data FROM value WHERE key = ?1 AND upper = ?2"};
    Entry valueAt{nullptr,
                  "SELECT name, type, data FROM value WHERE key = ?1 ORDER BY id LIMIT 1 "
                  "OFFSET ?2"};
    Entry values{nullptr, "SELECT name, type, data FROM value WHERE key = ?1 ORDER BY id"};
    Entry setValue{nullptr,
                   "INSERT INTO value(key, name, upper, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
                   "ON CONFLICT(key, upper) DO UPDATE SET type = excluded.type, "
                   "data = excluded.data"};
    Entry deleteValue{nullptr, "DELETE FROM value WHERE key = ?1 AND upper = ?2"};
    Entry clearValues{nullptr, "DELETE FROM value WHERE key = ?1"};
    Entry begin{nullptr, "BEGIN IMMEDIATE"};
    Entry commit{nullptr, "COMMIT"};
    Entry rollback{nullptr, "ROLLBACK"};
    Entry metaGet{nullptr, "SELECT value FROM meta WHERE name = ?1"};
    Entry metaSet{nullptr, "INSERT OR REPLACE INTO meta(name, value) VALUES(?1, ?2)"};

    std::vector<Entry*> All() {
        return {&findChild,  &keyExists, &keyRow,           &insertKey,      &subkeyAt,    &subkeys,
                &hasSubkeys, &keyInfo,   &deleteTreeValues, &deleteTreeKeys, &valueByName, &valueAt,
                &values,     &setValue,  &deleteValue,      &clearValues,    &begin,       &commit,
                &rollback,   &metaGet,   &metaSet};
    }
    ~Statements() {
        for (Entry* entry : All())
            sqlite3_finalize(entry->statement);
    }
};

// One use of a prepared statement: binds its parameters, steps through its rows and
// resets it when it goes out of scope.
class Query {
  public:
    Query(RegistryStore& store, RegistryStore::Statements::Entry& entry)
        : store_(store), statement_(entry.statement) {}
    ~Query() {
        sqlite3_reset(statement_);
        sqlite3_clear_bindings(statement_);
    }
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    Query& Bind(int index, std::int64_t number) {
        sqlite3_bind_int64(statement_, index, number);
        return *this;
    }
    Query& Bind(int index, std::span<const BYTE> bytes) {
        // A null pointer would bind NULL rather than an empty blob.
        static const BYTE kEmpty = 0;
        sqlite3_bind_blob(statement_, index, bytes.empty() ? &kEmpty : bytes.data(),
                          static_cast<int>(bytes.size()), SQLITE_STATIC);
        return *this;
    }
    Query& BindName(int index, std::u16string_view name) {
        return Bind(index, std::span<const BYTE>(reinterpret_cast<const BYTE*>(name.data()),
                                                 name.size() * 2));
    }
    Query& BindText(int index, const std::string& text) {
        sqlite3_bind_text(statement_, index, text.c_str(), static_cast<int>(text.size()),
                          SQLITE_STATIC);
        return *this;
    }
    // True for a row; false at the end or on failure (then Error() says which).
    bool Row() {
        int result = sqlite3_step(statement_);
        if (result == SQLITE_ROW)
            return true;
        error_ = store_.Check(result);
        return false;
    }
    // Runs a statement that returns no rows.
    LONG Run() {
        while (Row()) {
        }
        return error_;
    }
    LONG Error() const { return error_; }

    std::int64_t Number(int column) { return sqlite3_column_int64(statement_, column); }
    std::vector<BYTE> Bytes(int column) {
        const BYTE* bytes = static_cast<const BYTE*>(sqlite3_column_blob(statement_, column));
        int size = sqlite3_column_bytes(statement_, column);
        return bytes == nullptr ? std::vector<BYTE>() : std::vector<BYTE>(bytes, bytes + size);
    }
    std::u16string Name(int column) {
        const void* bytes = sqlite3_column_blob(statement_, column);
        std::u16string name(static_cast<std::size_t>(sqlite3_column_bytes(statement_, column)) / 2,
                            u'\0');
        if (!name.empty())
            std::memcpy(name.data(), bytes, name.size() * 2);
        return name;
    }
    std::string Text(int column) {
        const unsigned char* text = sqlite3_column_text(statement_, column);
        return text == nullptr ? std::string() : reinterpret_cast<const char*>(text);
    }
    RegValue Value() { return RegValue{Name(0), static_cast<DWORD>(Number(1)), Bytes(2)}; }

  private:
    RegistryStore& store_;
    sqlite3_stmt* statement_;
    LONG error_ = ERROR_SUCCESS;
};

// ---- opening ----

RegistryStore::RegistryStore(sqlite3* db) : db_(db), statements_(std::make_unique<Statements>()) {
    sqlite3_busy_timeout(db_, kDefaultBusyTimeoutMs);
}

RegistryStore::~RegistryStore() {
    statements_.reset();
    sqlite3_close(db_);
}

bool RegistryStore::Prepare(std::string* error) {
    for (Statements::Entry* entry : statements_->All()) {
        if (sqlite3_prepare_v3(db_, entry->sql, -1, SQLITE_PREPARE_PERSISTENT, &entry->statement,
                               nullptr) != SQLITE_OK) {
            *error = sqlite3_errmsg(db_);
            return false;
        }
    }
    return true;
}

std::unique_ptr<RegistryStore> RegistryStore::InMemory() {
    sqlite3* db = nullptr;
    sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    std::unique_ptr<RegistryStore> store(new RegistryStore(db));
    std::string error;
    if (sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK ||
        !store->Prepare(&error)) {
        return nullptr;
    }
    return store;
}

std::unique_ptr<RegistryStore> RegistryStore::Open(const std::filesystem::path& file, bool create,
                                                   std::string* error) {
    sqlite3* db = nullptr;
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
    int result = sqlite3_open_v2(file.c_str(), &db, flags, nullptr);
    std::unique_ptr<RegistryStore> store(new RegistryStore(db));
    auto fail = [&](const std::string& why) -> std::unique_ptr<RegistryStore> {
        *error = file.string() + ": " + why;
        return nullptr;
    };
    if (result != SQLITE_OK)
        return fail(std::string("cannot open: ") + sqlite3_errstr(result));
    if (sqlite3_db_readonly(db, "main") == 1)
        return fail("cannot be written (read-only file or file system)");
    // Read before anything is written, so that a file that is not ours stays untouched.
    result = sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    if (result != SQLITE_OK)
        return fail(std::string("not a registry database (") + sqlite3_errstr(result) + ")");
    sqlite3_stmt* probe = nullptr;
    bool ours = sqlite3_prepare_v2(db, "SELECT value FROM meta WHERE name = 'format'", -1, &probe,
                                   nullptr) == SQLITE_OK &&
                sqlite3_step(probe) == SQLITE_ROW;
    sqlite3_finalize(probe);
    if (!ours && !create)
        return fail("not a registry database (it holds no registry)");
    result = sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", nullptr,
                          nullptr, nullptr);
    if (result == SQLITE_OK && !ours)
        result = sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr);
    if (result != SQLITE_OK) {
        return fail(result == SQLITE_READONLY || result == SQLITE_CANTOPEN
                        ? "cannot be written (read-only file or file system)"
                        : std::string("cannot be used: ") + sqlite3_errmsg(db));
    }
    std::string why;
    if (!store->Prepare(&why))
        return fail("not a registry database (" + why + ")");
    return store;
}

void RegistryStore::BeginBulkLoad() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    sqlite3_exec(db_, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;", nullptr, nullptr,
                 nullptr);
}

LONG RegistryStore::MakeDurable() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return Exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;");
}

void RegistryStore::SetBusyTimeout(std::chrono::milliseconds timeout) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    sqlite3_busy_timeout(db_, static_cast<int>(timeout.count()));
}

// ---- errors and transactions ----

LONG RegistryStore::Check(int result) {
    LONG error = Win32ErrorOf(result);
    if (error != ERROR_SUCCESS && depth_ > 0 && doomed_ == ERROR_SUCCESS)
        doomed_ = error;
    return error;
}

LONG RegistryStore::Exec(const char* sql) {
    return Check(sqlite3_exec(db_, sql, nullptr, nullptr, nullptr));
}

LONG RegistryStore::Transaction(const std::function<LONG()>& body) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (depth_ > 0)
        return body();
    if (LONG error = Query(*this, statements_->begin).Run())
        return error;
    ++depth_;
    doomed_ = ERROR_SUCCESS;
    LONG result = body();
    --depth_;
    if (doomed_ != ERROR_SUCCESS)
        result = doomed_;
    if (result == ERROR_SUCCESS)
        result = Query(*this, statements_->commit).Run();
    if (result != ERROR_SUCCESS)
        Query(*this, statements_->rollback).Run();
    return result;
}

// ---- keys ----

LONG RegistryStore::KeyExists(KeyId key) {
    Query query(*this, statements_->keyExists);
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
    std::vector<BYTE> upper = UpperKey(name);
    Query query(*this, statements_->findChild);
    query.Bind(1, parent).Bind(2, upper);
    if (!query.Row())
        return query.Error() != ERROR_SUCCESS ? query.Error() : ERROR_FILE_NOT_FOUND;
    *child = query.Number(0);
    if (stored != nullptr)
        *stored = query.Name(1);
    return ERROR_SUCCESS;
}

LONG RegistryStore::InsertKey(KeyId parent, std::u16string_view name, KeyId* key) {
    std::vector<BYTE> upper = UpperKey(name);
    Query query(*this, statements_->insertKey);
    query.Bind(1, parent).BindName(2, name).Bind(3, upper);
    if (LONG error = query.Run())
        return error;
    *key = sqlite3_last_insert_rowid(db_);
    return ERROR_SUCCESS;
}

LONG RegistryStore::OpenPath(KeyId from, std::u16string_view path, KeyId* key) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
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
    std::lock_guard<std::recursive_mutex> lock(mutex_);
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
                made.push_back(full.empty() ? stored : full + u"\\" + stored);
            } else if (found != ERROR_SUCCESS) {
                return found;
            }
            full = full.empty() ? stored : full + u"\\" + stored;
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
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    std::u16string result;
    for (KeyId current = key; current != kRootKey;) {
        Query query(*this, statements_->keyRow);
        query.Bind(1, current);
        if (!query.Row())
            return query.Error() != ERROR_SUCCESS ? query.Error() : ERROR_KEY_DELETED;
        result = result.empty() ? query.Name(1) : query.Name(1) + u"\\" + result;
        current = query.Number(0);
    }
    *path = std::move(result);
    return ERROR_SUCCESS;
}

LONG RegistryStore::EnumKey(KeyId key, DWORD index, std::u16string* name) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    Query query(*this, statements_->subkeyAt);
    query.Bind(1, key).Bind(2, index);
    if (!query.Row())
        return query.Error() != ERROR_SUCCESS ? query.Error() : Missing(key, ERROR_NO_MORE_ITEMS);
    *name = query.Name(0);
    return ERROR_SUCCESS;
}

LONG RegistryStore::Subkeys(KeyId key, std::vector<Subkey>* subkeys) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (LONG error = KeyExists(key))
        return error;
    std::vector<Subkey> result;
    Query query(*this, statements_->subkeys);
    query.Bind(1, key);
    while (query.Row())
        result.push_back(Subkey{query.Number(0), query.Name(1)});
    if (query.Error() != ERROR_SUCCESS)
        return query.Error();
    *subkeys = std::move(result);
    return ERROR_SUCCESS;
}

LONG RegistryStore::QueryInfo(KeyId key, KeyInfo* info) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    Query query(*this, statements_->keyInfo);
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
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (key == kRootKey)
        return ERROR_ACCESS_DENIED;
    return Transaction([&]() -> LONG {
        if (LONG error = KeyExists(key))
            return error;
        if (!tree) {
            Query query(*this, statements_->hasSubkeys);
            query.Bind(1, key);
            if (query.Row())
                return ERROR_ACCESS_DENIED;
            if (query.Error() != ERROR_SUCCESS)
                return query.Error();
        }
        Query values(*this, statements_->deleteTreeValues);
        if (LONG error = values.Bind(1, key).Run())
            return error;
        Query keys(*this, statements_->deleteTreeKeys);
        return keys.Bind(1, key).Run();
    });
}

LONG RegistryStore::Clear() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return Transaction([&] { return Exec("DELETE FROM value; DELETE FROM key WHERE id <> 1;"); });
}

// ---- values ----

LONG RegistryStore::QueryValue(KeyId key, std::u16string_view name, RegValue* value) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    std::vector<BYTE> upper = UpperKey(name);
    Query query(*this, statements_->valueByName);
    query.Bind(1, key).Bind(2, upper);
    if (!query.Row())
        return query.Error() != ERROR_SUCCESS ? query.Error() : Missing(key, ERROR_FILE_NOT_FOUND);
    *value = query.Value();
    return ERROR_SUCCESS;
}

LONG RegistryStore::EnumValue(KeyId key, DWORD index, RegValue* value) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    Query query(*this, statements_->valueAt);
    query.Bind(1, key).Bind(2, index);
    if (!query.Row())
        return query.Error() != ERROR_SUCCESS ? query.Error() : Missing(key, ERROR_NO_MORE_ITEMS);
    *value = query.Value();
    return ERROR_SUCCESS;
}

LONG RegistryStore::Values(KeyId key, std::vector<RegValue>* values) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (LONG error = KeyExists(key))
        return error;
    std::vector<RegValue> result;
    Query query(*this, statements_->values);
    query.Bind(1, key);
    while (query.Row())
        result.push_back(query.Value());
    if (query.Error() != ERROR_SUCCESS)
        return query.Error();
    *values = std::move(result);
    return ERROR_SUCCESS;
}

LONG RegistryStore::SetValue(KeyId key, std::u16string_view name, DWORD type,
                             std::span<const BYTE> data) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return Transaction([&]() -> LONG {
        if (LONG error = KeyExists(key))
            return error;
        std::vector<BYTE> upper = UpperKey(name);
        Query query(*this, statements_->setValue);
        return query.Bind(1, key)
            .BindName(2, name)
            .Bind(3, upper)
            .Bind(4, type)
            .Bind(5, data)
            .Run();
    });
}

LONG RegistryStore::DeleteValue(KeyId key, std::u16string_view name) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return Transaction([&]() -> LONG {
        if (LONG error = KeyExists(key))
            return error;
        std::vector<BYTE> upper = UpperKey(name);
        Query query(*this, statements_->deleteValue);
        if (LONG error = query.Bind(1, key).Bind(2, upper).Run())
            return error;
        return sqlite3_changes(db_) == 0 ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS;
    });
}

LONG RegistryStore::ClearValues(KeyId key) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return Transaction([&]() -> LONG {
        if (LONG error = KeyExists(key))
            return error;
        return Query(*this, statements_->clearValues).Bind(1, key).Run();
    });
}

// ---- meta ----

std::optional<std::string> RegistryStore::Meta(const std::string& name) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    Query query(*this, statements_->metaGet);
    query.BindText(1, name);
    if (!query.Row())
        return std::nullopt;
    return query.Text(0);
}

LONG RegistryStore::SetMeta(const std::string& name, const std::string& value) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return Transaction([&] {
        return Query(*this, statements_->metaSet).BindText(1, name).BindText(2, value).Run();
    });
}

// ---- conveniences by path ----

std::optional<KeyId> RegistryStore::Find(std::u16string_view path) {
    KeyId key = 0;
    if (OpenPath(kRootKey, path, &key) != ERROR_SUCCESS)
        return std::nullopt;
    return key;
}

KeyId RegistryStore::Create(std::u16string_view path, bool* created) {
    KeyId key = 0;
    std::vector<std::u16string> made;
    CreatePath(kRootKey, path, &key, &made);
    if (created != nullptr)
        *created = !made.empty();
    return key;
}

bool RegistryStore::Delete(std::u16string_view path, bool recursive) {
    std::optional<KeyId> key = Find(path);
    return key && *key != kRootKey && DeleteKey(*key, recursive) == ERROR_SUCCESS;
}

void RegistryStore::SetValue(std::u16string_view path, std::u16string_view name, DWORD type,
                             const std::vector<BYTE>& data) {
    SetValue(Create(path), name, type, std::span<const BYTE>(data));
}

void RegistryStore::SetString(std::u16string_view path, std::u16string_view name,
                              std::u16string_view text) {
    SetValue(path, name, REG_SZ, TextData(text));
}

void RegistryStore::SetDword(std::u16string_view path, std::u16string_view name, DWORD value) {
    SetValue(path, name, REG_DWORD, DwordData(value));
}

std::optional<RegValue> RegistryStore::GetValue(std::u16string_view path,
                                                std::u16string_view name) {
    std::optional<KeyId> key = Find(path);
    RegValue value;
    if (!key || QueryValue(*key, name, &value) != ERROR_SUCCESS)
        return std::nullopt;
    return value;
}

void RegistryStore::ClearValues(std::u16string_view path) {
    if (std::optional<KeyId> key = Find(path))
        ClearValues(*key);
}

void RegistryStore::DeleteValue(std::u16string_view path, std::u16string_view name) {
    if (std::optional<KeyId> key = Find(path))
        DeleteValue(*key, name);
}

}  // namespace ze::sim
