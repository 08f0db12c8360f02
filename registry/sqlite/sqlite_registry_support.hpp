// INTERNAL to the SQLite registry backend: included only by the
// registry/sqlite/sqlite_registry*.cpp files that implement
// SqliteRegistry, never by its users. What those files share: the busy-retry
// limits, the mapping of SQLite's errors to registry error numbers, the key
// lookup helpers, and the member templates that wrap every call (guarded,
// which is store_call.hpp's guardedCall with SQLite's errors as failures)
// and every read or write transaction on a hive (withRead, withWrite).
//
// Thread safety: the helpers keep no state but the calling thread's failure
// detail; the member templates run under the registry's lock.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>

#include "registry/sqlite/sqlite_db.hpp"
#include "registry/registry_result.hpp"
#include "registry/registry_rules.hpp"
#include "registry/name_folding.hpp"
#include "registry/sqlite/sqlite_registry.hpp"
#include "registry/store_call.hpp"

namespace vrk::reg {

using sqlitedb::Connection;
using sqlitedb::Sql;
using sqlitedb::SqlError;
using sqlitedb::Transaction;
using sqlitedb::Use;

namespace sqlitestore {

// Busy handling: SQLite waits up to kBusyWaitMs inside a call; a call that
// still finds the store busy is retried from the start, kBusyRetries times.
constexpr int kBusyWaitMs = 2000;
constexpr int kBusyRetries = 15;

using vrk::reg::Failure;

// The registry error number for a failed SQLite call.
long errorFor(const SqlError& e);

// Whether the call failed because another connection held the store.
bool isBusy(const SqlError& e);

// Waits a little longer after each busy attempt.
void pause(int attempt);

// The failure of a call that found the store file at path busy from since
// until it gave up: how long it waited and, where the system tells, which
// process holds the store's write lock.
Failure stayedBusy(const std::string& path, std::chrono::steady_clock::time_point since);

// Counts the forks of this process (in each child, once a store object has
// registered the counting), so that a call finds out whether it runs in a
// forked child without asking the kernel for the process id every time.
extern std::atomic<unsigned> forkCount;

// Whether something exists at path.
bool fileExists(const std::string& path);

// Makes a new entry of directory durable (best effort: not every file
// system can sync a directory).
void syncDirectory(const std::string& directory);

// Whether the key id still exists.
bool keyAlive(Connection& c, std::int64_t id);

// The found cache's key for a name (its two sort forms) below key id.
std::string lookupKey(std::int64_t id, std::string_view sort, std::string_view byteWise);

// The index of a predefined root (0 to 3, in the order of their handles).
int hiveIndex(Key root);

// The name of the root of index hive ("HKEY_LOCAL_MACHINE").
const char* hiveName(int hive);

}  // namespace sqlitestore

// guardedCall, with SQLite's errors as failures of the call.
template <class F>
long SqliteRegistry::guarded(F&& body) {
    return guardedCall([&]() -> long {
        try {
            return body();
        } catch (const SqlError& e) {
            throw Failure{sqlitestore::errorFor(e), e.message};
        }
    });
}

template <class F>
long SqliteRegistry::withRead(int hive, F&& body) {
    const auto since = std::chrono::steady_clock::now();
    for (int attempt = 0;; ++attempt) {
        try {
            std::uint64_t epoch = 0;
            Connection& c = readConnection(hive, epoch);
            Transaction t(c, false);
            long rc = body(c, epoch);
            t.commit();
            return rc;
        } catch (const SqlError& e) {
            if (!sqlitestore::isBusy(e) || fileOf(hive).inBatch) throw;
            if (attempt >= sqlitestore::kBusyRetries)
                throw sqlitestore::stayedBusy(fileOf(hive).path, since);
        }
        sqlitestore::pause(attempt);
    }
}

// A read without a transaction of its own: each statement of body runs
// alone, as its own read. For reads whose every row found proves the rest
// (a key found below a parent proves the parent was alive then, since a key
// with subkeys is never deleted and ids are never reused); body returns
// false when it cannot tell, and so does quickRead when the hive's file is
// not there yet or the store is busy: the caller then reads in a transaction.
template <class F>
bool SqliteRegistry::quickRead(int hive, F&& body) {
    try {
        std::uint64_t epoch = 0;
        Connection& c = readConnection(hive, epoch);
        if (epoch == 0) return false;
        return body(c, epoch);
    } catch (const SqlError& e) {
        if (!sqlitestore::isBusy(e)) throw;
        return false;
    }
}

template <class F>
long SqliteRegistry::withWrite(int hive, F&& body) {
    const auto since = std::chrono::steady_clock::now();
    for (int attempt = 0;; ++attempt) {
        try {
            Connection& c = writeConnection(hive);
            Transaction t(c, true);
            long rc = body(c);
            if (rc == kSuccess) {
                t.commit();  // a failed call changes nothing
                fileOf(hive).changed = true;
            }
            return rc;
        } catch (const SqlError& e) {
            if (!sqlitestore::isBusy(e) || fileOf(hive).inBatch) throw;
            if (attempt >= sqlitestore::kBusyRetries)
                throw sqlitestore::stayedBusy(fileOf(hive).path, since);
        }
        sqlitestore::pause(attempt);
    }
}

}  // namespace vrk::reg
