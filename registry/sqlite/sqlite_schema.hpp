// INTERNAL to the SQLite registry backend: the layout of a store file, how a
// file is recognised as one of ours, and how it is set up.
//
// A store file holds the hives of one directory. Table keys has one row per
// key (its name, class, volatility and last-write time); the four roots have
// the fixed ids 1 to 4 (SqliteRegistry::rootId) and
// parent 0. Table vals has one row per value, its id giving creation order.
// Table boot holds the id of the system's boot that last opened the file
// (platform/process.hpp bootId), so that volatile keys go with a restart.
// The header carries the application id "VRKR" and the layout's version.
//
// Thread safety: none; callers hold the registry's lock.
#pragma once

#include <cstdint>
#include <string>

#include "registry/sqlite/sqlite_db.hpp"

namespace vrk::reg::sqlitestore {

// "VRKR" in the database header marks our files.
constexpr std::int64_t kApplicationId = 0x56524B52;
// The layout of a store file of the hives of a directory: 6 adds an index
// that answers a walk of a key's subkeys (names in order) without reading
// the keys' rows; 5 records the boot of the system that last opened it; 4
// keeps each key's class, volatility
// and last-write time; 3 folds names as registry/name_folding.hpp says, 2
// folded a to z only.
constexpr std::int64_t kSchemaVersion = 6;
constexpr std::int64_t kFirstSchemaVersion = 2;
// The earlier layout: one file per hive, its root being id 0.
constexpr std::int64_t kOldHiveVersion = 1;

enum class Schema {
    ours,     // our layout, this version
    blank,    // an empty database: not set up yet
    older,    // our layout, an earlier version: brought up to date on first use
    oldHive,  // a hive file of the earlier one-file-per-hive layout
    newer,    // ours, written by a newer version
    foreign,  // anything else
};

// What the database db ("main" or an attached name) holds. The header is read
// in one read transaction, so a set-up by another process is seen whole or
// not at all.
Schema inspect(sqlitedb::Connection& c, const char* db = "main");

// Creates the tables and the roots' rows in an empty database; the caller
// holds a write transaction.
void createSchema(sqlitedb::Connection& c);

// Gives every key and value below the roots the folded name of this
// version, in a write transaction the caller holds. Where two names of one
// key fold alike, the first created gets the folded name and the other the
// byte-wise one (byteSortName), under which lookups still find it.
void refoldNames(sqlitedb::Connection& c);

// Gives every key without a last-write time (a key of an earlier version)
// the time now, in a write transaction the caller holds.
void giveKeysATime(sqlitedb::Connection& c);

// Brings a store file of an earlier version (Schema::older) up to date, in a
// transaction of its own; throws a Failure naming path when it cannot.
void bringUpToDate(sqlitedb::Connection& c, const std::string& path);

// Volatile keys last until the system restarts. When the file was last
// opened in another boot than boot, removes every volatile key with the
// keys and values below it, and records boot, in a write transaction of its
// own; returns whether it removed keys. A file with no boot recorded yet (new,
// or of an earlier version) keeps its keys and records boot. Nothing is done
// when boot is empty (the boot cannot be told) or the file is read-only
// (its volatile keys stay until a process that may write opens it).
bool forgetEarlierBoots(sqlitedb::Connection& c, const std::string& boot);

// Throws the kBadDb failure for a file at path that is not usable as s.
[[noreturn]] void refuse(const std::string& path, Schema s);

}  // namespace vrk::reg::sqlitestore
