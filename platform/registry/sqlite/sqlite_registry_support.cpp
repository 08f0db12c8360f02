// The helpers shared by the files of the SQLite registry backend (declared
// in sqlite_registry_support.hpp): failure reporting, SQLite error mapping,
// busy pauses, name comparison and key lookup.
#include "platform/registry/sqlite/sqlite_registry_support.hpp"
#include "platform/registry/registry_result.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "platform/process.hpp"

namespace vrk::reg {

using namespace sqlitestore;

namespace sqlitestore {

thread_local std::string failureDetail;

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

const char* SqliteRegistry::lastFailureDetail() const { return failureDetail.c_str(); }

}  // namespace vrk::reg
