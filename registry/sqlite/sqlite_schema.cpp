// The layout of a store file: recognising it and setting it up.
#include "registry/sqlite/sqlite_schema.hpp"

#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "registry/name_folding.hpp"
#include "registry/sqlite/sqlite_registry_support.hpp"

namespace vrk::reg::sqlitestore {

namespace {

const char kSchema[] =
    "CREATE TABLE keys("
    "  id INTEGER PRIMARY KEY AUTOINCREMENT,"  // never reused: stale handles stay stale
    "  parent INTEGER NOT NULL,"               // 0 for the roots
    "  name BLOB NOT NULL,"                    // as created
    "  sortname BLOB NOT NULL,"                // the folded name: lookup and order
    "  keyclass BLOB NOT NULL DEFAULT X'',"    // as created
    "  isvolatile INTEGER NOT NULL DEFAULT 0,"
    "  written INTEGER NOT NULL DEFAULT 0,"  // the last-write time, a FILETIME
    "  UNIQUE(parent, sortname));"
    "CREATE TABLE vals("
    "  id INTEGER PRIMARY KEY,"  // creation order
    "  key INTEGER NOT NULL,"
    "  name BLOB NOT NULL,"
    "  upname BLOB NOT NULL,"
    "  type INTEGER NOT NULL,"
    "  data BLOB NOT NULL,"
    "  UNIQUE(key, upname));"
    "CREATE INDEX vals_order ON vals(key);"
    "CREATE INDEX keys_walk ON keys(parent, sortname, name);"
    "CREATE TABLE boot(id BLOB NOT NULL);"
    // The roots, in the order of their predefined handles.
    "INSERT INTO keys(id, parent, name, sortname) VALUES"
    "  (1, 0, 'HKEY_CLASSES_ROOT', 'HKEY_CLASSES_ROOT'),"
    "  (2, 0, 'HKEY_CURRENT_USER', 'HKEY_CURRENT_USER'),"
    "  (3, 0, 'HKEY_LOCAL_MACHINE', 'HKEY_LOCAL_MACHINE'),"
    "  (4, 0, 'HKEY_USERS', 'HKEY_USERS');"
    "PRAGMA application_id = 1448233810;";  // kApplicationId

Schema inspectHeader(sqlitedb::Connection& c, const char* db) {
    char sql[64];
    std::snprintf(sql, sizeof sql, "PRAGMA %s.application_id", db);
    std::int64_t app = c.queryInt(sql);
    std::snprintf(sql, sizeof sql, "PRAGMA %s.user_version", db);
    std::int64_t version = c.queryInt(sql);
    if (app == kApplicationId) {
        if (version == kSchemaVersion) return Schema::ours;
        if (version >= kFirstSchemaVersion && version < kSchemaVersion) return Schema::older;
        if (version == kOldHiveVersion) return Schema::oldHive;
        return version > kSchemaVersion ? Schema::newer : Schema::foreign;
    }
    std::snprintf(sql, sizeof sql, "SELECT count(*) FROM %s.sqlite_master", db);
    if (app == 0 && version == 0 && c.queryInt(sql) == 0) return Schema::blank;
    return Schema::foreign;
}

}  // namespace

Schema inspect(sqlitedb::Connection& c, const char* db) {
    c.exec("SAVEPOINT inspect");
    Schema s;
    try {
        s = inspectHeader(c, db);
    } catch (...) {
        c.exec("RELEASE inspect");
        throw;
    }
    c.exec("RELEASE inspect");
    return s;
}

void createSchema(sqlitedb::Connection& c) {
    c.exec(kSchema);
    giveKeysATime(c);
    char sql[48];
    std::snprintf(sql, sizeof sql, "PRAGMA user_version = %lld",
                  static_cast<long long>(kSchemaVersion));
    c.exec(sql);
}

namespace {

// A statement prepared for one use.
class Statement {
public:
    Statement(sqlitedb::Connection& c, const char* sql) : c_(c) {
        int rc = sqlite3_prepare_v2(c.db(), sql, -1, &s_, nullptr);
        if (rc != SQLITE_OK) c.fail(rc);
    }
    ~Statement() { sqlite3_finalize(s_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    sqlite3_stmt* get() const { return s_; }
    // Steps once: true with a row; throws SqlError.
    bool step() {
        int rc = sqlite3_step(s_);
        if (rc == SQLITE_ROW) return true;
        if (rc != SQLITE_DONE) c_.fail(rc);
        return false;
    }
    void reset() {
        sqlite3_reset(s_);
        sqlite3_clear_bindings(s_);
    }

private:
    sqlitedb::Connection& c_;
    sqlite3_stmt* s_ = nullptr;
};

// Pass two of refoldNames for one table: each row, in creation order, gets
// its folded name, or its byte-wise one where that is taken.
void refoldTable(sqlitedb::Connection& c, const char* select, const char* update) {
    std::vector<std::pair<std::int64_t, std::string>> rows;
    {
        Statement all(c, select);
        while (all.step()) {
            const void* p = sqlite3_column_blob(all.get(), 1);
            int n = sqlite3_column_bytes(all.get(), 1);
            rows.emplace_back(sqlite3_column_int64(all.get(), 0),
                              std::string(p ? static_cast<const char*>(p) : "",
                                          static_cast<std::size_t>(n > 0 ? n : 0)));
        }
    }
    Statement set(c, update);
    for (const auto& [id, name] : rows) {
        for (const std::string& folded : {sortName(name), byteSortName(name)}) {
            sqlite3_bind_blob64(set.get(), 1, folded.data(), folded.size(), SQLITE_STATIC);
            sqlite3_bind_int64(set.get(), 2, id);
            int rc = sqlite3_step(set.get());
            int code = sqlite3_extended_errcode(c.db());
            set.reset();
            if (rc == SQLITE_DONE) break;
            if ((rc & 0xff) != SQLITE_CONSTRAINT || folded[0] == kBytesTag) c.fail(code);
        }
    }
}

}  // namespace

void refoldNames(sqlitedb::Connection& c) {
    // Pass one sets every folded name apart, so that pass two meets only
    // names it has already given.
    c.exec(
        "UPDATE keys SET sortname = X'03' || sortname WHERE parent != 0;"
        "UPDATE vals SET upname = X'03' || upname;");
    refoldTable(c, "SELECT id, name FROM keys WHERE parent != 0 ORDER BY id",
                "UPDATE keys SET sortname = ?1 WHERE id = ?2");
    refoldTable(c, "SELECT id, name FROM vals ORDER BY id",
                "UPDATE vals SET upname = ?1 WHERE id = ?2");
}

void giveKeysATime(sqlitedb::Connection& c) {
    char sql[80];
    std::snprintf(sql, sizeof sql, "UPDATE keys SET written = %lld WHERE written = 0",
                  static_cast<long long>(fileTimeNow()));
    c.exec(sql);
}

void bringUpToDate(sqlitedb::Connection& c, const std::string& path) {
    try {
        sqlitedb::Transaction t(c, true);
        if (inspect(c) == Schema::older) {
            const std::int64_t version = c.queryInt("PRAGMA user_version");
            if (version < 3) refoldNames(c);
            // A file that has the columns already (set back to an earlier
            // version by hand, or by a test) keeps them.
            if (version < 4 && c.queryInt("SELECT count(*) FROM pragma_table_info('keys') "
                                          "WHERE name = 'written'") == 0) {
                c.exec(
                    "ALTER TABLE keys ADD COLUMN keyclass BLOB NOT NULL DEFAULT X'';"
                    "ALTER TABLE keys ADD COLUMN isvolatile INTEGER NOT NULL DEFAULT 0;"
                    "ALTER TABLE keys ADD COLUMN written INTEGER NOT NULL DEFAULT 0;");
                giveKeysATime(c);
            }
            if (version < 5) c.exec("CREATE TABLE IF NOT EXISTS boot(id BLOB NOT NULL);");
            if (version < 6)
                c.exec("CREATE INDEX IF NOT EXISTS keys_walk ON keys(parent, sortname, name);");
            char sql[48];
            std::snprintf(sql, sizeof sql, "PRAGMA user_version = %lld",
                          static_cast<long long>(kSchemaVersion));
            c.exec(sql);
        }
        t.commit();
    } catch (const SqlError& e) {
        throw Failure{errorFor(e), path +
                                       ": a registry store of an earlier version, brought "
                                       "up to date by its first use with write access: " +
                                       e.message};
    }
}

namespace {

// The boot recorded in the file, or nothing.
std::optional<std::string> recordedBoot(sqlitedb::Connection& c) {
    Statement s(c, "SELECT id FROM boot LIMIT 1");
    if (!s.step()) return std::nullopt;
    const void* p = sqlite3_column_blob(s.get(), 0);
    const int n = sqlite3_column_bytes(s.get(), 0);
    return std::string(p ? static_cast<const char*>(p) : "",
                       static_cast<std::size_t>(n > 0 ? n : 0));
}

}  // namespace

bool forgetEarlierBoots(sqlitedb::Connection& c, const std::string& boot) {
    if (boot.empty() || recordedBoot(c) == boot || c.readOnly()) return false;
    sqlitedb::Transaction t(c, true);
    // Another process may have been first.
    const std::optional<std::string> before = recordedBoot(c);
    if (before == boot) return false;
    bool removed = false;
    if (before && c.queryInt("SELECT count(*) FROM keys WHERE isvolatile != 0") != 0) {
        // A key below a volatile key is volatile too; the walk takes the
        // whole subtree all the same.
        c.exec(
            "WITH RECURSIVE gone(id) AS (SELECT id FROM keys WHERE isvolatile != 0"
            "  UNION SELECT keys.id FROM keys JOIN gone ON keys.parent = gone.id)"
            " DELETE FROM vals WHERE key IN gone;"
            "WITH RECURSIVE gone(id) AS (SELECT id FROM keys WHERE isvolatile != 0"
            "  UNION SELECT keys.id FROM keys JOIN gone ON keys.parent = gone.id)"
            " DELETE FROM keys WHERE id IN gone;");
        removed = true;
    }
    c.exec("DELETE FROM boot");
    Statement record(c, "INSERT INTO boot(id) VALUES(?1)");
    sqlite3_bind_blob64(record.get(), 1, boot.data(), boot.size(), SQLITE_STATIC);
    record.step();
    t.commit();
    return removed;
}

void refuse(const std::string& path, Schema s) {
    const char* why = ": not a registry store (a foreign SQLite database)";
    if (s == Schema::newer) why = ": the registry store was written by a newer version";
    if (s == Schema::oldHive) {
        why =
            ": a registry hive of the earlier one-file-per-hive layout, where a store "
            "file is expected";
    }
    throw Failure{kBadDb, path + why};
}

}  // namespace vrk::reg::sqlitestore
