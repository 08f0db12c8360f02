// The store's directories and files: creation with fixed modes, and the
// ownership check of a machine store.
#include "registry/sqlite/sqlite_file_modes.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "registry/sqlite/sqlite_registry_support.hpp"

namespace vrk::reg::sqlitestore {

namespace {

[[noreturn]] void failWithErrno(const std::string& what) {
    int err = errno;
    throw Failure{kAccessDenied, what + ": " + std::strerror(err)};
}

void checkOwnership(const std::string& path, const char* kind) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return;
    const uid_t me = ::geteuid();
    if (st.st_uid != 0 && st.st_uid != me) {
        throw Failure{kAccessDenied, path + ": the registry " + kind + " is owned by user " +
                                         std::to_string(st.st_uid) +
                                         ", neither root nor the current user, so it is not "
                                         "trusted"};
    }
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        throw Failure{kAccessDenied, path + ": the registry " + kind + " (mode " + mode +
                                         ") may be written by " +
                                         ((st.st_mode & S_IWOTH) ? "every user" : "its group") +
                                         ", so it is not trusted; only its owner may write "
                                         "it (chmod go-w)"};
    }
}

}  // namespace

void makeDirectories(const std::string& directory, mode_t mode) {
    std::string partial;
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = directory.find('/', pos + 1);
        partial = directory.substr(0, pos);
        if (partial.empty()) continue;
        if (::mkdir(partial.c_str(), mode) == 0) {
            // The umask may have taken bits away.
            if (::chmod(partial.c_str(), mode) != 0) {
                failWithErrno("cannot set the mode of the registry directory " + partial);
            }
            std::size_t slash = partial.find_last_of('/');
            syncDirectory(slash == std::string::npos ? "." : partial.substr(0, slash));
        } else if (errno != EEXIST) {
            failWithErrno("cannot create the registry directory " + partial);
        }
    }
    struct stat st;
    if (::stat(directory.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        throw Failure{kAccessDenied, directory + ": not a directory"};
    }
}

void createFile(const std::string& path, mode_t mode) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) {
        if (errno == EEXIST) return;
        failWithErrno("cannot create the registry store " + path);
    }
    int rc = ::fchmod(fd, mode);  // whatever the umask
    int err = errno;
    ::close(fd);
    if (rc != 0) {
        errno = err;
        failWithErrno("cannot set the mode of the registry store " + path);
    }
}

void checkDirectoryOwnership(const std::string& directory) {
    checkOwnership(directory, "directory");
}

void checkFileOwnership(const std::string& path) {
    for (const char* suffix : {"", "-wal", "-shm"}) checkOwnership(path + suffix, "store");
}

}  // namespace vrk::reg::sqlitestore
