// One hive file opened through hivex: read into memory when first used,
// changed in memory, and written back only by commit(), which writes a new
// file beside it, syncs it and renames it over the old one (then syncs the
// directory), so that a crash leaves the old hive or the new one.
//
// One writer at a time: the first change takes an exclusive flock on the
// hive file and checks that the file is still the one that was read; a
// second writer, or a file replaced meanwhile, is refused with kAccessDenied
// and a reason, never merged over. The lock is held until the HiveFile goes.
// A file hivex cannot parse gives kBadDb and is never written.
//
// The first change also makes the new file and reserves the hive's size for
// it, so that a change that could not be saved fails there and then. A new
// file left by a writer that was killed is removed at the next load, under
// the lock.
//
// A hive whose two sequence numbers differ was not shut down cleanly: its
// .LOG1/.LOG2 files hold changes the file lacks. It is read with a warning
// on standard error, and writing it is refused (kAccessDenied) unless the
// owner accepts losing those changes.
//
// Thread safety: none; the owner serializes calls.
#pragma once

#include <sys/types.h>

#include <string>

typedef struct hive_h hive_h;

namespace vrk::reg::hive {

struct HiveAdditions;

// Called by commit() after the new file is complete and synced and before it
// is renamed over the hive (tests stop the process there).
using CommitHook = void (*)(const char* newFile);
void setCommitHookForTesting(CommitHook hook);

class HiveFile {
public:
    // discardLogs: an unclean hive may be written, losing its logs' changes.
    explicit HiveFile(std::string path, bool discardLogs = false);
    ~HiveFile();
    HiveFile(const HiveFile&) = delete;
    HiveFile& operator=(const HiveFile&) = delete;

    const std::string& path() const { return path_; }

    // Reads the hive. kFileNotFound when the file is missing, kBadDb when
    // hivex cannot parse it, kAccessDenied when it cannot be read; *detail
    // says why.
    long load(std::string* detail);
    // The open hive (after a successful load).
    hive_h* handle() const { return hive_; }

    // Makes the hive writable for this process (the lock and its checks).
    // Call before the first change of the in-memory hive.
    long beginWrite(std::string* detail);
    // Whether the hive was shut down cleanly (after a successful load).
    bool clean() const { return sequence1_ == sequence2_; }

    // Notes that the in-memory hive differs from the file.
    void markChanged() { changed_ = true; }
    bool changed() const { return changed_; }

    // Writes the in-memory hive over the file, if it changed, with the keys
    // the owner keeps beside hivex's hive (hive_additions.hpp).
    long commit(std::string* detail, const HiveAdditions* additions = nullptr);
    // Drops the in-memory changes: reads the file again.
    long reload(std::string* detail);

private:
    struct Identity {
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        long long mtimeNs = 0;
        friend bool operator==(const Identity&, const Identity&) = default;
    };
    static bool identityOf(int fd, Identity& id);
    static bool identityOf(const std::string& path, Identity& id);
    void unlock();
    // Makes the new file and reserves room for the hive in it.
    long reserveNewFile(std::string* detail);
    // Removes a new file that no commit of ours is writing.
    void removeStaleNewFile();
    std::string newFile() const { return path_ + ".vrk-new"; }

    std::string path_;
    hive_h* hive_ = nullptr;
    Identity loaded_;  // the file as last read or written by us
    int lockFd_ = -1;  // holds the exclusive lock while >= 0
    bool changed_ = false;
    bool discardLogs_ = false;
    bool reserved_ = false;  // the new file is ours and not yet renamed
    unsigned sequence1_ = 0, sequence2_ = 0;
};

}  // namespace vrk::reg::hive
