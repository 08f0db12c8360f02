// The Linux registry backend: a store with the Windows registry's behaviour,
// kept in SQLite. The hives that share a directory of the StoreLocation share
// one database file there (kStoreFileName): all four when both directories
// are the same, otherwise the three machine hives in one file and
// HKEY_CURRENT_USER in another.
//
// Each call is one transaction in a write-ahead log, so it is atomic, other
// processes see it at once, and a crash of the process loses nothing once it
// returns. Commits are not synced one by one: the log is synced by flushKey,
// and when the registry of a process that changed the store is destroyed
// (at normal exit for the platform's registry); it is then also written back
// into the store file (a checkpoint) as far as other processes' readers and
// writers allow without waiting for them. An OS crash or a
// power loss can lose the changes since the last of these, never the store's
// consistency. Calls that only read take no write lock: a create of a key
// that exists opens it in a read transaction. Key ids
// are never reused, so a handle whose key was deleted keeps failing with
// kKeyDeleted even after a key of the same name appears again.
//
// A store of the earlier layout (one file per hive, hiveFileName) is moved
// into the shared file when that file is first opened; see adoptOldHives.
//
// Thread safety: calls from several threads are serialised by one lock; a
// Key handle is used by one thread at a time. A batch belongs to the thread
// that began it (see beginBatch). A process that forks gets fresh
// connections in the child on its first call there.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "registry/iregistry.hpp"
#include "registry/sqlite/sqlite_db.hpp"
#include "registry/sqlite/store_location.hpp"

namespace vrk::reg {

class SqliteRegistry final : public Registry {
public:
    // A store whose hives live in where's directories; nothing is opened or
    // created until the first call that needs it.
    explicit SqliteRegistry(const StoreLocation& where);
    ~SqliteRegistry() override;
    SqliteRegistry(const SqliteRegistry&) = delete;
    SqliteRegistry& operator=(const SqliteRegistry&) = delete;

    long createKeyEx(Key parent, const char* subKey, std::uint32_t options, std::uint32_t access,
                     Key* result, std::uint32_t* disposition) override;
    long createKeyExWithClass(Key parent, const char* subKey, const char* keyClass,
                              std::uint32_t options, std::uint32_t access, Key* result,
                              std::uint32_t* disposition) override;
    long queryInfoKey(Key key, char* keyClass, std::uint32_t* classSize, KeyInfo* info) override;
    long openKeyEx(Key parent, const char* subKey, std::uint32_t access, Key* result) override;
    long queryValueEx(Key key, const char* valueName, std::uint32_t* type, unsigned char* data,
                      std::uint32_t* size) override;
    long setValueEx(Key key, const char* valueName, std::uint32_t type, const unsigned char* data,
                    std::uint32_t size) override;
    long deleteKey(Key key, const char* subKey) override;
    long deleteValue(Key key, const char* valueName) override;
    long enumKey(Key key, std::uint32_t index, char* name, std::uint32_t nameSize) override;
    long enumValue(Key key, std::uint32_t index, char* name, std::uint32_t* nameSize,
                   std::uint32_t* type, unsigned char* data, std::uint32_t* dataSize) override;
    long closeKey(Key key) override;
    // Checkpoints the store file of key's hive: the log is written into the
    // file, both are synced and the log is emptied. Inside a batch of this
    // thread the flush happens when the batch commits (best effort there: a
    // flush kept busy leaves the commit standing and waits for the next).
    // kRegistryIoFailed when other processes kept the log busy beyond the
    // busy limit.
    long flushKey(Key key) override;

    // A batch holds one transaction open on the store file it changes until
    // commitBatch or rollbackBatch, so it commits all or nothing, a crash
    // included; batches nest (the outermost one counts). A committed batch
    // is flushed to disk like any call (flushKey, or when the registry goes).
    // A batch belongs to the thread
    // that began it: calls of other threads wait until it ends (up to the
    // busy limit; then they fail with kRegistryIoFailed), so that one
    // thread's rollback never takes another's changes. A batch changes
    // one file only: a call inside a batch that would change a hive kept in
    // another file than the batch's earlier changes fails with
    // kNotSupported (lastFailureDetail names both hives and files) and
    // changes nothing; the caller then rolls the batch back.
    // commitBatch and rollbackBatch without an open batch: kInvalidParameter.
    long beginBatch() override;
    long commitBatch() override;
    long rollbackBatch() override;

    const char* lastFailureDetail() const override;

    // The file that holds a root's hive; "" for a key that is not a root.
    std::string hivePath(Key root) const;
    // The id of a root's own row in its store file.
    static std::int64_t rootId(int hive) { return hive + 1; }

private:
    // What a connection has seen of its hive: equal stamps mean nothing
    // changed in between, in this process or another. walHeader is the
    // write-ahead log's index header, read without a lock, which every
    // commit of any connection changes; when it cannot be read, dataVersion
    // (PRAGMA data_version) stands in. totalChanges covers this connection's
    // changes inside a batch, which no header shows yet, and rollbacks the
    // end of a batch, which undoes changes without counting any.
    struct StoreStamp {
        std::uint64_t epoch = 0;
        std::uint64_t rollbacks = 0;
        std::int64_t dataVersion = 0;
        std::int64_t totalChanges = 0;
        sqlitedb::WalHeader walHeader{};
        friend bool operator==(const StoreStamp&, const StoreStamp&) = default;
    };
    // Where a walk of values by increasing index stands, so that the next
    // index continues from the last row instead of counting from the start.
    struct Cursor {
        bool valid = false;
        StoreStamp stamp;
        std::uint32_t index = 0;
        std::int64_t lastId = 0;

        // Whether index next continues from here: the row after the last
        // one, or the last one again (a caller that asked for the sizes
        // first and now fetches the data).
        bool leadsTo(const StoreStamp& now, std::uint32_t next) const {
            return valid && stamp == now && (next == index + 1 || next == index);
        }
        void standAt(const StoreStamp& now, std::uint32_t at) {
            valid = true;
            stamp = now;
            index = at;
        }
    };
    // The first subkey names of a key in enumeration order, as read so far
    // (more are read as a walk goes past the end): they hold, and so does
    // the key itself, while the file's stamp stays the one they were read
    // or checked at. After a change elsewhere a short complete list is
    // checked against the key's count of subkeys and the highest subkey id: a key
    // never changes its name or place, and ids are never reused, so the
    // set of subkeys is the same exactly when both are.
    struct SubkeyList {
        bool read = false;
        StoreStamp stamp;
        std::int64_t count = 0;           // names read
        std::int64_t maxId = 0;           // their highest id
        std::string names;                // one after another
        std::vector<std::uint32_t> ends;  // where each name ends in names
        std::vector<std::int64_t> ids;    // each name's key
        std::string lastSortName;         // of the last name read
        bool complete = false;            // no subkey follows the last one
        std::uint64_t generation = 0;     // of the keys it was read from, 0 for none
        std::size_t size() const { return ends.size(); }
        std::string_view at(std::size_t i) const {
            const std::uint32_t begin = i == 0 ? 0 : ends[i - 1];
            return std::string_view(names).substr(begin, ends[i] - begin);
        }
    };
    // What single-statement reads found while a file's stamp stayed the
    // same: subkey ids by parent and name, keys alive, and small values.
    // Valid only as long as the stamp; emptied when it changes or when it
    // grows too large.
    struct FoundCache {
        StoreStamp stamp;
        std::unordered_map<std::string, std::int64_t> children;  // lookupKey -> child id
        std::unordered_map<std::int64_t, bool> alive;
        struct Value {
            std::uint32_t type;
            std::string bytes;
        };
        std::unordered_map<std::string, Value> values;  // lookupKey -> value
        std::size_t size = 0;                           // bytes held, roughly
    };
    struct Handle {
        int hive;
        std::int64_t id;
        std::uint32_t access;
        std::size_t depth;  // levels below the root
        Cursor values;
    };
    // One database file and the hives it holds.
    struct StoreFile {
        std::string directory;
        std::string path;
        bool machine = false;  // holds a machine-wide hive
        std::vector<int> hives;
        std::unique_ptr<sqlitedb::Connection> connection;
        bool ready = false;          // the schema is there and ours
        bool inBatch = false;        // the batch's transaction is open on the connection
        bool changed = false;        // this process committed to it since its last checkpoint
        bool flushAtCommit = false;  // flushKey was called inside the open batch
        std::uint64_t epoch = 0;
        std::uint64_t rollbacks = 0;  // batches ended on this file
        // The subkey lists read from this file, by key id.
        std::unordered_map<std::int64_t, SubkeyList> subkeyLists;
        FoundCache found;
    };
    // A key named by a handle or a root.
    struct Target {
        int hive = -1;
        std::int64_t id = 0;  // rootId(hive) for a root
        std::uint32_t access = 0;
        Handle* handle = nullptr;  // null for a root
        std::size_t depth = 0;     // levels below the root
    };

    template <class F>
    long guarded(F&& body);
    template <class F>
    long withRead(int hive, F&& body);
    template <class F>
    long withWrite(int hive, F&& body);
    template <class F>
    bool quickRead(int hive, F&& body);

    void checkFork();
    // Starts a call under lock: a fresh start after a fork, and a wait while
    // another thread's batch is open.
    void enterCall(std::unique_lock<std::mutex>& lock);
    // Syncs f's log, then writes it back as far as other connections allow
    // at once (see flushKey); throws Failure when the log cannot be synced.
    void checkpoint(StoreFile& f);
    long resolve(Key key, Target& target);
    sqlitedb::Connection& readConnection(int hive, std::uint64_t& epoch);
    // The empty hive read where a store file is not there yet.
    sqlitedb::Connection& emptyHive();
    sqlitedb::Connection& writeConnection(int hive);
    bool hiveFileMissing(int hive) const;
    StoreFile& fileOf(int hive) { return files_[fileIndex_[hive]]; }
    const StoreFile& fileOf(int hive) const { return files_[fileIndex_[hive]]; }
    void adoptOldHives(StoreFile& f);
    [[noreturn]] void refuseSecondFile(int hive) const;
    // At a file's first use: drops its volatile keys when the system has
    // restarted since it was last opened (forgetEarlierBoots).
    void forgetVolatileKeysOfEarlierBoots(StoreFile& f);
    // The stamp inside a transaction on c.
    StoreStamp stampOf(int hive, sqlitedb::Connection& c, std::uint64_t epoch);
    // The stamp of a hive's store now, read alone (no transaction of its
    // own; no lock at all when the log's header can be read); false when
    // the file is not there yet or the store is busy.
    bool currentStamp(int hive, StoreStamp& stamp);
    // The found cache of a hive's file, emptied unless it was filled at
    // now; null when now could not be taken (stamped false).
    FoundCache* foundCache(int hive, bool stamped, const StoreStamp& now);
    // Follows parts below start with single-statement reads (quickRead),
    // taking what the found cache knows; true when every level was found.
    bool quickPath(int hive, std::int64_t start, const std::vector<std::string_view>& parts,
                   std::int64_t& id);
    // The subkey list of target's key, read at least as far as index while
    // the stamp stays now; kKeyDeleted when the key is gone.
    long subkeyList(const Target& target, const StoreStamp& now, std::uint32_t index,
                    SubkeyList*& list);
    // enumKey from the list at hand (atHand_), without a transaction or a
    // lookup, while the store's stamp is still the one the list holds at;
    // false when it cannot answer so (the call then goes the long way).
    bool enumAtHand(Key key, std::uint32_t index, char* name, std::uint32_t nameSize, long& rc);
    Cursor& valueCursor(const Target& target);
    Key addHandle(int hive, std::int64_t id, std::uint32_t access, std::size_t depth);

    std::mutex mutex_;
    std::vector<StoreFile> files_;
    int fileIndex_[4] = {};
    std::unique_ptr<sqlitedb::Connection> empty_;  // an empty hive, in memory
    std::unordered_map<std::uintptr_t, Handle> handles_;
    // The subkey list the last enumKey answered from, for the next call on
    // the same key (a walk asks for one index after another). Cleared when
    // the handle is closed, the list dropped or the process forked.
    struct ListAtHand {
        std::uintptr_t key = 0;
        int hive = 0;
        std::uint32_t access = 0;
        const SubkeyList* list = nullptr;
    };
    ListAtHand atHand_;
    std::uintptr_t nextHandle_ = 0x1000;
    Cursor rootValueCursors_[4];
    unsigned batchDepth_ = 0;
    std::thread::id batchOwner_;          // the thread whose batch is open
    std::condition_variable batchEnded_;  // signalled when a batch ends
    int batchHive_ = -1;                  // the first hive the open batch changed
    std::uint64_t epochs_ = 0;
    pid_t pid_;
    unsigned forks_;  // forks counted when pid_ was last checked
};

}  // namespace vrk::reg
