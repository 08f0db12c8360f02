// Scratch stores where the platform's registry is our own: a SQLite store
// kept in the caller's directory, or hive files there.
#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "registry/hive/hive_format.hpp"
#include "registry/hive/hive_registry.hpp"
#include "registry/sqlite/sqlite_registry.hpp"
#include "registry/sqlite/store_location.hpp"
#include "registry/testing/scratch_registry.hpp"

namespace vrk::reg {

namespace {

// A hive registry in directory with one hive file per root (made empty when
// missing).
std::unique_ptr<Registry> makeHiveScratchRegistry(const std::string& directory) {
    using namespace hive;

    static const struct {
        Key root;
        const char* file;
    } roots[] = {{kClassesRoot, "HKEY_CLASSES_ROOT.hive"},
                 {kCurrentUser, "HKEY_CURRENT_USER.hive"},
                 {kLocalMachine, "HKEY_LOCAL_MACHINE.hive"},
                 {kUsers, "HKEY_USERS.hive"}};
    std::vector<HiveMount> mounts;
    for (const auto& r : roots) {
        const std::string path = directory + "/" + r.file;
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) {
            ::mkdir(directory.c_str(), 0755);
            writeEmptyHive(path, "ROOT", nullptr);
        }
        mounts.push_back(HiveMount{r.root, "", path, false});
    }
    return std::make_unique<HiveRegistry>(std::move(mounts));
}


}  // namespace

std::unique_ptr<Registry> makeScratchRegistry(const std::string& directory) {
    return std::make_unique<SqliteRegistry>(StoreLocation::inDirectory(directory));
}

std::unique_ptr<Registry> makeTestRegistry(const std::string& directory) {
    const char* backend = std::getenv("VRK_TEST_BACKEND");
    if (backend != nullptr && std::string(backend) == "hive")
        return makeHiveScratchRegistry(directory);
    return makeScratchRegistry(directory);
}

bool platformRegistryHasBatches() { return true; }

}  // namespace vrk::reg
