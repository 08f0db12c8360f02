// SqliteRegistry's batches: beginBatch, commitBatch and rollbackBatch, which
// hold one transaction open on every hive a batch touches.
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
        // Each hive commits on its own; a hive that fails is rolled back and
        // its error reported, after the others were still committed.
        long result = kSuccess;
        std::string detail;
        for (Hive& h : hives_) {
            if (!h.inBatch) continue;
            h.inBatch = false;
            int rc = sqlite3_exec(h.connection->db(), "COMMIT", nullptr, nullptr, nullptr);
            if (rc != SQLITE_OK) {
                SqlError e{sqlite3_extended_errcode(h.connection->db()),
                           h.path + ": " + sqlite3_errmsg(h.connection->db())};
                sqlite3_exec(h.connection->db(), "ROLLBACK", nullptr, nullptr, nullptr);
                if (result == kSuccess) {
                    result = errorFor(e);
                    detail = e.message;
                }
            }
        }
        if (result != kSuccess) throw Failure{result, detail};
        return kSuccess;
    });
}

long SqliteRegistry::rollbackBatch() {
    std::lock_guard<std::mutex> lock(mutex_);
    return guarded([&]() -> long {
        checkFork();
        if (batchDepth_ == 0) return kInvalidParameter;
        batchDepth_ = 0;
        for (Hive& h : hives_) {
            if (!h.inBatch) continue;
            h.inBatch = false;
            sqlite3_exec(h.connection->db(), "ROLLBACK", nullptr, nullptr, nullptr);
        }
        return kSuccess;
    });
}

}  // namespace vrk::reg
