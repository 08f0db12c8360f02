// SqliteRegistry's batches: beginBatch, commitBatch and rollbackBatch, which
// hold one transaction open on the store file a batch changes, for the
// thread that began it; and flushKey, which checkpoints a store file (at
// once, or when the batch open on it commits).
#include <string>
#include <thread>

#include "registry/sqlite/sqlite_registry_support.hpp"

namespace vrk::reg {

using namespace sqlitestore;

long SqliteRegistry::beginBatch() {
    std::unique_lock<std::mutex> lock(mutex_);
    return guarded([&]() -> long {
        enterCall(lock);
        if (batchDepth_ == 0) batchOwner_ = std::this_thread::get_id();
        ++batchDepth_;
        return kSuccess;
    });
}

long SqliteRegistry::commitBatch() {
    std::unique_lock<std::mutex> lock(mutex_);
    return guarded([&]() -> long {
        enterCall(lock);
        if (batchDepth_ == 0) return kInvalidParameter;
        if (--batchDepth_ > 0) return kSuccess;
        // The batch changed one file (writeConnection refuses a second one),
        // so this one commit makes it whole or not at all.
        batchHive_ = -1;
        batchEnded_.notify_all();  // the waiters run once the lock is released
        StoreFile* committed = nullptr;
        for (StoreFile& f : files_) {
            if (!f.inBatch) continue;
            f.inBatch = false;
            ++f.rollbacks;  // (a commit changes the stamp anyway; a failed one rolls back)
            sqlite3* db = f.connection->db();
            if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
                SqlError e{sqlite3_extended_errcode(db), f.path + ": " + sqlite3_errmsg(db)};
                if (sqlite3_get_autocommit(db) == 0) {
                    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
                }
                throw Failure{errorFor(e), e.message + "; nothing of the batch was committed"};
            }
            f.changed = true;
            if (f.flushAtCommit) committed = &f;
            f.flushAtCommit = false;
        }
        if (committed) {
            // The batch is committed whatever the flush does: a log that
            // cannot be synced now is left to the next flush (or the end).
            try {
                checkpoint(*committed);
            } catch (const Failure&) {}
        }
        return kSuccess;
    });
}

long SqliteRegistry::rollbackBatch() {
    std::unique_lock<std::mutex> lock(mutex_);
    return guarded([&]() -> long {
        enterCall(lock);
        if (batchDepth_ == 0) return kInvalidParameter;
        batchDepth_ = 0;
        batchHive_ = -1;
        batchEnded_.notify_all();
        for (StoreFile& f : files_) {
            if (!f.inBatch) continue;
            f.inBatch = false;
            ++f.rollbacks;  // what was read inside the batch no longer holds
            f.flushAtCommit = false;
            sqlite3_exec(f.connection->db(), "ROLLBACK", nullptr, nullptr, nullptr);
        }
        return kSuccess;
    });
}

}  // namespace vrk::reg

namespace vrk::reg {

long SqliteRegistry::flushKey(Key key) {
    std::unique_lock<std::mutex> lock(mutex_);
    return guarded([&]() -> long {
        enterCall(lock);
        Target t;
        if (long rc = resolve(key, t)) return rc;
        StoreFile& f = fileOf(t.hive);
        if (f.inBatch) {
            f.flushAtCommit = true;  // once the batch is committed
            return kSuccess;
        }
        if (!f.connection && !fileExists(f.path)) return kSuccess;
        std::uint64_t epoch = 0;
        readConnection(t.hive, epoch);
        if (epoch == 0 || f.connection->readOnly()) return kSuccess;
        checkpoint(f);
        return kSuccess;
    });
}

}  // namespace vrk::reg
