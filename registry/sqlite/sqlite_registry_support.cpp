// The helpers shared by the files of the SQLite registry backend (declared
// in sqlite_registry_support.hpp): failure reporting, SQLite error mapping,
// busy pauses, name comparison and key lookup.
#include "registry/sqlite/sqlite_registry_support.hpp"
#include "registry/registry_result.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/process.hpp"

namespace vrk::reg {

using namespace sqlitestore;

namespace sqlitestore {


long errorFor(const SqlError& e) {
    switch (e.primary()) {
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
    case SQLITE_CANTOPEN: return kAccessDenied;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_FORMAT:
    case SQLITE_SCHEMA:
    case SQLITE_ERROR:  // our statements only fail so on a file that is not ours
        return kBadDb;
    case SQLITE_NOMEM:
    case SQLITE_TOOBIG: return kNotEnoughMemory;
    default:  // busy beyond the retries, I/O errors, a full disk
        return kRegistryIoFailed;
    }
}

bool isBusy(const SqlError& e) {
    return e.primary() == SQLITE_BUSY || e.primary() == SQLITE_LOCKED;
}

void pause(int attempt) { std::this_thread::sleep_for(std::chrono::milliseconds(1 + attempt * 5)); }

namespace {

// Which process holds the write lock of the store file at path, as
// "process 1234 (vrkreg)", or "". SQLite takes that lock as a POSIX lock on
// byte 120 of the log's index file ("-shm"); the kernel lists it in
// /proc/locks. (Asking with fcntl would need a descriptor of that file, and
// closing one drops every POSIX lock this process holds on it.)
std::string writeLockHolder(const std::string& path) {
    struct stat st {};
    if (::stat((path + "-shm").c_str(), &st) != 0) return "";
    std::FILE* locks = std::fopen("/proc/locks", "re");
    if (locks == nullptr) return "";
    char kind[16], advice[16], mode[16], start[32], end[32];
    unsigned major = 0, minor = 0;
    unsigned long long inode = 0;
    long pid = 0;
    long holder = 0;
    char line[256];
    while (holder == 0 && std::fgets(line, sizeof line, locks) != nullptr) {
        const char* fields = std::strchr(line, ':');
        if (fields == nullptr) continue;
        if (std::sscanf(fields + 1, "%15s %15s %15s %ld %x:%x:%llu %31s %31s", kind, advice, mode,
                        &pid, &major, &minor, &inode, start, end) != 9)
            continue;
        if (std::strcmp(kind, "POSIX") != 0 || std::strcmp(mode, "WRITE") != 0) continue;
        if (inode != static_cast<unsigned long long>(st.st_ino) || major != ::major(st.st_dev) ||
            minor != ::minor(st.st_dev))
            continue;
        const unsigned long long from = std::strtoull(start, nullptr, 10);
        const bool open = std::strcmp(end, "EOF") == 0;
        const unsigned long long to = open ? ~0ull : std::strtoull(end, nullptr, 10);
        if (from <= 120 && 120 <= to) holder = pid;
    }
    std::fclose(locks);
    if (holder <= 0) return "";
    std::string text = "process " + std::to_string(holder);
    std::FILE* comm = std::fopen(("/proc/" + std::to_string(holder) + "/comm").c_str(), "re");
    if (comm != nullptr) {
        char name[64] = {};
        if (std::fgets(name, sizeof name, comm) != nullptr) {
            name[std::strcspn(name, "\n")] = '\0';
            text += std::string(" (") + name + ")";
        }
        std::fclose(comm);
    }
    return text;
}

}  // namespace

Failure stayedBusy(const std::string& path, std::chrono::steady_clock::time_point since) {
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - since)
                            .count();
    const std::string holder = writeLockHolder(path);
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", static_cast<double>(waited) / 1000.0);
    return Failure{kRegistryIoFailed,
                   path + ": the store stayed busy for " + seconds + " s, the call gave up (" +
                       (holder.empty() ? std::string("another connection held it")
                                       : holder + " held its write lock") +
                       ")"};
}

bool fileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

void syncDirectory(const std::string& directory) {
    const char* path = directory.empty() ? "/" : directory.c_str();
    int fd = ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    (void)::fsync(fd);
    ::close(fd);
}

bool keyAlive(Connection& c, std::int64_t id) {
    Use u(c, Sql::keyExists);
    u.bind(1, id);
    return u.step();
}

std::string lookupKey(std::int64_t id, std::string_view sort, std::string_view byteWise) {
    std::string key(sizeof id + sizeof(std::uint32_t), '\0');
    const auto length = static_cast<std::uint32_t>(sort.size());
    std::memcpy(key.data(), &id, sizeof id);
    std::memcpy(key.data() + sizeof id, &length, sizeof length);
    key.append(sort);
    key.append(byteWise);
    return key;
}

int hiveIndex(Key root) { return static_cast<int>(root.value - kClassesRoot.value); }

const char* hiveName(int hive) {
    static const char* const names[4] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
                                         "HKEY_LOCAL_MACHINE", "HKEY_USERS"};
    return names[hive];
}

}  // namespace sqlitestore

const char* SqliteRegistry::lastFailureDetail() const { return callFailureDetail().c_str(); }

}  // namespace vrk::reg
