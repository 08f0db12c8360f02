// HiveFile: loading through hivex, the writer's lock, atomic commits.
#include "platform/registry/hive/hive_file.hpp"

#include <fcntl.h>
#include <hivex.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/registry/iregistry.hpp"

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

HiveFile::HiveFile(std::string path) : path_(std::move(path)) {}

HiveFile::~HiveFile() {
    if (hive_ != nullptr) hivex_close(hive_);
    unlock();
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
    return kSuccess;
}

long HiveFile::beginWrite(std::string* detail) {
    if (lockFd_ >= 0) return kSuccess;
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
    // A new file left by a writer that died before its rename is stale now.
    ::unlink((path_ + ".vrk-new").c_str());
    return kSuccess;
}

long HiveFile::commit(std::string* detail) {
    if (!changed_ || hive_ == nullptr) return kSuccess;
    if (lockFd_ < 0) {
        if (long rc = beginWrite(detail)) return rc;
    }
    const std::string fresh = path_ + ".vrk-new";
    if (hivex_commit(hive_, fresh.c_str(), 0) != 0) {
        *detail = reason(fresh, "cannot write the new hive", errno);
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
    changed_ = false;
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
