// A small RAII layer over SQLite's C API for the registry store: a connection
// with a table of prepared statements, one use of a statement, and a
// transaction (or a savepoint inside an open transaction).
//
// Failures throw SqlError carrying SQLite's result code and a message that
// names the database file. Thread safety: none; the registry guards each
// connection with its own lock.
#pragma once

#include <sqlite3.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>
#include <string_view>

namespace vrk::reg::sqlitedb {

// A failed SQLite call: its (extended) result code and "<file>: <message>".
struct SqlError {
    int code;
    std::string message;
    // The primary result code (SQLITE_BUSY, SQLITE_CORRUPT, ...).
    int primary() const { return code & 0xff; }
};

// The index header of a write-ahead log (its first copy, 48 bytes).
using WalHeader = std::array<std::uint32_t, 12>;

// The prepared statements a connection keeps, one slot each.
enum class Sql : unsigned {
    keyExists,
    lookupChild,
    insertKey,
    hasChild,
    deleteKeyRow,
    deleteKeyValues,
    childrenAtOffset,
    childrenAfter,
    childrenSummary,
    queryValue,
    upsertValue,
    deleteValue,
    valueAtOffset,
    valueFrom,
    keyVolatile,
    touchKey,
    touchParent,
    keyInfo,
    childrenInfo,
    valuesInfo,
    dataVersion,
    keyParent,
    // transaction control, prepared once like the rest
    begin,
    beginImmediate,
    commit,
    rollback,
    savepoint,
    release,
    rollbackTo,
    count_
};

class Connection {
public:
    // Opens path with SQLite's open flags; throws SqlError on failure.
    static std::unique_ptr<Connection> open(const std::string& path, int flags);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    sqlite3* db() const { return db_; }
    const std::string& path() const { return path_; }

    // Runs SQL text without results; throws SqlError.
    void exec(const char* sql);
    // Runs a prepared statement without bindings or results; throws SqlError.
    void run(Sql slot);
    // The same without throwing: SQLite's result code.
    int tryRun(Sql slot);
    // The first column of the first row of sql as an integer (0 without a row).
    std::int64_t queryInt(const char* sql);
    // The prepared statement of a slot, prepared on first use.
    sqlite3_stmt* statement(Sql slot);
    // True while a transaction is open on this connection.
    bool inTransaction() const { return sqlite3_get_autocommit(db_) == 0; }
    // True when SQLite opened the file read-only (write-protected file or medium).
    bool readOnly() const { return sqlite3_db_readonly(db_, "main") == 1; }
    // Changes made through this connection since it was opened.
    std::int64_t totalChanges() const { return sqlite3_total_changes64(db_); }
    // Notes whether the file is in WAL mode (walIndexHeader answers only
    // then); called once the file is set up.
    void noteJournalMode();
    // Copies the header of the log's index from the shared memory every
    // connection maps, without a lock: a reader starting a transaction
    // checks the same header, and every commit (and every restart of the
    // log) changes it, so an equal header means nothing was committed in
    // between. False when the file is not in WAL mode, the index is not
    // mapped or is read-only here, or a writer was changing the header at
    // that moment (its two copies differ): the caller then asks SQLite.
    bool walIndexHeader(WalHeader& header) const;
    // Whether walIndexHeader would give header now: the same reads, compared
    // as they go, for a caller that holds a header read earlier. False
    // where walIndexHeader would answer false.
    bool walIndexHeaderIs(const WalHeader& header) const;

    // What is read of the keys (which exist, their names and parents) can
    // be carried across this connection's own commits, given the keys they
    // added and removed. keySetGeneration names the keys as they stand at
    // header (the log's index header read before the keys were read). Each
    // commit of this connection that comes right after the last header so
    // named (the header's commit count one higher: no other connection
    // committed in between) keeps the generation for the header it leaves
    // and adds the ids of the keys it added and removed to keyChanges.
    // carriedChanges(now, generation) gives those ids while the generation
    // reaches now and no key change of this connection is pending; null
    // otherwise, and always outside WAL mode. Generation numbers are unique
    // within the process.
    struct KeyChanges {
        std::vector<std::int64_t> added;
        std::vector<std::int64_t> removed;
    };
    std::uint64_t keySetGeneration(const WalHeader& header);
    const KeyChanges* carriedChanges(const WalHeader& now, std::uint64_t generation) const {
        return generation != 0 && generation == keySetGeneration_ && !keysWritten_ &&
                       now == keySetHeader_
                   ? &keyChanges_
                   : nullptr;
    }

    // Throws the connection's current error for result code rc.
    [[noreturn]] void fail(int rc) const;

private:
    Connection(sqlite3* db, std::string path) : db_(db), path_(std::move(path)) {}
    static void rowChanged(void* self, int op, const char* db, const char* table,
                           sqlite3_int64 rowid);
    static int committed(void* self, sqlite3* db, const char* name, int frames);

    sqlite3* db_;
    std::string path_;
    sqlite3_file* walFile_ = nullptr;             // the main file, when it is in WAL mode
    mutable void volatile* shmRegion_ = nullptr;  // region 0 of its index, once mapped
    bool keysWritten_ = false;  // rows of keys added or removed since the last commit
    KeyChanges pending_;        // their ids
    std::uint64_t keySetGeneration_ = 0;
    WalHeader keySetHeader_{};
    KeyChanges keyChanges_;  // committed since the generation began
    sqlite3_stmt* statements_[static_cast<unsigned>(Sql::count_)] = {};
};

// One execution of a prepared statement: bind, step, read columns. The
// statement is reset and its bindings cleared when the use ends.
class Use {
public:
    Use(Connection& connection, Sql slot);
    ~Use();
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;

    Use& bind(int index, std::int64_t value);
    Use& bind(int index, std::string_view bytes);  // bound as a BLOB
    // Steps once: true with a row, false when done; throws SqlError.
    bool step();
    std::int64_t integer(int column) const;
    std::string_view bytes(int column) const;
    // Rows changed by the statement just run.
    int changes() const;

private:
    Connection& connection_;
    sqlite3_stmt* statement_;
};

// A transaction on a connection: BEGIN (or BEGIN IMMEDIATE for a caller that
// will write), or a savepoint when the connection is already inside one (a
// batch). Rolled back when destroyed without commit().
class Transaction {
public:
    Transaction(Connection& connection, bool immediate);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void commit();

private:
    Connection& connection_;
    bool nested_;
    bool open_;
};

}  // namespace vrk::reg::sqlitedb
