// SqliteRegistry's move of a store of the earlier layout (one file per hive,
// HKEY_LOCAL_MACHINE.db and so on) into the store file of its directory.
//
// It happens when a store file is first opened and a hive file of the earlier
// layout lies in its directory. Under an exclusive lock on the directory the
// hives are copied, in one transaction, into a new file beside the store
// file, which then takes the store file's name in one rename; only after
// that are the old files renamed to "<name>.migrated" (kept as they were).
// The new file lists the files it took in (table adopted). A crash at any
// point leaves either the old files alone, to be moved at the next open, or
// the store file whole; old files it already took in are then renamed at the
// next open. An old hive file beside a store file that did not take it in is
// refused with kBadDb, never silently ignored.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "registry/sqlite/sqlite_file_modes.hpp"
#include "registry/sqlite/sqlite_registry_support.hpp"
#include "registry/sqlite/sqlite_schema.hpp"

namespace vrk::reg {

using namespace sqlitestore;

namespace {

// An exclusive lock on a directory, held until destroyed.
class DirectoryLock {
public:
    explicit DirectoryLock(const std::string& directory) {
        fd_ = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd_ < 0) failWith(directory, "cannot open the directory");
        int rc;
        do {
            rc = ::flock(fd_, LOCK_EX);
        } while (rc != 0 && errno == EINTR);
        if (rc != 0) failWith(directory, "cannot lock the directory");
    }
    ~DirectoryLock() {
        if (fd_ >= 0) ::close(fd_);  // drops the lock
    }
    DirectoryLock(const DirectoryLock&) = delete;
    DirectoryLock& operator=(const DirectoryLock&) = delete;

private:
    [[noreturn]] static void failWith(const std::string& directory, const char* what) {
        int err = errno;
        throw Failure{kAccessDenied, directory + ": " + what + ": " + std::strerror(err)};
    }
    int fd_ = -1;
};

void removeDatabaseFiles(const std::string& path) {
    for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
        (void)::unlink((path + suffix).c_str());
    }
}

// Renames a hive file that the store took in (and its log) out of the way.
void renameTakenIn(const std::string& old) {
    const std::string kept = old + ".migrated";
    if (::rename(old.c_str(), kept.c_str()) != 0) {
        int err = errno;
        throw Failure{kAccessDenied, old + ": cannot rename it to " + kept +
                                         " after moving it "
                                         "into the registry store: " +
                                         std::strerror(err)};
    }
    (void)::rename((old + "-wal").c_str(), (kept + "-wal").c_str());
    (void)::unlink((old + "-shm").c_str());
}

void attach(Connection& c, const std::string& path, const std::string& as) {
    const std::string sql = "ATTACH DATABASE ?1 AS " + as;
    sqlite3_stmt* s = nullptr;
    int rc = sqlite3_prepare_v2(c.db(), sql.c_str(), -1, &s, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_bind_text(s, 1, path.c_str(), -1, SQLITE_TRANSIENT);
    if (rc == SQLITE_OK) rc = sqlite3_step(s);
    sqlite3_finalize(s);
    if (rc != SQLITE_DONE && rc != SQLITE_OK) c.fail(rc);
}

// Copies the hive in attached database from below the root row root: key ids
// are shifted past those already there, the old root (id 0) becomes root.
// Names and data are taken as the bytes the store binds (BLOBs), whatever
// another program may have written; the folded names are the old ones until
// refoldNames gives them those of this version.
void copyHive(Connection& c, const std::string& from, std::int64_t root) {
    const long long offset = c.queryInt("SELECT max(id) FROM main.keys");
    const long long r = root;
    char sql[512];
    std::snprintf(sql, sizeof sql,
                  "INSERT INTO main.keys(id, parent, name, sortname) "
                  "SELECT id + %lld, CASE parent WHEN 0 THEN %lld ELSE parent + %lld END, "
                  "CAST(name AS BLOB), CAST(sortname AS BLOB) FROM %s.keys ORDER BY id",
                  offset, r, offset, from.c_str());
    c.exec(sql);
    std::snprintf(sql, sizeof sql,
                  "INSERT INTO main.vals(key, name, upname, type, data) "
                  "SELECT CASE key WHEN 0 THEN %lld ELSE key + %lld END, CAST(name AS BLOB), "
                  "CAST(upname AS BLOB), type, CAST(data AS BLOB) FROM %s.vals ORDER BY id",
                  r, offset, from.c_str());
    c.exec(sql);
}

}  // namespace

void SqliteRegistry::adoptOldHives(StoreFile& f) {
    auto oldPath = [&](int hive) {
        return f.directory + "/" + hiveFileName(Key{kClassesRoot.value + hive});
    };
    auto present = [&]() {
        std::vector<int> found;
        for (int h : f.hives) {
            if (fileExists(oldPath(h))) found.push_back(h);
        }
        return found;
    };
    if (present().empty()) return;
    if (::access(f.directory.c_str(), W_OK | X_OK) != 0) {
        int err = errno;
        throw Failure{kAccessDenied, f.directory +
                                         ": holds registry hives of the earlier one-file-per-hive "
                                         "layout, to be moved into " +
                                         kStoreFileName +
                                         " by a first use with write access to the directory: " +
                                         std::strerror(err)};
    }
    DirectoryLock lock(f.directory);
    const std::vector<int> old = present();  // another process may have moved them meanwhile
    if (old.empty()) return;
    if (f.machine) {
        for (int h : old) checkFileOwnership(oldPath(h));
    }

    if (fileExists(f.path)) {
        // Finish an interrupted move; refuse a file the store never took in.
        auto c = Connection::open(f.path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
        sqlite3_busy_timeout(c->db(), kBusyWaitMs);
        const bool listed =
            c->queryInt("SELECT count(*) FROM sqlite_master WHERE name = 'adopted'") > 0;
        for (int h : old) {
            const std::string sql = std::string("SELECT count(*) FROM adopted WHERE file = '") +
                                    hiveFileName(Key{kClassesRoot.value + h}) + "'";
            if (!listed || c->queryInt(sql.c_str()) == 0) {
                throw Failure{kBadDb, oldPath(h) +
                                          ": a registry hive of the earlier "
                                          "one-file-per-hive layout beside the store "
                                          "file " +
                                          f.path +
                                          ", which holds its hive and does not read this "
                                          "file: move one of them away"};
            }
            renameTakenIn(oldPath(h));
        }
        syncDirectory(f.directory);
        return;
    }

    const std::string temp = f.path + ".migrating";
    removeDatabaseFiles(temp);
    try {
        createFile(temp, f.machine ? kMachineFileMode : kUserFileMode);
        {
            auto c = Connection::open(
                temp, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX);
            sqlite3_busy_timeout(c->db(), kBusyWaitMs);
            c->exec("PRAGMA synchronous = FULL");
            std::vector<std::string> names;
            for (int h : old) {
                names.push_back("hive" + std::to_string(h));
                attach(*c, oldPath(h), names.back());
                Schema s = inspect(*c, names.back().c_str());
                if (s != Schema::oldHive && s != Schema::blank) {
                    refuse(oldPath(h), s == Schema::ours ? Schema::foreign : s);
                }
            }
            c->exec("BEGIN IMMEDIATE");
            createSchema(*c);
            c->exec("CREATE TABLE adopted(file TEXT NOT NULL)");
            for (std::size_t i = 0; i < old.size(); ++i) {
                const std::string table =
                    "SELECT count(*) FROM " + names[i] + ".sqlite_master WHERE name = 'keys'";
                if (c->queryInt(table.c_str()) > 0) copyHive(*c, names[i], rootId(old[i]));
                const std::string note = std::string("INSERT INTO adopted VALUES('") +
                                         hiveFileName(Key{kClassesRoot.value + old[i]}) + "')";
                c->exec(note.c_str());
            }
            refoldNames(*c);
            giveKeysATime(*c);
            c->exec("COMMIT");
            for (const std::string& n : names) c->exec(("DETACH DATABASE " + n).c_str());
            c->exec("PRAGMA journal_mode = WAL");
        }
        if (::rename(temp.c_str(), f.path.c_str()) != 0) {
            int err = errno;
            throw Failure{kAccessDenied,
                          temp + ": cannot rename it to " + f.path + ": " + std::strerror(err)};
        }
    } catch (...) {
        removeDatabaseFiles(temp);
        throw;
    }
    syncDirectory(f.directory);
    for (int h : old) renameTakenIn(oldPath(h));
    syncDirectory(f.directory);
}

}  // namespace vrk::reg
