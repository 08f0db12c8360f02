// SqliteRegistry's store files and their connections: construction and
// destruction, connection settings, directory creation, opening a hive's
// file for reading or writing, the refusal of a batch that would span two
// files, and the fresh start of a forked child.
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/process.hpp"
#include "registry/sqlite/sqlite_file_modes.hpp"
#include "registry/sqlite/sqlite_registry_support.hpp"
#include "registry/sqlite/sqlite_schema.hpp"

namespace vrk::reg {

using namespace sqlitestore;

namespace sqlitestore {

std::atomic<unsigned> forkCount{0};

}  // namespace sqlitestore

namespace {

void configure(Connection& c) {
    sqlite3_busy_timeout(c.db(), kBusyWaitMs);
    // Commits reach the log without a sync each (a process crash loses
    // nothing); a flush syncs the log (SqliteRegistry::checkpoint).
    c.exec("PRAGMA synchronous = NORMAL");
    // Keep the log and its index file when the last connection closes (the
    // log emptied), so that a reader who may not create files in the
    // directory can still open the store.
    int persist = 1;
    sqlite3_file_control(c.db(), "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
    c.exec("PRAGMA journal_size_limit = 4194304");
}

void countFork() { forkCount.fetch_add(1, std::memory_order_relaxed); }

unsigned forksSoFar() {
    static const bool registered = pthread_atfork(nullptr, nullptr, countFork) == 0;
    // Without the handler, every call looks like the first one after a fork
    // and asks for the process id.
    return registered ? forkCount.load(std::memory_order_relaxed) : ~0u;
}

}  // namespace

SqliteRegistry::SqliteRegistry(const StoreLocation& where)
    : pid_(::getpid()), forks_(forksSoFar()) {
    auto trim = [](std::string d) {
        while (d.size() > 1 && d.back() == '/') d.pop_back();
        return d;
    };
    const std::string machine = trim(where.machineDirectory);
    const std::string user = trim(where.userDirectory);
    const int hkcu = hiveIndex(kCurrentUser);
    StoreFile shared;
    shared.directory = machine;
    shared.path = machine + "/" + kStoreFileName;
    shared.machine = true;
    for (int i = 0; i < 4; ++i) {
        if (i != hkcu || user == machine) shared.hives.push_back(i);
    }
    files_.push_back(std::move(shared));
    if (user != machine) {
        StoreFile own;
        own.directory = user;
        own.path = user + "/" + kStoreFileName;
        own.hives.push_back(hkcu);
        files_.push_back(std::move(own));
        fileIndex_[hkcu] = 1;
    }
}

SqliteRegistry::~SqliteRegistry() {
    if (::getpid() != pid_) {
        // A forked child must not touch its parent's connections.
        for (StoreFile& f : files_) (void)f.connection.release();
        return;
    }
    for (StoreFile& f : files_) {
        if (f.connection && f.inBatch) {
            sqlite3_exec(f.connection->db(), "ROLLBACK", nullptr, nullptr, nullptr);
        }
        // What this process changed is made durable before it goes.
        if (f.connection && f.changed) {
            try {
                checkpoint(f);
            } catch (...) {  // nothing to report to: the changes stay in the log
            }
        }
        f.connection.reset();
    }
}

void SqliteRegistry::checkpoint(StoreFile& f) {
    sqlite3* db = f.connection->db();
    // The log is written back into the store file and emptied, as far as
    // other connections allow at once: a reader of an older state keeps its
    // part of the log, a writer keeps the log, and whoever flushes after
    // them writes it back. Nothing waits for them. A write-back that takes
    // the whole log has synced the log before and the store file after it
    // (synchronous = NORMAL, see configure): the changes are durable in the
    // file then, and nothing more is synced.
    sqlite3_busy_timeout(db, 0);
    int logFrames = -1;
    int writtenBack = -1;
    const int rc =
        sqlite3_wal_checkpoint_v2(db, "main", SQLITE_CHECKPOINT_TRUNCATE, &logFrames, &writtenBack);
    sqlite3_busy_timeout(db, kBusyWaitMs);
    if (rc == SQLITE_IOERR_FSYNC) {
        // A failed sync may have dropped what it was to write: another sync
        // that succeeds proves nothing.
        throw Failure{kRegistryIoFailed,
                      f.path + ": the log could not be synced (" + sqlite3_errstr(rc) + ")"};
    }
    const bool whole = (rc == SQLITE_OK || (rc & 0xff) == SQLITE_BUSY) && logFrames >= 0 &&
                       writtenBack == logFrames;
    if (!whole) {
        // The rest stays in the log: syncing it makes the commits since the
        // last flush durable, whoever else reads or writes the store
        // meanwhile (a disk that fills up now fails the next change instead).
        sqlite3_file* log = nullptr;
        if (sqlite3_file_control(db, "main", SQLITE_FCNTL_JOURNAL_POINTER, &log) == SQLITE_OK &&
            log != nullptr && log->pMethods != nullptr) {
            const int synced = log->pMethods->xSync(log, SQLITE_SYNC_NORMAL);
            if (synced != SQLITE_OK) {
                throw Failure{kRegistryIoFailed, f.path + "-wal: the log could not be synced (" +
                                                     sqlite3_errstr(synced) + ")"};
            }
        }
    }
    f.changed = false;
}

void SqliteRegistry::enterCall(std::unique_lock<std::mutex>& lock) {
    checkFork();
    const auto mine = std::this_thread::get_id();
    if (batchDepth_ == 0 || batchOwner_ == mine) return;
    const auto limit = std::chrono::milliseconds(kBusyWaitMs * kBusyRetries);
    if (!batchEnded_.wait_for(lock, limit,
                              [&] { return batchDepth_ == 0 || batchOwner_ == mine; })) {
        throw Failure{kRegistryIoFailed,
                      "another thread's batch kept the registry store busy too long"};
    }
}

std::string SqliteRegistry::hivePath(Key root) const {
    return isRootKey(root) ? fileOf(hiveIndex(root)).path : std::string();
}

void SqliteRegistry::checkFork() {
    const unsigned forks = forksSoFar();
    if (forks == forks_ && forks != ~0u) return;
    forks_ = forks;
    pid_t now = ::getpid();
    if (now == pid_) return;
    // The child of a fork: the connections belong to the parent. An idle one
    // is closed (that only drops locks this process never held); one inside
    // a transaction is abandoned, since rolling back would touch the parent's
    // shared write-ahead index.
    for (StoreFile& f : files_) {
        if (f.connection) {
            if (f.connection->inTransaction()) {
                (void)f.connection.release();
            } else {
                f.connection.reset();
            }
        }
        f.ready = false;
        f.inBatch = false;
        f.changed = false;
        f.epoch = 0;
        f.subkeyLists.clear();
        f.found = FoundCache{};
    }
    atHand_ = ListAtHand{};
    batchDepth_ = 0;
    batchHive_ = -1;
    batchOwner_ = std::this_thread::get_id();
    pid_ = now;
}

sqlitedb::Connection& SqliteRegistry::emptyHive() {
    // Made when first needed: most runs find their store file there.
    if (!empty_) {
        auto c = Connection::open(":memory:",
                                  SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX);
        createSchema(*c);
        empty_ = std::move(c);
    }
    return *empty_;
}

sqlitedb::Connection& SqliteRegistry::readConnection(int hive, std::uint64_t& epoch) {
    StoreFile& f = fileOf(hive);
    epoch = 0;
    if (!f.connection) {
        if (f.machine) checkDirectoryOwnership(f.directory);
        adoptOldHives(f);
        if (!fileExists(f.path)) return emptyHive();
        if (f.machine) checkFileOwnership(f.path);
        auto c = Connection::open(f.path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
        configure(*c);
        f.connection = std::move(c);
        f.epoch = ++epochs_;
        f.ready = false;
    }
    if (!f.ready) {
        Schema s = inspect(*f.connection);
        if (s == Schema::blank) return emptyHive();  // created, not yet set up
        if (s == Schema::older) {
            bringUpToDate(*f.connection, f.path);
            s = inspect(*f.connection);
        }
        if (s != Schema::ours) refuse(f.path, s);
        f.connection->noteJournalMode();
        try {
            forgetVolatileKeysOfEarlierBoots(f);
        } catch (const SqlError&) {
            // A read goes on; the next process to open the file tries again.
        }
        f.ready = true;
    }
    epoch = f.epoch;
    return *f.connection;
}

void SqliteRegistry::forgetVolatileKeysOfEarlierBoots(StoreFile& f) {
    if (!forgetEarlierBoots(*f.connection, vrk::platform::bootId())) return;
    // Keys went: what was read of the file before no longer holds.
    f.changed = true;
    f.subkeyLists.clear();
    f.found = FoundCache{};
}

void SqliteRegistry::refuseSecondFile(int hive) const {
    const StoreFile& mine = fileOf(hive);
    const StoreFile& batch = fileOf(batchHive_);
    throw Failure{kNotSupported,
                  std::string("a batch cannot change ") + hiveName(hive) + " (kept in " +
                      mine.path + ") together with " + hiveName(batchHive_) + " (kept in " +
                      batch.path +
                      "): one batch commits in one store file only; nothing of the batch "
                      "has been committed"};
}

sqlitedb::Connection& SqliteRegistry::writeConnection(int hive) {
    StoreFile& f = fileOf(hive);
    if (batchDepth_ > 0 && !f.inBatch) {
        for (const StoreFile& other : files_) {
            if (other.inBatch) refuseSecondFile(hive);
        }
    }
    bool newFile = false;
    if (!f.connection) {
        if (f.machine) checkDirectoryOwnership(f.directory);
        adoptOldHives(f);
        newFile = !fileExists(f.path);
        if (newFile) {
            makeDirectories(f.directory, f.machine ? kMachineDirectoryMode : kUserDirectoryMode);
            if (f.machine) checkDirectoryOwnership(f.directory);
            createFile(f.path, f.machine ? kMachineFileMode : kUserFileMode);
        }
        if (f.machine) checkFileOwnership(f.path);
        auto c = Connection::open(f.path,
                                  SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX);
        configure(*c);
        f.connection = std::move(c);
        f.epoch = ++epochs_;
        f.ready = false;
    }
    Connection& c = *f.connection;
    if (c.readOnly()) {
        throw Failure{kAccessDenied, c.path() + ": the registry store is read-only"};
    }
    if (!f.ready) {
        Schema s = inspect(c);
        if (s == Schema::blank) {
            // Journal mode cannot change inside a transaction; a second
            // process doing the same meanwhile is harmless.
            c.exec("PRAGMA journal_mode = WAL");
            Transaction t(c, true);
            s = inspect(c);
            if (s == Schema::blank) createSchema(c);
            t.commit();
            s = inspect(c);
        }
        if (s == Schema::older) {
            bringUpToDate(c, f.path);
            s = inspect(c);
        }
        if (s != Schema::ours) refuse(f.path, s);
        c.noteJournalMode();
        forgetVolatileKeysOfEarlierBoots(f);
        f.ready = true;
        if (newFile) syncDirectory(f.directory);
    }
    if (batchDepth_ > 0 && !f.inBatch) {
        c.exec("BEGIN IMMEDIATE");
        f.inBatch = true;
        batchHive_ = hive;
    }
    return c;
}

bool SqliteRegistry::hiveFileMissing(int hive) const {
    const StoreFile& f = fileOf(hive);
    if (f.connection || fileExists(f.path)) return false;
    for (int h : f.hives) {
        if (fileExists(f.directory + "/" + hiveFileName(Key{kClassesRoot.value + h}))) return false;
    }
    return true;
}

}  // namespace vrk::reg
