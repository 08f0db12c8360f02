// SqliteRegistry's batches: beginBatch, commitBatch and rollbackBatch, which
// hold one transaction open on the store file a batch changes.
#include <string>

#include "platform/registry/sqlite/sqlite_registry_support.hpp"

namespace vrk::reg {

long SqliteRegistry::beginBatch() {
    std::lock_guard<std::mutex> lock(mutex_);
    return guarded([&]() -> long {
        checkFork();
        ++batchDepth_;
        return kSuccess;
    });
}

long SqliteRegistry::commitBatch() {
    std::lock_guard<std::mutex> lock(mutex_);
    return guarded([&]() -> long {
        checkFork();
        if (batchDepth_ == 0) return kInvalidParameter;
        if (--batchDepth_ > 0) return kSuccess;
        // The batch changed one file (writeConnection refuses a second one),
        // so this one commit makes it whole or not at all.
        batchHive_ = -1;
        for (StoreFile& f : files_) {
            if (!f.inBatch) continue;
            f.inBatch = false;
            sqlite3* db = f.connection->db();
            if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
                SqlError e{sqlite3_extended_errcode(db), f.path + ": " + sqlite3_errmsg(db)};
                if (sqlite3_get_autocommit(db) == 0) {
                    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
                }
                throw Failure{errorFor(e), e.message + "; nothing of the batch was committed"};
            }
        }
        return kSuccess;
    });
}

long SqliteRegistry::rollbackBatch() {
    std::lock_guard<std::mutex> lock(mutex_);
    return guarded([&]() -> long {
        checkFork();
        if (batchDepth_ == 0) return kInvalidParameter;
        batchDepth_ = 0;
        batchHive_ = -1;
        for (StoreFile& f : files_) {
            if (!f.inBatch) continue;
            f.inBatch = false;
            sqlite3_exec(f.connection->db(), "ROLLBACK", nullptr, nullptr, nullptr);
        }
        return kSuccess;
    });
}

}  // namespace vrk::reg
