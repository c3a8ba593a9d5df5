// The registry of a simulated machine (HKEY_LOCAL_MACHINE), kept in SQLite: the one
// implementation of the registry's semantics, on a file (a machine folder's
// registry.db, shared by every process of the machine) or in memory (unit tests).
//
// What it models, as Windows does:
// - key and value names compare ignoring the case of a to z; the spelling given when
//   the key or value was created is kept;
// - subkeys enumerate in the order of their upper-cased names (UTF-16 code units),
//   values in the order they were created; a value set again keeps its place;
// - a key's id is never reused, so a handle to a deleted key stays stale
//   (ERROR_KEY_DELETED) even when a key of the same path is created again.
//
// Every routine that returns LONG returns ERROR_SUCCESS or a Win32 error and, on
// failure, writes no output and leaves the registry as it was. A routine that
// changes anything is one transaction, committed before it returns, so another
// process sees all of the change or none of it; inside Transaction() the changes of
// the whole body commit together instead. A call on a key that no longer exists fails
// with ERROR_KEY_DELETED. Database failures give the errors Windows gives for the same
// trouble with a hive (see database.h).
//
// The store is safe to share between the threads of a process (calls take turns).
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/database.h"
#include "platform/wintypes.h"

namespace ze::sim {

using KeyId = std::int64_t;
inline constexpr KeyId kRootKey = 1;  // HKEY_LOCAL_MACHINE itself

struct RegValue {
    std::u16string name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

struct Subkey {
    KeyId id = 0;
    std::u16string name;
};

// RegQueryInfoKeyW's counts: lengths in characters, data sizes in bytes.
struct KeyInfo {
    DWORD subkeys = 0;
    DWORD maxSubkeyLength = 0;
    DWORD values = 0;
    DWORD maxValueNameLength = 0;
    DWORD maxValueSize = 0;
};

class RegistryStore {
  public:
    // A registry in memory, holding only the root key.
    static std::unique_ptr<RegistryStore> InMemory();
    // Opens a registry database file (WAL mode, busy timeout). With create, a missing
    // file is made with an empty registry; without it, the file must exist and hold a
    // registry. Returns nullptr and sets *error (naming the file) when it cannot be
    // opened, is not a registry database, or cannot be written; the file is then left
    // as it was.
    static std::unique_ptr<RegistryStore> Open(const std::filesystem::path& file, bool create,
                                               std::string* error);
    ~RegistryStore();
    RegistryStore(const RegistryStore&) = delete;
    RegistryStore& operator=(const RegistryStore&) = delete;

    // For a file filled once before anyone else opens it: no journal until
    // MakeDurable(), which puts the file in WAL mode for shared use.
    void BeginBulkLoad() { database_->BeginBulkLoad(); }
    LONG MakeDurable() { return database_->MakeDurable(); }
    // How long a call waits for another process's hold on the database.
    void SetBusyTimeout(std::chrono::milliseconds timeout) { database_->SetBusyTimeout(timeout); }

    // Runs body as one transaction: its changes commit together when it returns
    // ERROR_SUCCESS and are undone when it returns an error; a database failure inside
    // undoes them too and is returned instead. Transactions nest (an inner one joins
    // the outer, which decides).
    LONG Transaction(const std::function<LONG()>& body) { return database_->Transaction(body); }
    LONG ReadTransaction(const std::function<LONG()>& body) {
        return database_->ReadTransaction(body);
    }

    // ---- keys ----
    // The key at `path` ('\'-separated, empty parts skipped) below `from`.
    // ERROR_FILE_NOT_FOUND when a part is missing.
    LONG OpenPath(KeyId from, std::u16string_view path, KeyId* key);
    // Opens or creates the key at `path` below `from`, creating each missing key on
    // the way; `created` (optional) receives the full path of each key created, in order.
    LONG CreatePath(KeyId from, std::u16string_view path, KeyId* key,
                    std::vector<std::u16string>* created = nullptr);
    // The key's full path below the root, spelt as stored ("" for the root).
    LONG PathOf(KeyId key, std::u16string* path);
    // The name of the index-th subkey in enumeration order; ERROR_NO_MORE_ITEMS past the end.
    LONG EnumKey(KeyId key, DWORD index, std::u16string* name);
    LONG Subkeys(KeyId key, std::vector<Subkey>* subkeys);
    LONG QueryInfo(KeyId key, KeyInfo* info);
    // Deletes the key with its values; with tree, its subkeys too. Without tree, a key
    // that has subkeys is refused with ERROR_ACCESS_DENIED, as Windows refuses it;
    // the root key cannot be deleted (ERROR_ACCESS_DENIED).
    LONG DeleteKey(KeyId key, bool tree);
    // Deletes every key and value (the root key stays, without values).
    LONG Clear();

    // ---- values ----
    LONG QueryValue(KeyId key, std::u16string_view name, RegValue* value);
    LONG EnumValue(KeyId key, DWORD index, RegValue* value);
    LONG Values(KeyId key, std::vector<RegValue>* values);
    LONG SetValue(KeyId key, std::u16string_view name, DWORD type, std::span<const BYTE> data);
    // ERROR_FILE_NOT_FOUND when the value is missing.
    LONG DeleteValue(KeyId key, std::u16string_view name);
    LONG ClearValues(KeyId key);

    // ---- facts about the database itself (the source a machine was imported from) ----
    std::optional<std::string> Meta(const std::string& name) { return database_->Meta(name); }
    LONG SetMeta(const std::string& name, const std::string& value) {
        return database_->SetMeta(name, value);
    }
    // The database the registry lives in, which other tables of the machine share.
    Database& DatabaseOf() { return *database_; }

    // ---- conveniences by path from the root, for tests, fixtures and tools ----
    std::optional<KeyId> Find(std::u16string_view path);
    // The key, created when missing (0 when the database fails).
    KeyId Create(std::u16string_view path, bool* created = nullptr);
    // False when the key is missing or (not recursive) has subkeys.
    bool Delete(std::u16string_view path, bool recursive = false);
    void SetValue(std::u16string_view path, std::u16string_view name, DWORD type,
                  const std::vector<BYTE>& data);
    // The text with its terminator, as regedit stores it.
    void SetString(std::u16string_view path, std::u16string_view name, std::u16string_view text);
    void SetDword(std::u16string_view path, std::u16string_view name, DWORD value);
    std::optional<RegValue> GetValue(std::u16string_view path, std::u16string_view name);
    void ClearValues(std::u16string_view path);
    void DeleteValue(std::u16string_view path, std::u16string_view name);

  private:
    struct Statements;
    RegistryStore(std::unique_ptr<Database> database, std::unique_ptr<Statements> statements);
    static std::unique_ptr<Statements> Prepare(Database& database, std::string* error);
    bool RefoldNames(const std::filesystem::path& file, std::string* error);
    LONG RefoldTable(const std::string& table, std::string* clash);
    LONG KeyExists(KeyId key);
    // ERROR_KEY_DELETED when the key is gone, otherwise `missing`.
    LONG Missing(KeyId key, LONG missing);
    LONG FindChild(KeyId parent, std::u16string_view name, KeyId* child, std::u16string* stored);
    LONG FindStoredChild(KeyId parent, std::u16string_view name, KeyId* child,
                         std::u16string* stored);
    LONG FindCurrentControlSet(KeyId parent, KeyId* child, std::u16string* stored);
    LONG InsertKey(KeyId parent, std::u16string_view name, KeyId* key);

    std::unique_ptr<Database> database_;
    std::unique_ptr<Statements> statements_;
};

}  // namespace ze::sim
