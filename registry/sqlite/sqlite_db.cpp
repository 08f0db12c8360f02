// RAII layer over SQLite's C API.
#include "registry/sqlite/sqlite_db.hpp"

#include <atomic>
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
    // keyParent
    "SELECT parent FROM keys WHERE id = ?1",
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

// The word of the log's index header that counts commits.
constexpr std::size_t kWalChangeCount = 2;
// SQLite's default of pages in the log after which a commit checkpoints.
constexpr int kAutoCheckpointPages = 1000;
// How many key ids a generation of the keys collects before it ends.
constexpr std::size_t kMaxKeyChanges = 256;

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
    std::unique_ptr<Connection> c(new Connection(db, path));
    sqlite3_update_hook(db, &Connection::rowChanged, c.get());
    sqlite3_wal_hook(db, &Connection::committed, c.get());
    return c;
}

void Connection::rowChanged(void* self, int op, const char*, const char* table,
                            sqlite3_int64 rowid) {
    // Updates leave a key's name and parent as they were (the one that
    // does not, an upgrade folding names anew, runs before anything is read
    // through the connection); only added and removed rows change which
    // keys there are.
    if (op == SQLITE_UPDATE || std::strcmp(table, "keys") != 0) return;
    auto* c = static_cast<Connection*>(self);
    c->keysWritten_ = true;
    (op == SQLITE_INSERT ? c->pending_.added : c->pending_.removed).push_back(rowid);
}

int Connection::committed(void* self, sqlite3* db, const char* name, int frames) {
    auto* c = static_cast<Connection*>(self);
    // The write lock is released by now: a header whose commit count is
    // more than one past the last named one shows another connection's
    // commit, before or after this one.
    WalHeader now;
    KeyChanges& kept = c->keyChanges_;
    if (c->keySetGeneration_ != 0 && c->walIndexHeader(now) &&
        now[kWalChangeCount] == c->keySetHeader_[kWalChangeCount] + 1 &&
        kept.added.size() + kept.removed.size() + c->pending_.added.size() +
                c->pending_.removed.size() <=
            kMaxKeyChanges) {
        c->keySetHeader_ = now;
        kept.added.insert(kept.added.end(), c->pending_.added.begin(), c->pending_.added.end());
        kept.removed.insert(kept.removed.end(), c->pending_.removed.begin(),
                            c->pending_.removed.end());
    } else {
        c->keySetGeneration_ = 0;
    }
    c->pending_ = KeyChanges{};
    c->keysWritten_ = false;
    // What SQLite does after a commit when no hook of its own is set: a
    // checkpoint, as far as it goes without waiting, once the log holds
    // its default number of pages.
    if (frames >= kAutoCheckpointPages) (void)sqlite3_wal_checkpoint(db, name);
    return SQLITE_OK;
}

std::uint64_t Connection::keySetGeneration(const WalHeader& header) {
    static std::atomic<std::uint64_t> generations{0};
    if (walFile_ == nullptr || keysWritten_) return 0;
    if (keySetGeneration_ == 0 || header != keySetHeader_) {
        keySetGeneration_ = generations.fetch_add(1, std::memory_order_relaxed) + 1;
        keySetHeader_ = header;
        keyChanges_ = KeyChanges{};
    }
    return keySetGeneration_;
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
    shmRegion_ = nullptr;
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
    // here (a connection in WAL mode has mapped it by its first read). The
    // mapping stays where it is until the connection leaves WAL mode or
    // closes, so it is asked for once.
    void volatile* region = shmRegion_;
    if (region == nullptr) {
        if (walFile_->pMethods->xShmMap(walFile_, 0, 32 * 1024, 0, &region) != SQLITE_OK ||
            region == nullptr) {
            return false;
        }
        shmRegion_ = region;
    }
    // The header is kept twice: writers update the second copy, then the
    // first; reading the first, then the second, and finding them equal
    // gives a header no writer was changing (what SQLite's readers do).
    // Read as 64-bit words (the region is page-aligned): half the loads.
    auto* words = const_cast<std::uint64_t*>(static_cast<volatile std::uint64_t*>(region));
    constexpr std::size_t kWords = sizeof(WalHeader) / sizeof(std::uint64_t);
    std::uint64_t first[kWords];
    // Acquire loads of the first copy keep the reads of the second after them.
    for (std::size_t i = 0; i < kWords; ++i)
        first[i] = __atomic_load_n(words + i, __ATOMIC_ACQUIRE);
    std::uint64_t differ = 0;
    for (std::size_t i = 0; i < kWords; ++i) {
        differ |= first[i] ^ __atomic_load_n(words + kWords + i, __ATOMIC_RELAXED);
    }
    std::memcpy(header.data(), first, sizeof first);
    // Byte 12 (isInit) is set once the header has been written.
    const bool initialised = (reinterpret_cast<const unsigned char*>(header.data())[12]) != 0;
    return initialised && differ == 0;
}

bool Connection::walIndexHeaderIs(const WalHeader& header) const {
    // Only once walIndexHeader has mapped the region (it is asked for first).
    void volatile* region = shmRegion_;
    if (walFile_ == nullptr || region == nullptr) return false;
    // A header walIndexHeader gave has its isInit byte set.
    if (reinterpret_cast<const unsigned char*>(header.data())[12] == 0) return false;
    auto* words = const_cast<std::uint64_t*>(static_cast<volatile std::uint64_t*>(region));
    const auto* want = reinterpret_cast<const unsigned char*>(header.data());
    constexpr std::size_t kWords = sizeof(WalHeader) / sizeof(std::uint64_t);
    // The first copy equal to header (read with acquire, as walIndexHeader
    // does), then the second equal to it: no writer was changing them.
    std::uint64_t differ = 0;
#pragma GCC unroll 6
    for (std::size_t i = 0; i < kWords; ++i) {
        std::uint64_t w;
        std::memcpy(&w, want + 8 * i, 8);
        differ |= __atomic_load_n(words + i, __ATOMIC_ACQUIRE) ^ w;
    }
#pragma GCC unroll 6
    for (std::size_t i = 0; i < kWords; ++i) {
        std::uint64_t w;
        std::memcpy(&w, want + 8 * i, 8);
        differ |= __atomic_load_n(words + kWords + i, __ATOMIC_RELAXED) ^ w;
    }
    return differ == 0;
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
