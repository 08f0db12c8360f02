// RAII layer over SQLite's C API.
#include "registry/sqlite/sqlite_db.hpp"

#include <cstring>

namespace vrk::reg::sqlitedb {

namespace {

const char* const kStatementText[] = {
    // keyExists
    "SELECT 1 FROM keys WHERE id = ?1",
    // lookupChild: by the folded name, or the byte-wise one an earlier
    // version gave it (registry/name_folding.hpp), the smaller first. Two point
    // lookups: an IN list would build a temporary table on every run.
    "SELECT id FROM keys WHERE parent = ?1 AND sortname = min(?2, ?3) UNION ALL "
    "SELECT id FROM keys WHERE parent = ?1 AND sortname = max(?2, ?3) LIMIT 1",
    // insertKey
    "INSERT INTO keys(parent, name, sortname, keyclass, isvolatile, written) "
    "VALUES(?1, ?2, ?3, ?4, ?5, ?6)",
    // hasChild
    "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1",
    // deleteKeyRow
    "DELETE FROM keys WHERE id = ?1",
    // deleteKeyValues
    "DELETE FROM vals WHERE key = ?1",
    // childrenAtOffset: up to ?3 subkeys in order from index ?2
    "SELECT name, sortname, id FROM keys WHERE parent = ?1 ORDER BY sortname LIMIT ?3 OFFSET ?2",
    // childrenAfter: up to ?3 subkeys in order after the folded name ?2
    "SELECT name, sortname, id FROM keys WHERE parent = ?1 AND sortname > ?2 "
    "ORDER BY sortname LIMIT ?3",
    // childrenSummary: how many subkeys, and their highest id (from the
    // index on parent alone, which holds the ids)
    "SELECT count(*), coalesce(max(id), 0) FROM keys WHERE parent = ?1",
    // queryValue: as lookupChild
    "SELECT type, data FROM vals WHERE key = ?1 AND upname = min(?2, ?3) UNION ALL "
    "SELECT type, data FROM vals WHERE key = ?1 AND upname = max(?2, ?3) LIMIT 1",
    // upsertValue: a replaced value keeps its name, its place and its row
    "INSERT INTO vals(key, name, upname, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
    "ON CONFLICT(key, upname) DO UPDATE SET type = excluded.type, data = excluded.data",
    // deleteValue
    "DELETE FROM vals WHERE id = "
    "(SELECT id FROM vals WHERE key = ?1 AND upname = min(?2, ?3) UNION ALL "
    "SELECT id FROM vals WHERE key = ?1 AND upname = max(?2, ?3) LIMIT 1)",
    // valueAtOffset
    "SELECT id, name, type, data FROM vals INDEXED BY vals_order "
    "WHERE key = ?1 ORDER BY id LIMIT 1 OFFSET ?2",
    // valueFrom: the index on key holds the row ids in order
    "SELECT id, name, type, data FROM vals INDEXED BY vals_order "
    "WHERE key = ?1 AND id >= ?2 ORDER BY id LIMIT 1",
    // keyVolatile
    "SELECT isvolatile FROM keys WHERE id = ?1",
    // touchKey: a new last-write time
    "UPDATE keys SET written = ?2 WHERE id = ?1",
    // touchParent: the same for the parent of key ?1
    "UPDATE keys SET written = ?2 WHERE id = (SELECT parent FROM keys WHERE id = ?1)",
    // keyInfo
    "SELECT keyclass, written FROM keys WHERE id = ?1",
    // childrenInfo
    "SELECT name, keyclass FROM keys WHERE parent = ?1",
    // valuesInfo
    "SELECT name, type, data FROM vals WHERE key = ?1",
    // dataVersion
    "PRAGMA data_version",
    "BEGIN",
    "BEGIN IMMEDIATE",
    "COMMIT",
    "ROLLBACK",
    "SAVEPOINT call",
    "RELEASE call",
    "ROLLBACK TO call",
};
static_assert(sizeof(kStatementText) / sizeof(kStatementText[0]) ==
              static_cast<unsigned>(Sql::count_));

const char kEmpty[] = "";

}  // namespace

std::unique_ptr<Connection> Connection::open(const std::string& path, int flags) {
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        std::string message = path + ": " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
        int code = db ? sqlite3_extended_errcode(db) : rc;
        sqlite3_close_v2(db);
        throw SqlError{code, message};
    }
    sqlite3_extended_result_codes(db, 1);
    return std::unique_ptr<Connection>(new Connection(db, path));
}

Connection::~Connection() {
    for (sqlite3_stmt*& s : statements_) {
        sqlite3_finalize(s);
        s = nullptr;
    }
    sqlite3_close_v2(db_);
}

void Connection::fail(int rc) const { throw SqlError{rc, path_ + ": " + sqlite3_errmsg(db_)}; }

void Connection::exec(const char* sql) {
    int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) fail(rc);
}

int Connection::tryRun(Sql slot) {
    sqlite3_stmt* s = statement(slot);
    int rc = sqlite3_step(s);
    sqlite3_reset(s);
    return rc == SQLITE_DONE || rc == SQLITE_ROW ? SQLITE_OK : rc;
}

void Connection::run(Sql slot) {
    int rc = tryRun(slot);
    if (rc != SQLITE_OK) fail(rc);
}

std::int64_t Connection::queryInt(const char* sql) {
    sqlite3_stmt* s = nullptr;
    int rc = sqlite3_prepare_v2(db_, sql, -1, &s, nullptr);
    if (rc != SQLITE_OK) fail(rc);
    rc = sqlite3_step(s);
    std::int64_t value = 0;
    if (rc == SQLITE_ROW) {
        value = sqlite3_column_int64(s, 0);
    } else if (rc != SQLITE_DONE) {
        sqlite3_finalize(s);
        fail(rc);
    }
    sqlite3_finalize(s);
    return value;
}

void Connection::noteJournalMode() {
    walFile_ = nullptr;
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db_, "PRAGMA journal_mode", -1, &s, nullptr) != SQLITE_OK) return;
    bool wal = false;
    if (sqlite3_step(s) == SQLITE_ROW) {
        const unsigned char* mode = sqlite3_column_text(s, 0);
        wal = mode != nullptr && std::strcmp(reinterpret_cast<const char*>(mode), "wal") == 0;
    }
    sqlite3_finalize(s);
    sqlite3_file* file = nullptr;
    if (!wal || sqlite3_file_control(db_, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK)
        return;
    if (file != nullptr && file->pMethods != nullptr && file->pMethods->iVersion >= 2 &&
        file->pMethods->xShmMap != nullptr) {
        walFile_ = file;
    }
}

bool Connection::walIndexHeader(WalHeader& header) const {
    if (walFile_ == nullptr) return false;
    // Region 0 of the index, as this connection mapped it; never extended
    // here (a connection in WAL mode has mapped it by its first read).
    void volatile* region = nullptr;
    if (walFile_->pMethods->xShmMap(walFile_, 0, 32 * 1024, 0, &region) != SQLITE_OK ||
        region == nullptr) {
        return false;
    }
    // The header is kept twice: writers update the second copy, then the
    // first; reading the first, then the second, and finding them equal
    // gives a header no writer was changing (what SQLite's readers do).
    auto* words = const_cast<std::uint32_t*>(static_cast<volatile std::uint32_t*>(region));
    WalHeader second;
    // Acquire loads of the first copy keep the reads of the second after them.
    for (std::size_t i = 0; i < header.size(); ++i) {
        header[i] = __atomic_load_n(words + i, __ATOMIC_ACQUIRE);
    }
    for (std::size_t i = 0; i < second.size(); ++i) {
        second[i] = __atomic_load_n(words + header.size() + i, __ATOMIC_RELAXED);
    }
    // Byte 12 (isInit) is set once the header has been written.
    const bool initialised = (reinterpret_cast<const unsigned char*>(header.data())[12]) != 0;
    return initialised && header == second;
}

sqlite3_stmt* Connection::statement(Sql slot) {
    sqlite3_stmt*& s = statements_[static_cast<unsigned>(slot)];
    if (s == nullptr) {
        int rc = sqlite3_prepare_v3(db_, kStatementText[static_cast<unsigned>(slot)], -1,
                                    SQLITE_PREPARE_PERSISTENT, &s, nullptr);
        if (rc != SQLITE_OK) {
            s = nullptr;
            fail(rc);
        }
    }
    return s;
}

Use::Use(Connection& connection, Sql slot)
    : connection_(connection), statement_(connection.statement(slot)) {}

Use::~Use() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
}

Use& Use::bind(int index, std::int64_t value) {
    int rc = sqlite3_bind_int64(statement_, index, value);
    if (rc != SQLITE_OK) connection_.fail(rc);
    return *this;
}

Use& Use::bind(int index, std::string_view bytes) {
    // A null pointer would bind NULL; an empty value is a zero-length BLOB.
    const char* p = bytes.empty() ? kEmpty : bytes.data();
    int rc = sqlite3_bind_blob64(statement_, index, p, bytes.size(), SQLITE_STATIC);
    if (rc != SQLITE_OK) connection_.fail(rc);
    return *this;
}

bool Use::step() {
    int rc = sqlite3_step(statement_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    connection_.fail(rc);
}

std::int64_t Use::integer(int column) const { return sqlite3_column_int64(statement_, column); }

std::string_view Use::bytes(int column) const {
    const void* p = sqlite3_column_blob(statement_, column);
    int n = sqlite3_column_bytes(statement_, column);
    if (p == nullptr || n <= 0) return {};
    return {static_cast<const char*>(p), static_cast<std::size_t>(n)};
}

int Use::changes() const { return sqlite3_changes(connection_.db()); }

Transaction::Transaction(Connection& connection, bool immediate)
    : connection_(connection), nested_(connection.inTransaction()), open_(false) {
    if (nested_) {
        connection_.run(Sql::savepoint);
    } else {
        connection_.run(immediate ? Sql::beginImmediate : Sql::begin);
    }
    open_ = true;
}

Transaction::~Transaction() {
    if (!open_) return;
    // Errors here leave nothing to report: the call already failed.
    if (nested_) {
        if (connection_.tryRun(Sql::rollbackTo) == SQLITE_OK) connection_.tryRun(Sql::release);
    } else if (connection_.inTransaction()) {
        connection_.tryRun(Sql::rollback);
    }
}

void Transaction::commit() {
    connection_.run(nested_ ? Sql::release : Sql::commit);
    open_ = false;
}

}  // namespace vrk::reg::sqlitedb
