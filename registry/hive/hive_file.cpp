// HiveFile: loading through hivex, the writer's lock, atomic commits.
#include "registry/hive/hive_file.hpp"

#include <fcntl.h>
#include <hivex.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "registry/hive/hive_compact.hpp"
#include "registry/iregistry.hpp"

namespace vrk::reg::hive {

namespace {

CommitHook commitHook = nullptr;

std::string directoryOf(const std::string& path) {
    std::size_t cut = path.rfind('/');
    if (cut == std::string::npos) return ".";
    if (cut == 0) return "/";
    return path.substr(0, cut);
}

bool syncPath(const std::string& path, int flags) {
    int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::fsync(fd) == 0 || errno == EINVAL;  // some file systems cannot sync a directory
    ::close(fd);
    return ok;
}

std::string reason(const std::string& path, const char* what, int err) {
    return path + ": " + what + ": " + std::strerror(err);
}

}  // namespace

void setCommitHookForTesting(CommitHook hook) { commitHook = hook; }

HiveFile::HiveFile(std::string path, bool discardLogs)
    : path_(std::move(path)), discardLogs_(discardLogs) {}

HiveFile::~HiveFile() {
    if (hive_ != nullptr) hivex_close(hive_);
    unlock();
}

// The base block's two sequence numbers; false when they cannot be read.
static bool readSequenceNumbers(const std::string& path, unsigned& first, unsigned& second) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    unsigned char block[12];
    const bool ok = ::pread(fd, block, sizeof block, 0) == static_cast<ssize_t>(sizeof block);
    ::close(fd);
    if (!ok) return false;
    const auto at = [&](int i) {
        return unsigned(block[i]) | unsigned(block[i + 1]) << 8 | unsigned(block[i + 2]) << 16 |
               unsigned(block[i + 3]) << 24;
    };
    first = at(4);
    second = at(8);
    return true;
}

void HiveFile::removeStaleNewFile() {
    if (::access(newFile().c_str(), F_OK) != 0) return;
    if (lockFd_ >= 0) {
        if (!reserved_) ::unlink(newFile().c_str());
        return;
    }
    int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    // Only while no writer holds the hive: a writer's new file is its own.
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) ::unlink(newFile().c_str());
    ::close(fd);
}

long HiveFile::reserveNewFile(std::string* detail) {
    struct stat st {};
    const off_t size = ::stat(path_.c_str(), &st) == 0 ? st.st_size : 0;
    int fd = ::open(newFile().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        *detail = reason(newFile(), "cannot make the new hive file", errno);
        return errno == EACCES ? kAccessDenied : kRegistryIoFailed;
    }
    // Room for the hive as it is now and a little growth.
    const int err = ::posix_fallocate(fd, 0, size + 0x10000);
    ::close(fd);
    if (err != 0) {
        ::unlink(newFile().c_str());
        *detail = reason(newFile(), "no room for the new hive file", err) + "; nothing was changed";
        return kRegistryIoFailed;
    }
    reserved_ = true;
    return kSuccess;
}

bool HiveFile::identityOf(int fd, Identity& id) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;
    id = Identity{st.st_dev, st.st_ino, st.st_size,
                  static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec};
    return true;
}

bool HiveFile::identityOf(const std::string& path, Identity& id) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    id = Identity{st.st_dev, st.st_ino, st.st_size,
                  static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec};
    return true;
}

void HiveFile::unlock() {
    if (reserved_) ::unlink(newFile().c_str());
    reserved_ = false;
    if (lockFd_ >= 0) ::close(lockFd_);
    lockFd_ = -1;
}

long HiveFile::load(std::string* detail) {
    if (hive_ != nullptr) {
        hivex_close(hive_);
        hive_ = nullptr;
    }
    Identity before;
    if (!identityOf(path_, before)) {
        int err = errno;
        *detail = reason(path_, "cannot read the hive", err);
        return err == ENOENT || err == ENOTDIR ? kFileNotFound
               : err == EACCES                 ? kAccessDenied
                                               : kRegistryIoFailed;
    }
    removeStaleNewFile();
    errno = 0;
    hive_ = hivex_open(path_.c_str(), HIVEX_OPEN_WRITE);
    if (hive_ == nullptr) {
        int err = errno;
        if (err == EACCES) {
            *detail = reason(path_, "cannot read the hive", err);
            return kAccessDenied;
        }
        if (err == ENOMEM) return kNotEnoughMemory;
        *detail = path_ + ": not a hive file hivex can read (" + std::strerror(err) + ")";
        return kBadDb;
    }
    loaded_ = before;
    changed_ = false;
    if (readSequenceNumbers(path_, sequence1_, sequence2_) && sequence1_ != sequence2_) {
        std::fprintf(stderr,
                     "vrk: warning: %s was not shut down cleanly (sequence numbers %u and %u): "
                     "changes kept in its .LOG1/.LOG2 files are not read\n",
                     path_.c_str(), sequence1_, sequence2_);
    }
    return kSuccess;
}

long HiveFile::beginWrite(std::string* detail) {
    if (lockFd_ >= 0) return kSuccess;
    if (!clean() && !discardLogs_) {
        *detail = path_ + ": not changed: the hive was not shut down cleanly (sequence numbers " +
                  std::to_string(sequence1_) + " and " + std::to_string(sequence2_) +
                  "), and its .LOG1/.LOG2 files hold changes that writing it would lose for "
                  "good. Start the Windows image once so that Windows replays its logs, or set "
                  "TORQA_HIVE_LOGS=discard to write it and lose them";
        return kAccessDenied;
    }
    if (::access(directoryOf(path_).c_str(), W_OK) != 0) {
        *detail = reason(directoryOf(path_), "cannot write beside the hive", errno);
        return kAccessDenied;
    }
    int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *detail = reason(path_, "cannot open the hive", errno);
        return errno == EACCES ? kAccessDenied : kRegistryIoFailed;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int err = errno;
        ::close(fd);
        *detail = err == EWOULDBLOCK
                      ? path_ + ": another process is changing this hive; try again when it is done"
                      : reason(path_, "cannot lock the hive", err);
        return kAccessDenied;
    }
    // The lock must be on the file we read, and that file must still be the
    // one the path names: otherwise another writer replaced it meanwhile.
    Identity locked, named;
    if (!identityOf(fd, locked) || !identityOf(path_, named) || !(locked == loaded_) ||
        !(named == loaded_)) {
        ::close(fd);
        *detail = path_ + ": the hive was changed by another process since it was read; run again";
        return kAccessDenied;
    }
    lockFd_ = fd;
    if (long rc = reserveNewFile(detail)) {
        unlock();
        return rc;
    }
    return kSuccess;
}

long HiveFile::commit(std::string* detail, const HiveAdditions* additions) {
    if (!changed_ || hive_ == nullptr) return kSuccess;
    if (lockFd_ < 0) {
        if (long rc = beginWrite(detail)) return rc;
    }
    const std::string fresh = newFile();
    if (hivex_commit(hive_, fresh.c_str(), 0) != 0) {
        *detail = reason(fresh, "cannot write the new hive", errno);
        ::unlink(fresh.c_str());
        return kRegistryIoFailed;
    }
    // hivex's file keeps every cell it ever freed: only the live ones are
    // kept. One it cannot be compacted stays as hivex wrote it.
    std::string why;
    switch (compactHiveFile(fresh, &why, additions)) {
    case Compacted::compacted: break;
    case Compacted::kept:
        std::fprintf(stderr, "vrk: warning: %s is written uncompacted: %s\n", path_.c_str(),
                     why.c_str());
        break;
    case Compacted::failed:
        *detail = "cannot write the new hive: " + why;
        ::unlink(fresh.c_str());
        return kRegistryIoFailed;
    }
    // The new file keeps the old one's permissions and, where we may, owner.
    struct stat old {};
    if (::stat(path_.c_str(), &old) == 0) {
        ::chmod(fresh.c_str(), old.st_mode & 07777);
        if (::chown(fresh.c_str(), old.st_uid, old.st_gid) != 0) {
            // Not ours to give away: the file stays the writer's.
        }
    }
    if (!syncPath(fresh, O_RDONLY)) {
        *detail = reason(fresh, "cannot sync the new hive", errno);
        ::unlink(fresh.c_str());
        return kRegistryIoFailed;
    }
    if (commitHook != nullptr) commitHook(fresh.c_str());
    if (::rename(fresh.c_str(), path_.c_str()) != 0) {
        *detail = reason(path_, "cannot replace the hive", errno);
        ::unlink(fresh.c_str());
        return kRegistryIoFailed;
    }
    syncPath(directoryOf(path_), O_RDONLY | O_DIRECTORY);
    reserved_ = false;
    changed_ = false;
    readSequenceNumbers(path_, sequence1_, sequence2_);
    // The lock was on the replaced file: take it again on the new one. If
    // another process got there first, our next change is refused.
    unlock();
    identityOf(path_, loaded_);
    std::string ignored;
    beginWrite(&ignored);
    return kSuccess;
}

long HiveFile::reload(std::string* detail) {
    changed_ = false;
    return load(detail);
}

}  // namespace vrk::reg::hive
