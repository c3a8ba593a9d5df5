#include "platform/sim/database.h"

#include <sqlite3.h>

#include <cstring>

namespace ze::sim {
namespace {

constexpr int kDefaultBusyTimeoutMs = 5000;

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

// ---- opening ----

Database::Database(sqlite3* db) : db_(db) {
    sqlite3_busy_timeout(db_, kDefaultBusyTimeoutMs);
}

Database::~Database() {
    for (sqlite3_stmt* statement : statements_)
        sqlite3_finalize(statement);
    sqlite3_close(db_);
}

sqlite3_stmt* Database::Prepare(const char* sql, std::string* error) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) !=
        SQLITE_OK) {
        *error = sqlite3_errmsg(db_);
        return nullptr;
    }
    statements_.push_back(statement);
    return statement;
}

bool Database::PrepareOwn(std::string* error) {
    return (begin_ = Prepare("BEGIN IMMEDIATE", error)) != nullptr &&
           (beginRead_ = Prepare("BEGIN DEFERRED", error)) != nullptr &&
           (commit_ = Prepare("COMMIT", error)) != nullptr &&
           (rollback_ = Prepare("ROLLBACK", error)) != nullptr &&
           (metaGet_ = Prepare("SELECT value FROM meta WHERE name = ?1", error)) != nullptr &&
           (metaSet_ = Prepare("INSERT OR REPLACE INTO meta(name, value) VALUES(?1, ?2)", error)) !=
               nullptr;
}

bool Database::HasTable(const char* name) {
    auto lock = Lock();
    sqlite3_stmt* probe = nullptr;
    bool found =
        sqlite3_prepare_v2(db_, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?1",
                           -1, &probe, nullptr) == SQLITE_OK &&
        sqlite3_bind_text(probe, 1, name, -1, SQLITE_STATIC) == SQLITE_OK &&
        sqlite3_step(probe) == SQLITE_ROW;
    sqlite3_finalize(probe);
    return found;
}

std::unique_ptr<Database> Database::InMemory(const char* schema) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    std::unique_ptr<Database> database(new Database(db));
    std::string error;
    if (sqlite3_exec(db, schema, nullptr, nullptr, nullptr) != SQLITE_OK ||
        !database->PrepareOwn(&error)) {
        return nullptr;
    }
    return database;
}

std::unique_ptr<Database> Database::Open(const std::filesystem::path& file, bool create,
                                         const char* schema, int format, std::string* error) {
    sqlite3* db = nullptr;
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
    int result = sqlite3_open_v2(file.c_str(), &db, flags, nullptr);
    std::unique_ptr<Database> database(new Database(db));
    auto fail = [&](const std::string& why) -> std::unique_ptr<Database> {
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
    int written = ours ? sqlite3_column_int(probe, 0) : 0;
    sqlite3_finalize(probe);
    if (!ours && !create)
        return fail("not a registry database (it holds no registry)");
    if (written > format) {
        return fail("written by a newer version of the program (format " + std::to_string(written) +
                    "; this one reads format " + std::to_string(format) +
                    " and older); it is left untouched");
    }
    result = sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", nullptr,
                          nullptr, nullptr);
    if (result == SQLITE_OK && !ours)
        result = sqlite3_exec(db, schema, nullptr, nullptr, nullptr);
    if (result != SQLITE_OK) {
        return fail(result == SQLITE_READONLY || result == SQLITE_CANTOPEN
                        ? "cannot be written (read-only file or file system)"
                        : std::string("cannot be used: ") + sqlite3_errmsg(db));
    }
    std::string why;
    if (!database->PrepareOwn(&why))
        return fail("not a registry database (" + why + ")");
    return database;
}

void Database::BeginBulkLoad() {
    auto lock = Lock();
    sqlite3_exec(db_, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;", nullptr, nullptr,
                 nullptr);
}

LONG Database::MakeDurable() {
    auto lock = Lock();
    return Exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;");
}

void Database::SetBusyTimeout(std::chrono::milliseconds timeout) {
    auto lock = Lock();
    sqlite3_busy_timeout(db_, static_cast<int>(timeout.count()));
}

// ---- errors and transactions ----

LONG Database::Check(int result) {
    LONG error = Win32ErrorOf(result);
    if (error != ERROR_SUCCESS && depth_ > 0 && doomed_ == ERROR_SUCCESS)
        doomed_ = error;
    return error;
}

LONG Database::Exec(const char* sql) {
    auto lock = Lock();
    return Check(sqlite3_exec(db_, sql, nullptr, nullptr, nullptr));
}

std::int64_t Database::LastInsertId() {
    return sqlite3_last_insert_rowid(db_);
}

int Database::Changes() {
    return sqlite3_changes(db_);
}

LONG Database::Transaction(const std::function<LONG()>& body) {
    return Run(begin_, body);
}

LONG Database::ReadTransaction(const std::function<LONG()>& body) {
    return Run(beginRead_, body);
}

LONG Database::Run(sqlite3_stmt* begin, const std::function<LONG()>& body) {
    auto lock = Lock();
    if (depth_ > 0)
        return body();
    if (LONG error = Query(*this, begin).Run())
        return error;
    ++depth_;
    doomed_ = ERROR_SUCCESS;
    LONG result = body();
    --depth_;
    if (doomed_ != ERROR_SUCCESS)
        result = doomed_;
    if (result == ERROR_SUCCESS)
        result = Query(*this, commit_).Run();
    if (result != ERROR_SUCCESS)
        Query(*this, rollback_).Run();
    return result;
}

// ---- meta ----

std::optional<std::string> Database::Meta(const std::string& name) {
    auto lock = Lock();
    Query query(*this, metaGet_);
    query.BindText(1, name);
    if (!query.Row())
        return std::nullopt;
    return query.Text(0);
}

LONG Database::SetMeta(const std::string& name, const std::string& value) {
    auto lock = Lock();
    return Transaction(
        [&] { return Query(*this, metaSet_).BindText(1, name).BindText(2, value).Run(); });
}

// ---- Query ----

Query::~Query() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
}

Query& Query::Bind(int index, std::int64_t number) {
    sqlite3_bind_int64(statement_, index, number);
    return *this;
}

Query& Query::Bind(int index, std::span<const BYTE> bytes) {
    // A null pointer would bind NULL rather than an empty blob.
    static const BYTE kEmpty = 0;
    sqlite3_bind_blob(statement_, index, bytes.empty() ? &kEmpty : bytes.data(),
                      static_cast<int>(bytes.size()), SQLITE_STATIC);
    return *this;
}

Query& Query::BindName(int index, std::u16string_view name) {
    return Bind(index,
                std::span<const BYTE>(reinterpret_cast<const BYTE*>(name.data()), name.size() * 2));
}

Query& Query::BindText(int index, const std::string& text) {
    sqlite3_bind_text(statement_, index, text.c_str(), static_cast<int>(text.size()),
                      SQLITE_STATIC);
    return *this;
}

bool Query::Row() {
    int result = sqlite3_step(statement_);
    if (result == SQLITE_ROW)
        return true;
    error_ = database_.Check(result);
    return false;
}

LONG Query::Run() {
    while (Row()) {
    }
    return error_;
}

std::int64_t Query::Number(int column) {
    return sqlite3_column_int64(statement_, column);
}

std::vector<BYTE> Query::Bytes(int column) {
    const BYTE* bytes = static_cast<const BYTE*>(sqlite3_column_blob(statement_, column));
    int size = sqlite3_column_bytes(statement_, column);
    return bytes == nullptr ? std::vector<BYTE>() : std::vector<BYTE>(bytes, bytes + size);
}

std::u16string Query::Name(int column) {
    const void* bytes = sqlite3_column_blob(statement_, column);
    std::u16string name(static_cast<std::size_t>(sqlite3_column_bytes(statement_, column)) / 2,
                        u'\0');
    if (!name.empty())
        std::memcpy(name.data(), bytes, name.size() * 2);
    return name;
}

std::string Query::Text(int column) {
    const unsigned char* text = sqlite3_column_text(statement_, column);
    return text == nullptr ? std::string() : reinterpret_cast<const char*>(text);
}

}  // namespace ze::sim
