// The SQLite database behind a machine's registry.db (or its in-memory twin): one
// connection, each statement prepared once for the life of the connection,
// transactions that nest, and SQLite's results mapped in one place to the Win32 errors
// the registry calls give. The registry's keys and values and the service manager's
// run-time state are tables of this one database, so every process of a machine shares
// both through SQLite's own locking.
//
// Error mapping: a database held by another process beyond the busy timeout gives
// ERROR_SHARING_VIOLATION (what Windows answers when a hive file is in use by another
// process), a damaged one ERROR_BADDB, a full disk ERROR_DISK_FULL, any other I/O
// failure ERROR_REGISTRY_IO_FAILED.
//
// Every call holds Lock() while it uses the connection; the tables built on it take the
// same lock for each of their routines.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/wintypes.h"

struct sqlite3;
struct sqlite3_stmt;

namespace ze::sim {

inline constexpr LONG kErrorDiskFull = 112;           // ERROR_DISK_FULL
inline constexpr LONG kErrorBadDb = 1009;             // ERROR_BADDB
inline constexpr LONG kErrorRegistryIoFailed = 1016;  // ERROR_REGISTRY_IO_FAILED

class Database {
  public:
    // A database in memory, made with `schema`; nullptr when the schema fails.
    static std::unique_ptr<Database> InMemory(const char* schema);
    // Opens a database file (WAL mode, busy timeout). A file that is not yet ours (no
    // meta row 'format') gets `schema` when `create` is set and is refused otherwise.
    // Returns nullptr and sets *error (naming the file) when it cannot be opened, is not
    // a registry database, was written in a format newer than `format` (by a newer
    // program), or cannot be written; the file is then left as it was.
    static std::unique_ptr<Database> Open(const std::filesystem::path& file, bool create,
                                          const char* schema, int format, std::string* error);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // A prepared statement, owned by the database; nullptr with *error when the SQL
    // does not compile (a table missing, say).
    sqlite3_stmt* Prepare(const char* sql, std::string* error);
    bool HasTable(const char* name);

    // Runs body as one transaction: its changes commit together when it returns
    // ERROR_SUCCESS and are undone when it returns an error; a database failure inside
    // undoes them too and is returned instead. Transactions nest (an inner one joins
    // the outer, which decides).
    LONG Transaction(const std::function<LONG()>& body);
    // Runs body, which only reads, on one snapshot of the database under a shared
    // lock: other processes' readers and writer go on meanwhile. Nests like Transaction.
    LONG ReadTransaction(const std::function<LONG()>& body);
    LONG Exec(const char* sql);
    // Maps a SQLite result to the Win32 error; a failure inside a transaction also
    // dooms it.
    LONG Check(int result);
    std::int64_t LastInsertId();
    int Changes();

    // For a file filled once before anyone else opens it: no journal until
    // MakeDurable(), which puts the file in WAL mode for shared use.
    void BeginBulkLoad();
    LONG MakeDurable();
    // How long a call waits for another process's hold on the database.
    void SetBusyTimeout(std::chrono::milliseconds timeout);

    // Facts about the database itself (its format, the source a machine was imported from).
    std::optional<std::string> Meta(const std::string& name);
    LONG SetMeta(const std::string& name, const std::string& value);

    // Recursive: a transaction's body calls the tables' own routines, which take the
    // lock again on the same thread.
    std::unique_lock<std::recursive_mutex> Lock() {
        return std::unique_lock<std::recursive_mutex>(mutex_);
    }

  private:
    explicit Database(sqlite3* db);
    bool PrepareOwn(std::string* error);
    LONG Run(sqlite3_stmt* begin, const std::function<LONG()>& body);

    sqlite3* db_;
    std::vector<sqlite3_stmt*> statements_;
    sqlite3_stmt* begin_ = nullptr;
    sqlite3_stmt* beginRead_ = nullptr;
    sqlite3_stmt* commit_ = nullptr;
    sqlite3_stmt* rollback_ = nullptr;
    sqlite3_stmt* metaGet_ = nullptr;
    sqlite3_stmt* metaSet_ = nullptr;
    std::recursive_mutex mutex_;
    int depth_ = 0;    // transactions open
    LONG doomed_ = 0;  // the database error that will undo the open transaction
};

// One use of a prepared statement: binds its parameters, steps through its rows and
// resets it when it goes out of scope. The caller holds the database's lock.
class Query {
  public:
    Query(Database& database, sqlite3_stmt* statement)
        : database_(database), statement_(statement) {}
    ~Query();
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    Query& Bind(int index, std::int64_t number);
    Query& Bind(int index, std::span<const BYTE> bytes);
    // A name as its UTF-16LE bytes.
    Query& BindName(int index, std::u16string_view name);
    Query& BindText(int index, const std::string& text);
    // True for a row; false at the end or on failure (then Error() says which).
    bool Row();
    // Runs a statement that returns no rows.
    LONG Run();
    LONG Error() const { return error_; }

    std::int64_t Number(int column);
    std::vector<BYTE> Bytes(int column);
    std::u16string Name(int column);
    std::string Text(int column);

  private:
    Database& database_;
    sqlite3_stmt* statement_;
    LONG error_ = ERROR_SUCCESS;
};

}  // namespace ze::sim
