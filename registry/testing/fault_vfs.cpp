// The fault-injecting test VFS: a shim over the default VFS whose files
// forward every method to the real file, counting the chosen operations.
#include "registry/testing/fault_vfs.hpp"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <sstream>

namespace vrk::reg::faultvfs {

namespace {

std::mutex planMutex;
std::atomic<std::uint64_t> counted{0};
std::atomic<std::uint64_t> injected{0};
sqlite3_vfs* real = nullptr;
sqlite3_vfs shim;

// The plan in force. A function's static, so that an installer running
// before main in another file finds it constructed.
Plan& plan() {
    static Plan current;
    return current;
}

const char* nameOf(unsigned op) {
    switch (op) {
    case kRead: return "read";
    case kWrite: return "write";
    case kSync: return "sync";
    case kLock: return "lock";
    default: return "open";
    }
}

// Writes one line to the plan's log without going through SQLite.
void logFailure(const std::string& path, unsigned op, std::uint64_t n) {
    if (path.empty()) return;
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return;
    char line[96];
    int len = std::snprintf(line, sizeof line, "injected %s failure at operation %llu\n",
                            nameOf(op), static_cast<unsigned long long>(n));
    if (len > 0) (void)!::write(fd, line, static_cast<std::size_t>(len));
    ::close(fd);
}

// Counts an operation of kind op; returns the error to inject, or SQLITE_OK.
int fault(unsigned op, int ioError) {
    std::uint64_t at;
    unsigned ops;
    bool persistent;
    bool full;
    std::string log;
    {
        std::lock_guard<std::mutex> lock(planMutex);
        const Plan& p = plan();
        at = p.at;
        ops = p.operations;
        persistent = p.persistent;
        full = p.diskFull;
        if ((ops & op) != 0) log = p.log;
    }
    if ((ops & op) == 0) return SQLITE_OK;
    std::uint64_t n = ++counted;
    if (at == 0 || (n != at && !(persistent && n > at))) return SQLITE_OK;
    ++injected;
    logFailure(log, op, n);
    return full ? SQLITE_FULL : ioError;
}

struct File {
    sqlite3_file base;
    sqlite3_file* real;  // follows this struct in the same allocation
};

sqlite3_file* realOf(sqlite3_file* f) { return reinterpret_cast<File*>(f)->real; }

int xClose(sqlite3_file* f) {
    sqlite3_file* r = realOf(f);
    return r->pMethods ? r->pMethods->xClose(r) : SQLITE_OK;
}
int xRead(sqlite3_file* f, void* buf, int amount, sqlite3_int64 offset) {
    if (int rc = fault(kRead, SQLITE_IOERR_READ)) return rc;
    sqlite3_file* r = realOf(f);
    return r->pMethods->xRead(r, buf, amount, offset);
}
int xWrite(sqlite3_file* f, const void* buf, int amount, sqlite3_int64 offset) {
    if (int rc = fault(kWrite, SQLITE_IOERR_WRITE)) return rc;
    sqlite3_file* r = realOf(f);
    return r->pMethods->xWrite(r, buf, amount, offset);
}
int xTruncate(sqlite3_file* f, sqlite3_int64 size) {
    sqlite3_file* r = realOf(f);
    return r->pMethods->xTruncate(r, size);
}
int xSync(sqlite3_file* f, int flags) {
    if (int rc = fault(kSync, SQLITE_IOERR_FSYNC)) return rc;
    sqlite3_file* r = realOf(f);
    return r->pMethods->xSync(r, flags);
}
int xFileSize(sqlite3_file* f, sqlite3_int64* size) {
    sqlite3_file* r = realOf(f);
    return r->pMethods->xFileSize(r, size);
}
int xLock(sqlite3_file* f, int level) {
    if (int rc = fault(kLock, SQLITE_IOERR_LOCK)) return rc;
    sqlite3_file* r = realOf(f);
    return r->pMethods->xLock(r, level);
}
int xUnlock(sqlite3_file* f, int level) {
    sqlite3_file* r = realOf(f);
    return r->pMethods->xUnlock(r, level);
}
int xCheckReservedLock(sqlite3_file* f, int* out) {
    sqlite3_file* r = realOf(f);
    return r->pMethods->xCheckReservedLock(r, out);
}
int xFileControl(sqlite3_file* f, int op, void* arg) {
    sqlite3_file* r = realOf(f);
    return r->pMethods->xFileControl(r, op, arg);
}
int xSectorSize(sqlite3_file* f) {
    sqlite3_file* r = realOf(f);
    return r->pMethods->xSectorSize(r);
}
int xDeviceCharacteristics(sqlite3_file* f) {
    sqlite3_file* r = realOf(f);
    return r->pMethods->xDeviceCharacteristics(r);
}
int xShmMap(sqlite3_file* f, int region, int size, int extend, void volatile** out) {
    sqlite3_file* r = realOf(f);
    return r->pMethods->xShmMap(r, region, size, extend, out);
}
int xShmLock(sqlite3_file* f, int offset, int n, int flags) {
    // Taking an exclusive lock (a writer's, a checkpointer's, a recovery's)
    // counts; shared read marks and releases always succeed.
    if ((flags & SQLITE_SHM_LOCK) != 0 && (flags & SQLITE_SHM_EXCLUSIVE) != 0) {
        if (int rc = fault(kLock, SQLITE_IOERR_SHMLOCK)) return rc;
    }
    sqlite3_file* r = realOf(f);
    return r->pMethods->xShmLock(r, offset, n, flags);
}
void xShmBarrier(sqlite3_file* f) {
    sqlite3_file* r = realOf(f);
    r->pMethods->xShmBarrier(r);
}
int xShmUnmap(sqlite3_file* f, int deleteFlag) {
    sqlite3_file* r = realOf(f);
    return r->pMethods->xShmUnmap(r, deleteFlag);
}
int xFetch(sqlite3_file* f, sqlite3_int64 offset, int amount, void** out) {
    // No memory-mapped reads: every page goes through xRead and is counted.
    (void)f;
    (void)offset;
    (void)amount;
    *out = nullptr;
    return SQLITE_OK;
}
int xUnfetch(sqlite3_file* f, sqlite3_int64 offset, void* p) {
    sqlite3_file* r = realOf(f);
    return r->pMethods->xUnfetch(r, offset, p);
}

const sqlite3_io_methods fileMethods = {
    3,
    xClose,
    xRead,
    xWrite,
    xTruncate,
    xSync,
    xFileSize,
    xLock,
    xUnlock,
    xCheckReservedLock,
    xFileControl,
    xSectorSize,
    xDeviceCharacteristics,
    xShmMap,
    xShmLock,
    xShmBarrier,
    xShmUnmap,
    xFetch,
    xUnfetch,
};

int xOpen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* f, int flags, int* outFlags) {
    File* file = reinterpret_cast<File*>(f);
    file->base.pMethods = nullptr;
    file->real = reinterpret_cast<sqlite3_file*>(file + 1);
    file->real->pMethods = nullptr;
    if (int rc = fault(kOpen, SQLITE_CANTOPEN)) return rc;
    int rc = real->xOpen(real, name, file->real, flags, outFlags);
    if (file->real->pMethods != nullptr) file->base.pMethods = &fileMethods;
    return rc;
}
int xDelete(sqlite3_vfs*, const char* name, int syncDir) {
    return real->xDelete(real, name, syncDir);
}
int xAccess(sqlite3_vfs*, const char* name, int flags, int* out) {
    return real->xAccess(real, name, flags, out);
}
int xFullPathname(sqlite3_vfs*, const char* name, int size, char* out) {
    return real->xFullPathname(real, name, size, out);
}
void* xDlOpen(sqlite3_vfs*, const char* name) { return real->xDlOpen(real, name); }
void xDlError(sqlite3_vfs*, int size, char* out) { real->xDlError(real, size, out); }
void (*xDlSym(sqlite3_vfs*, void* handle, const char* symbol))(void) {
    return real->xDlSym(real, handle, symbol);
}
void xDlClose(sqlite3_vfs*, void* handle) { real->xDlClose(real, handle); }
int xRandomness(sqlite3_vfs*, int size, char* out) { return real->xRandomness(real, size, out); }
int xSleep(sqlite3_vfs*, int micro) { return real->xSleep(real, micro); }
int xCurrentTime(sqlite3_vfs*, double* out) { return real->xCurrentTime(real, out); }
int xGetLastError(sqlite3_vfs*, int size, char* out) {
    return real->xGetLastError ? real->xGetLastError(real, size, out) : 0;
}
int xCurrentTimeInt64(sqlite3_vfs*, sqlite3_int64* out) {
    return real->xCurrentTimeInt64(real, out);
}

bool splitList(const std::string& list, unsigned& ops) {
    ops = 0;
    std::stringstream in(list);
    std::string word;
    while (std::getline(in, word, ',')) {
        if (word == "read")
            ops |= kRead;
        else if (word == "write")
            ops |= kWrite;
        else if (word == "sync")
            ops |= kSync;
        else if (word == "lock")
            ops |= kLock;
        else if (word == "open")
            ops |= kOpen;
        else if (word == "all")
            ops |= kAllOperations;
        else
            return false;
    }
    return ops != 0;
}

}  // namespace

bool parsePlan(const std::string& text, Plan& out) {
    Plan p;
    std::stringstream in(text);
    std::string word;
    while (in >> word) {
        if (word.rfind("at=", 0) == 0) {
            char* end = nullptr;
            p.at = std::strtoull(word.c_str() + 3, &end, 10);
            if (end == word.c_str() + 3 || *end != '\0') return false;
        } else if (word.rfind("ops=", 0) == 0) {
            if (!splitList(word.substr(4), p.operations)) return false;
        } else if (word.rfind("log=", 0) == 0) {
            p.log = word.substr(4);
        } else if (word == "full") {
            p.diskFull = true;
        } else if (word == "persistent") {
            p.persistent = true;
        } else {
            return false;
        }
    }
    out = p;
    return true;
}

bool install(const Plan& newPlan) {
    {
        std::lock_guard<std::mutex> lock(planMutex);
        plan() = newPlan;
        counted = 0;
        injected = 0;
    }
    if (real == nullptr) {
        if (sqlite3_initialize() != SQLITE_OK) return false;
        real = sqlite3_vfs_find(nullptr);
        if (real == nullptr) return false;
        shim = sqlite3_vfs{};
        shim.iVersion = 2;
        shim.szOsFile = static_cast<int>(sizeof(File)) + real->szOsFile;
        shim.mxPathname = real->mxPathname;
        shim.zName = "vrk-faults";
        shim.xOpen = xOpen;
        shim.xDelete = xDelete;
        shim.xAccess = xAccess;
        shim.xFullPathname = xFullPathname;
        shim.xDlOpen = xDlOpen;
        shim.xDlError = xDlError;
        shim.xDlSym = xDlSym;
        shim.xDlClose = xDlClose;
        shim.xRandomness = xRandomness;
        shim.xSleep = xSleep;
        shim.xCurrentTime = xCurrentTime;
        shim.xGetLastError = xGetLastError;
        shim.xCurrentTimeInt64 = xCurrentTimeInt64;
    }
    return sqlite3_vfs_register(&shim, 1) == SQLITE_OK;
}

void uninstall() {
    if (real == nullptr) return;
    sqlite3_vfs_register(real, 1);
    std::lock_guard<std::mutex> lock(planMutex);
    plan() = Plan{};
}

std::uint64_t operationsCounted() { return counted; }
std::uint64_t failuresInjected() { return injected; }

}  // namespace vrk::reg::faultvfs
