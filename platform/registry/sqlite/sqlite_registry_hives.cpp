// SqliteRegistry's hive files and their connections: construction and
// destruction, the schema and the check that a file is one of our hives,
// connection settings, directory creation, opening a hive for reading or
// writing, and the fresh start of a forked child.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/registry/sqlite/sqlite_registry_support.hpp"

namespace vrk::reg {

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

}  // namespace vrk::reg
