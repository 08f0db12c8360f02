// INTERNAL to the SQLite registry backend: the store's directories and files
// on disk, with the modes they are created with and the ownership a machine
// store must have.
//
// A machine store (the file of HKEY_LOCAL_MACHINE, HKEY_USERS and
// HKEY_CLASSES_ROOT) lives in directories of mode 0755 and files of mode
// 0644; the current user's own store in 0700 and 0600; whatever the umask.
// SQLite gives its log and index files the mode of their database file.
//
// Before a machine store is opened, its directory and files must be writable
// by no one but their owner and root (StrictModes in sshd): owned by root or
// by the current user, and not writable by group or others. Anything else is
// refused with kAccessDenied, the detail naming the path and why. Hive files
// of the earlier layout are checked so before a machine store takes them in.
//
// Thread safety: none needed beyond the registry's lock.
#pragma once

#include <sys/types.h>

#include <string>

namespace vrk::reg::sqlitestore {

constexpr mode_t kMachineDirectoryMode = 0755;
constexpr mode_t kMachineFileMode = 0644;
constexpr mode_t kUserDirectoryMode = 0700;
constexpr mode_t kUserFileMode = 0600;

// Creates directory and its missing parents with mode; throws a Failure.
void makeDirectories(const std::string& directory, mode_t mode);

// Creates an empty file at path with mode unless something is there already
// (never following a link there); throws a Failure.
void createFile(const std::string& path, mode_t mode);

// Refuses (throws a Failure) a directory, or a store file with its log and
// index, that someone other than its owner or root may write. A path that
// does not exist passes.
void checkDirectoryOwnership(const std::string& directory);
void checkFileOwnership(const std::string& path);

}  // namespace vrk::reg::sqlitestore
