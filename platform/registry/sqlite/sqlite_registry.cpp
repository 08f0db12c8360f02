// The SQLite registry backend.
#include "platform/registry/sqlite/sqlite_registry.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/process.hpp"

namespace vrk::reg {

using sqlitedb::Connection;
using sqlitedb::Sql;
using sqlitedb::SqlError;
using sqlitedb::Transaction;
using sqlitedb::Use;

namespace {

// "VRKR" in the database header marks our hive files; the user version is
// the layout below.
constexpr std::int64_t kApplicationId = 0x56524B52;
constexpr std::int64_t kSchemaVersion = 1;

const char kSchema[] =
    "CREATE TABLE keys("
    "  id INTEGER PRIMARY KEY AUTOINCREMENT,"  // never reused: stale handles stay stale
    "  parent INTEGER NOT NULL,"               // 0: the hive's root
    "  name BLOB NOT NULL,"                    // as created
    "  sortname BLOB NOT NULL,"                // upper-cased a-z: lookup and order
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
    "PRAGMA application_id = 1448233810;"  // kApplicationId
    "PRAGMA user_version = 1;";

constexpr std::size_t kMaxKeyNameLength = 255;
constexpr std::size_t kMaxValueNameLength = 16383;

// Busy handling: SQLite waits up to kBusyWaitMs inside a call; a call that
// still finds the store busy is retried from the start, kBusyRetries times.
constexpr int kBusyWaitMs = 2000;
constexpr int kBusyRetries = 15;

// Access rights (winnt.h values) as they matter here.
constexpr std::uint32_t kQueryValue = 0x0001;
constexpr std::uint32_t kSetValue = 0x0002;
constexpr std::uint32_t kCreateSubKey = 0x0004;
constexpr std::uint32_t kEnumerateSubKeys = 0x0008;
constexpr std::uint32_t kAllRights = 0x000F003F;

// The rights an access mask asks for, generic rights mapped.
std::uint32_t grantedRights(std::uint32_t access) {
    std::uint32_t rights = access & 0x00FFFFFF;
    if (access & 0x80000000u) rights |= kKeyRead;       // GENERIC_READ
    if (access & 0x40000000u) rights |= kKeyWrite;      // GENERIC_WRITE
    if (access & 0x20000000u) rights |= kKeyRead;       // GENERIC_EXECUTE
    if (access & 0x10000000u) rights |= kAllRights;     // GENERIC_ALL
    if (access & 0x02000000u) rights |= kAllRights;     // MAXIMUM_ALLOWED
    return rights & ~kKeyWow64_32Key;
}

bool wantsWrite(std::uint32_t rights) { return (rights & (kSetValue | kCreateSubKey)) != 0; }

// A failure of ours, not SQLite's: an error number and its explanation.
struct Failure {
    long error;
    std::string detail;
};

thread_local std::string failureDetail;

long finish(long rc) {
    platform::setLastError(static_cast<std::uint32_t>(rc));
    return rc;
}

long errorFor(const SqlError& e) {
    switch (e.primary()) {
        case SQLITE_READONLY:
        case SQLITE_PERM:
        case SQLITE_AUTH:
        case SQLITE_CANTOPEN:
            return kAccessDenied;
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
        case SQLITE_FORMAT:
        case SQLITE_SCHEMA:
        case SQLITE_ERROR:  // our statements only fail so on a file that is not ours
            return kBadDb;
        case SQLITE_NOMEM:
        case SQLITE_TOOBIG:
            return kNotEnoughMemory;
        default:  // busy beyond the retries, I/O errors, a full disk
            return kRegistryIoFailed;
    }
}

bool isBusy(const SqlError& e) {
    return e.primary() == SQLITE_BUSY || e.primary() == SQLITE_LOCKED;
}

void pause(int attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1 + attempt * 5));
}

std::string sortName(std::string_view name) {
    std::string s(name);
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return s;
}

// Splits a key path relative to some key into its names. Trailing
// backslashes are ignored; "" names the key itself.
long splitPath(const char* path, std::vector<std::string_view>& parts) {
    parts.clear();
    if (path == nullptr) return kSuccess;
    std::string_view p(path);
    if (!p.empty() && p.front() == '\\') return kBadPathname;
    while (!p.empty() && p.back() == '\\') p.remove_suffix(1);
    while (!p.empty()) {
        std::size_t cut = p.find('\\');
        std::string_view name = p.substr(0, cut);
        if (name.empty() || name.size() > kMaxKeyNameLength) return kInvalidParameter;
        parts.push_back(name);
        if (cut == std::string_view::npos) break;
        p.remove_prefix(cut + 1);
    }
    return kSuccess;
}

long checkValueName(const char* name, std::string_view& out) {
    out = name ? std::string_view(name) : std::string_view();
    return out.size() > kMaxValueNameLength ? kInvalidParameter : kSuccess;
}

bool keyAlive(Connection& c, std::int64_t id) {
    if (id == 0) return true;
    Use u(c, Sql::keyExists);
    u.bind(1, id);
    return u.step();
}

// Follows parts below start; kFileNotFound when a level is missing.
long walk(Connection& c, std::int64_t start, const std::vector<std::string_view>& parts,
          std::int64_t& id) {
    id = start;
    for (std::string_view part : parts) {
        Use u(c, Sql::lookupChild);
        std::string sort = sortName(part);
        u.bind(1, id).bind(2, sort);
        if (!u.step()) return kFileNotFound;
        id = u.integer(0);
    }
    return kSuccess;
}

enum class Schema { ours, blank, foreign, newer };

Schema inspectHeader(Connection& c) {
    std::int64_t app = c.queryInt("PRAGMA application_id");
    std::int64_t version = c.queryInt("PRAGMA user_version");
    if (app == kApplicationId) {
        if (version == kSchemaVersion) return Schema::ours;
        return version > kSchemaVersion ? Schema::newer : Schema::foreign;
    }
    if (app == 0 && version == 0 && c.queryInt("SELECT count(*) FROM sqlite_master") == 0) {
        return Schema::blank;
    }
    return Schema::foreign;
}

// Reads the header's marks in one read transaction: another process setting
// up the same new hive is then seen either before its set-up or after it,
// never half-way (an application id of 0 with a user version of 1 would
// look foreign).
Schema inspect(Connection& c) {
    c.exec("SAVEPOINT inspect");
    Schema s;
    try {
        s = inspectHeader(c);
    } catch (...) {
        c.exec("RELEASE inspect");
        throw;
    }
    c.exec("RELEASE inspect");
    return s;
}

[[noreturn]] void refuse(const Connection& c, Schema s) {
    throw Failure{kBadDb, c.path() + (s == Schema::newer
                                          ? ": the registry hive was written by a newer version"
                                          : ": not a registry hive (a foreign SQLite database)")};
}

void configure(Connection& c) {
    sqlite3_busy_timeout(c.db(), kBusyWaitMs);
    c.exec("PRAGMA synchronous = FULL");
    // Keep the log and its index file when the last connection closes (the
    // log emptied), so that a reader who may not create files in the
    // directory can still open the hive.
    int persist = 1;
    sqlite3_file_control(c.db(), "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
    c.exec("PRAGMA journal_size_limit = 4194304");
}

bool fileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// Makes a new entry of directory durable (best effort: not every file
// system can sync a directory).
void syncDirectory(const std::string& directory) {
    const char* path = directory.empty() ? "/" : directory.c_str();
    int fd = ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    (void)::fsync(fd);
    ::close(fd);
}

// Creates directory and its missing parents.
void makeDirectories(const std::string& directory) {
    std::string partial;
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = directory.find('/', pos + 1);
        partial = directory.substr(0, pos);
        if (partial.empty()) continue;
        if (::mkdir(partial.c_str(), 0777) == 0) {
            std::size_t slash = partial.find_last_of('/');
            syncDirectory(slash == std::string::npos ? "." : partial.substr(0, slash));
        } else if (errno != EEXIST) {
            int err = errno;
            throw Failure{kAccessDenied,
                          "cannot create the registry directory " + partial + ": " +
                              std::strerror(err)};
        }
    }
    struct stat st;
    if (::stat(directory.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        throw Failure{kAccessDenied, directory + ": not a directory"};
    }
}

int hiveIndex(Key root) { return static_cast<int>(root.value - kClassesRoot.value); }

}  // namespace

SqliteRegistry::SqliteRegistry(const StoreLocation& where) : pid_(::getpid()) {
    empty_ = Connection::open(":memory:",
                              SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX);
    empty_->exec(kSchema);
    const Key roots[4] = {kClassesRoot, kCurrentUser, kLocalMachine, kUsers};
    for (int i = 0; i < 4; ++i) {
        Hive& h = hives_[i];
        h.directory = roots[i] == kCurrentUser ? where.userDirectory : where.machineDirectory;
        while (h.directory.size() > 1 && h.directory.back() == '/') h.directory.pop_back();
        h.path = h.directory + "/" + hiveFileName(roots[i]);
    }
}

SqliteRegistry::~SqliteRegistry() {
    if (::getpid() != pid_) {
        // A forked child must not touch its parent's connections.
        for (Hive& h : hives_) (void)h.connection.release();
        return;
    }
    for (Hive& h : hives_) {
        if (h.connection && h.inBatch) {
            sqlite3_exec(h.connection->db(), "ROLLBACK", nullptr, nullptr, nullptr);
        }
        h.connection.reset();
    }
}

std::string SqliteRegistry::hivePath(Key root) const {
    return isRootKey(root) ? hives_[hiveIndex(root)].path : std::string();
}

const char* SqliteRegistry::lastFailureDetail() const { return failureDetail.c_str(); }

void SqliteRegistry::checkFork() {
    pid_t now = ::getpid();
    if (now == pid_) return;
    // The child of a fork: the connections belong to the parent. An idle one
    // is closed (that only drops locks this process never held); one inside
    // a transaction is abandoned, since rolling back would touch the parent's
    // shared write-ahead index.
    for (Hive& h : hives_) {
        if (h.connection) {
            if (h.connection->inTransaction()) {
                (void)h.connection.release();
            } else {
                h.connection.reset();
            }
        }
        h.ready = false;
        h.inBatch = false;
        h.epoch = 0;
    }
    batchDepth_ = 0;
    pid_ = now;
}

template <class F>
long SqliteRegistry::guarded(F&& body) {
    long rc;
    try {
        rc = body();
        if (rc != kSuccess) failureDetail.clear();
    } catch (const Failure& f) {
        rc = f.error;
        failureDetail = f.detail;
    } catch (const SqlError& e) {
        rc = errorFor(e);
        failureDetail = e.message;
    } catch (const std::bad_alloc&) {
        rc = kNotEnoughMemory;
        failureDetail = "out of memory";
    }
    return finish(rc);
}

sqlitedb::Connection& SqliteRegistry::readConnection(int hive, std::uint64_t& epoch) {
    Hive& h = hives_[hive];
    epoch = 0;
    if (!h.connection) {
        if (!fileExists(h.path)) return *empty_;
        auto c = Connection::open(h.path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
        configure(*c);
        h.connection = std::move(c);
        h.epoch = ++epochs_;
        h.ready = false;
    }
    if (!h.ready) {
        Schema s = inspect(*h.connection);
        if (s == Schema::blank) return *empty_;  // created, not yet set up
        if (s != Schema::ours) refuse(*h.connection, s);
        h.ready = true;
    }
    epoch = h.epoch;
    return *h.connection;
}

sqlitedb::Connection& SqliteRegistry::writeConnection(int hive) {
    Hive& h = hives_[hive];
    bool newFile = false;
    if (!h.connection) {
        newFile = !fileExists(h.path);
        if (newFile) makeDirectories(h.directory);
        auto c = Connection::open(h.path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE |
                                              SQLITE_OPEN_NOMUTEX);
        configure(*c);
        h.connection = std::move(c);
        h.epoch = ++epochs_;
        h.ready = false;
    }
    Connection& c = *h.connection;
    if (c.readOnly()) throw Failure{kAccessDenied, c.path() + ": the registry hive is read-only"};
    if (!h.ready) {
        Schema s = inspect(c);
        if (s == Schema::blank) {
            // Journal mode cannot change inside a transaction; a second
            // process doing the same meanwhile is harmless.
            c.exec("PRAGMA journal_mode = WAL");
            Transaction t(c, true);
            s = inspect(c);
            if (s == Schema::blank) c.exec(kSchema);
            t.commit();
            s = inspect(c);
        }
        if (s != Schema::ours) refuse(c, s);
        h.ready = true;
        if (newFile) syncDirectory(h.directory);
    }
    if (batchDepth_ > 0 && !h.inBatch) {
        c.exec("BEGIN IMMEDIATE");
        h.inBatch = true;
    }
    return c;
}

bool SqliteRegistry::hiveFileMissing(int hive) const {
    const Hive& h = hives_[hive];
    return !h.connection && !fileExists(h.path);
}

template <class F>
long SqliteRegistry::withRead(int hive, F&& body) {
    for (int attempt = 0;; ++attempt) {
        try {
            std::uint64_t epoch = 0;
            Connection& c = readConnection(hive, epoch);
            Transaction t(c, false);
            long rc = body(c, epoch);
            t.commit();
            return rc;
        } catch (const SqlError& e) {
            if (!isBusy(e) || attempt >= kBusyRetries || hives_[hive].inBatch) throw;
        }
        pause(attempt);
    }
}

template <class F>
long SqliteRegistry::withWrite(int hive, F&& body) {
    for (int attempt = 0;; ++attempt) {
        try {
            Connection& c = writeConnection(hive);
            Transaction t(c, true);
            long rc = body(c);
            if (rc == kSuccess) t.commit();  // a failed call changes nothing
            return rc;
        } catch (const SqlError& e) {
            if (!isBusy(e) || attempt >= kBusyRetries || hives_[hive].inBatch) throw;
        }
        pause(attempt);
    }
}

long SqliteRegistry::resolve(Key key, Target& target) {
    if (isRootKey(key)) {
        target = Target{hiveIndex(key), 0, kAllRights, nullptr};
        return kSuccess;
    }
    auto it = handles_.find(key.value);
    if (it == handles_.end()) return kInvalidHandle;
    Handle& h = it->second;
    target = Target{h.hive, h.id, h.access, &h};
    return kSuccess;
}

Key SqliteRegistry::addHandle(int hive, std::int64_t id, std::uint32_t access) {
    std::uintptr_t value;
    do {
        value = nextHandle_;
        nextHandle_ += 4;
        if (nextHandle_ >= kClassesRoot.value && nextHandle_ <= kUsers.value) {
            nextHandle_ = kUsers.value + 4;
        }
    } while (handles_.count(value) != 0 || value == 0);
    handles_.emplace(value, Handle{hive, id, access, Cursor{}, Cursor{}});
    return Key{value};
}

SqliteRegistry::Cursor& SqliteRegistry::keyCursor(const Target& t) {
    return t.handle ? t.handle->keys : rootKeyCursors_[t.hive];
}

SqliteRegistry::Cursor& SqliteRegistry::valueCursor(const Target& t) {
    return t.handle ? t.handle->values : rootValueCursors_[t.hive];
}

// ---- keys ------------------------------------------------------------------

long SqliteRegistry::createKeyEx(Key parent, const char* subKey, std::uint32_t /*options*/,
                                 std::uint32_t access, Key* result, std::uint32_t* disposition) {
    std::lock_guard<std::mutex> lock(mutex_);
    return guarded([&]() -> long {
        checkFork();
        if (result == nullptr) return kInvalidParameter;
        *result = kNullKey;
        Target t;
        if (long rc = resolve(parent, t)) return rc;
        std::vector<std::string_view> parts;
        if (long rc = splitPath(subKey, parts)) return rc;
        std::uint32_t rights = grantedRights(access);

        std::int64_t id = 0;
        bool created = false;
        long rc = kFileNotFound;
        if (!wantsWrite(rights)) {
            // Read access only: an existing key opens without writing.
            rc = withRead(t.hive, [&](Connection& c, std::uint64_t) -> long {
                if (!keyAlive(c, t.id)) return kKeyDeleted;
                return walk(c, t.id, parts, id);
            });
            if (rc != kSuccess && rc != kFileNotFound) return rc;
        }
        if (rc != kSuccess) {
            rc = withWrite(t.hive, [&](Connection& c) -> long {
                created = false;
                if (!keyAlive(c, t.id)) return kKeyDeleted;
                id = t.id;
                for (std::string_view part : parts) {
                    std::string sort = sortName(part);
                    {
                        Use u(c, Sql::lookupChild);
                        u.bind(1, id).bind(2, sort);
                        if (u.step()) {
                            id = u.integer(0);
                            created = false;
                            continue;
                        }
                    }
                    Use u(c, Sql::insertKey);
                    u.bind(1, id).bind(2, part).bind(3, sort);
                    u.step();
                    id = sqlite3_last_insert_rowid(c.db());
                    created = true;
                }
                return kSuccess;
            });
            if (rc != kSuccess) return rc;
        }
        if (disposition) *disposition = created ? kCreatedNewKey : kOpenedExistingKey;
        *result = (id == 0 && t.handle == nullptr) ? parent : addHandle(t.hive, id, rights);
        return kSuccess;
    });
}

long SqliteRegistry::openKeyEx(Key parent, const char* subKey, std::uint32_t access,
                               Key* result) {
    std::lock_guard<std::mutex> lock(mutex_);
    return guarded([&]() -> long {
        checkFork();
        if (result == nullptr) return kInvalidParameter;
        *result = kNullKey;
        Target t;
        if (long rc = resolve(parent, t)) return rc;
        std::vector<std::string_view> parts;
        if (long rc = splitPath(subKey, parts)) return rc;
        std::uint32_t rights = grantedRights(access);
        std::int64_t id = 0;
        long rc = withRead(t.hive, [&](Connection& c, std::uint64_t) -> long {
            if (!keyAlive(c, t.id)) return kKeyDeleted;
            return walk(c, t.id, parts, id);
        });
        if (rc != kSuccess) return rc;
        Hive& h = hives_[t.hive];
        if (wantsWrite(rights) && h.connection && h.connection->readOnly()) {
            throw Failure{kAccessDenied, h.path + ": the registry hive is read-only"};
        }
        *result = (id == 0 && t.handle == nullptr) ? parent : addHandle(t.hive, id, rights);
        return kSuccess;
    });
}

long SqliteRegistry::deleteKey(Key key, const char* subKey) {
    std::lock_guard<std::mutex> lock(mutex_);
    return guarded([&]() -> long {
        checkFork();
        Target t;
        if (long rc = resolve(key, t)) return rc;
        std::vector<std::string_view> parts;
        if (long rc = splitPath(subKey, parts)) return rc;
        if (parts.empty() && t.id == 0) return kAccessDenied;  // a hive's root stays
        if (hiveFileMissing(t.hive)) return t.id == 0 ? kFileNotFound : kKeyDeleted;
        return withWrite(t.hive, [&](Connection& c) -> long {
            if (!keyAlive(c, t.id)) return kKeyDeleted;
            std::int64_t id = 0;
            if (long rc = walk(c, t.id, parts, id)) return rc;
            {
                Use u(c, Sql::hasChild);
                u.bind(1, id);
                if (u.step()) return kAccessDenied;
            }
            Use(c, Sql::deleteKeyValues).bind(1, id).step();
            Use(c, Sql::deleteKeyRow).bind(1, id).step();
            return kSuccess;
        });
    });
}

SqliteRegistry::StoreStamp SqliteRegistry::stampOf(Connection& c, std::uint64_t epoch) {
    StoreStamp stamp;
    stamp.epoch = epoch;
    Use v(c, Sql::dataVersion);
    v.step();
    stamp.dataVersion = v.integer(0);
    stamp.totalChanges = c.totalChanges();
    return stamp;
}

long SqliteRegistry::enumKey(Key key, std::uint32_t index, char* name, std::uint32_t nameSize) {
    std::lock_guard<std::mutex> lock(mutex_);
    return guarded([&]() -> long {
        checkFork();
        Target t;
        if (long rc = resolve(key, t)) return rc;
        if (name == nullptr) return kInvalidParameter;
        if ((t.access & kEnumerateSubKeys) == 0) return kAccessDenied;
        std::string found;
        long rc = withRead(t.hive, [&](Connection& c, std::uint64_t epoch) -> long {
            if (!keyAlive(c, t.id)) return kKeyDeleted;
            Cursor& cur = keyCursor(t);
            const StoreStamp now = stampOf(c, epoch);
            const bool follow = cur.leadsTo(now, index);
            Use u(c, follow ? Sql::childAfter : Sql::childAtOffset);
            u.bind(1, t.id);
            if (follow) {
                u.bind(2, cur.lastSortName);
            } else {
                u.bind(2, static_cast<std::int64_t>(index));
            }
            if (!u.step()) {
                cur.valid = false;
                return kNoMoreItems;
            }
            found.assign(u.bytes(0));
            cur.standAt(now, index);
            cur.lastSortName.assign(u.bytes(1));
            return kSuccess;
        });
        if (rc != kSuccess) return rc;
        if (found.size() + 1 > nameSize) return kMoreData;
        std::memcpy(name, found.data(), found.size());
        name[found.size()] = '\0';
        return kSuccess;
    });
}

long SqliteRegistry::closeKey(Key key) {
    std::lock_guard<std::mutex> lock(mutex_);
    return guarded([&]() -> long {
        if (isRootKey(key)) return kSuccess;
        return handles_.erase(key.value) == 1 ? kSuccess : kInvalidHandle;
    });
}

// ---- values ----------------------------------------------------------------

long SqliteRegistry::queryValueEx(Key key, const char* valueName, std::uint32_t* type,
                                  unsigned char* data, std::uint32_t* size) {
    std::lock_guard<std::mutex> lock(mutex_);
    return guarded([&]() -> long {
        checkFork();
        Target t;
        if (long rc = resolve(key, t)) return rc;
        if (data != nullptr && size == nullptr) return kInvalidParameter;
        if ((t.access & kQueryValue) == 0) return kAccessDenied;
        std::string_view vname;
        if (long rc = checkValueName(valueName, vname)) return rc;
        std::string upper = sortName(vname);
        std::uint32_t storedType = 0;
        std::string bytes;
        long rc = withRead(t.hive, [&](Connection& c, std::uint64_t) -> long {
            if (!keyAlive(c, t.id)) return kKeyDeleted;
            Use u(c, Sql::queryValue);
            u.bind(1, t.id).bind(2, upper);
            if (!u.step()) return kFileNotFound;
            storedType = static_cast<std::uint32_t>(u.integer(0));
            bytes.assign(u.bytes(1));
            return kSuccess;
        });
        if (rc != kSuccess) return rc;
        std::uint32_t need = static_cast<std::uint32_t>(bytes.size());
        if (data != nullptr && *size < need) {
            *size = need;
            if (type) *type = storedType;
            return kMoreData;
        }
        if (data != nullptr) std::memcpy(data, bytes.data(), bytes.size());
        if (size) *size = need;
        if (type) *type = storedType;
        return kSuccess;
    });
}

long SqliteRegistry::setValueEx(Key key, const char* valueName, std::uint32_t type,
                                const unsigned char* data, std::uint32_t size) {
    std::lock_guard<std::mutex> lock(mutex_);
    return guarded([&]() -> long {
        checkFork();
        Target t;
        if (long rc = resolve(key, t)) return rc;
        if (data == nullptr && size != 0) return kInvalidParameter;
        if ((t.access & kSetValue) == 0) return kAccessDenied;
        std::string_view vname;
        if (long rc = checkValueName(valueName, vname)) return rc;
        std::string upper = sortName(vname);
        std::string_view bytes(reinterpret_cast<const char*>(data), data ? size : 0);
        return withWrite(t.hive, [&](Connection& c) -> long {
            if (!keyAlive(c, t.id)) return kKeyDeleted;
            Use u(c, Sql::upsertValue);
            u.bind(1, t.id).bind(2, vname).bind(3, upper);
            u.bind(4, static_cast<std::int64_t>(type)).bind(5, bytes);
            u.step();
            return kSuccess;
        });
    });
}

long SqliteRegistry::deleteValue(Key key, const char* valueName) {
    std::lock_guard<std::mutex> lock(mutex_);
    return guarded([&]() -> long {
        checkFork();
        Target t;
        if (long rc = resolve(key, t)) return rc;
        if ((t.access & kSetValue) == 0) return kAccessDenied;
        std::string_view vname;
        if (long rc = checkValueName(valueName, vname)) return rc;
        if (hiveFileMissing(t.hive)) return t.id == 0 ? kFileNotFound : kKeyDeleted;
        std::string upper = sortName(vname);
        return withWrite(t.hive, [&](Connection& c) -> long {
            if (!keyAlive(c, t.id)) return kKeyDeleted;
            Use u(c, Sql::deleteValue);
            u.bind(1, t.id).bind(2, upper);
            u.step();
            return u.changes() == 0 ? kFileNotFound : kSuccess;
        });
    });
}

long SqliteRegistry::enumValue(Key key, std::uint32_t index, char* name, std::uint32_t* nameSize,
                               std::uint32_t* type, unsigned char* data,
                               std::uint32_t* dataSize) {
    std::lock_guard<std::mutex> lock(mutex_);
    return guarded([&]() -> long {
        checkFork();
        Target t;
        if (long rc = resolve(key, t)) return rc;
        if (name == nullptr || nameSize == nullptr) return kInvalidParameter;
        if (data != nullptr && dataSize == nullptr) return kInvalidParameter;
        if ((t.access & kQueryValue) == 0) return kAccessDenied;
        std::string foundName;
        std::string bytes;
        std::uint32_t storedType = 0;
        long rc = withRead(t.hive, [&](Connection& c, std::uint64_t epoch) -> long {
            if (!keyAlive(c, t.id)) return kKeyDeleted;
            Cursor& cur = valueCursor(t);
            const StoreStamp now = stampOf(c, epoch);
            const bool follow = cur.leadsTo(now, index);
            Use u(c, follow ? Sql::valueAfter : Sql::valueAtOffset);
            u.bind(1, t.id).bind(2, follow ? cur.lastId : static_cast<std::int64_t>(index));
            if (!u.step()) {
                cur.valid = false;
                return kNoMoreItems;
            }
            foundName.assign(u.bytes(1));
            storedType = static_cast<std::uint32_t>(u.integer(2));
            bytes.assign(u.bytes(3));
            cur.standAt(now, index);
            cur.lastId = u.integer(0);
            return kSuccess;
        });
        if (rc != kSuccess) return rc;
        if (foundName.size() + 1 > *nameSize) return kMoreData;
        std::memcpy(name, foundName.data(), foundName.size());
        name[foundName.size()] = '\0';
        *nameSize = static_cast<std::uint32_t>(foundName.size());
        if (type) *type = storedType;
        std::uint32_t need = static_cast<std::uint32_t>(bytes.size());
        if (data != nullptr && *dataSize < need) {
            *dataSize = need;
            return kMoreData;
        }
        if (data != nullptr) std::memcpy(data, bytes.data(), bytes.size());
        if (dataSize) *dataSize = need;
        return kSuccess;
    });
}

// ---- batches ---------------------------------------------------------------

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
