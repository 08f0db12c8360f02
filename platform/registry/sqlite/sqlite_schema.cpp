// The layout of a store file: recognising it and setting it up.
#include "platform/registry/sqlite/sqlite_schema.hpp"

#include <cstdio>

#include "platform/registry/sqlite/sqlite_registry_support.hpp"

namespace vrk::reg::sqlitestore {

namespace {

const char kSchema[] =
    "CREATE TABLE keys("
    "  id INTEGER PRIMARY KEY AUTOINCREMENT,"  // never reused: stale handles stay stale
    "  parent INTEGER NOT NULL,"               // 0 for the roots
    "  name BLOB NOT NULL,"                    // as created
    "  sortname BLOB NOT NULL,"                // the folded name: lookup and order
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
    char sql[48];
    std::snprintf(sql, sizeof sql, "PRAGMA user_version = %lld",
                  static_cast<long long>(kSchemaVersion));
    c.exec(sql);
}

void refuse(const std::string& path, Schema s) {
    const char* why = ": not a registry store (a foreign SQLite database)";
    if (s == Schema::newer) why = ": the registry store was written by a newer version";
    if (s == Schema::oldHive) {
        why = ": a registry hive of the earlier one-file-per-hive layout, where a store "
              "file is expected";
    }
    throw Failure{kBadDb, path + why};
}

}  // namespace vrk::reg::sqlitestore
