// The platform's registry on Linux: the SQLite store at the location the
// environment names (or a Windows image's hives, "hive:DIR"), and scratch
// stores in a directory of the caller's.
#include "registry/hive/hive_registry.hpp"
#include "registry/scratch_registry.hpp"
#include "registry/sqlite/sqlite_registry.hpp"
#include "registry/sqlite/store_location.hpp"

namespace vrk::reg {

Registry& platformRegistry() {
    static std::unique_ptr<Registry> image = hive::registryFromEnvironment();
    if (image) return *image;
    static SqliteRegistry store(storeLocationFromEnvironment());
    return store;
}

std::unique_ptr<Registry> makeScratchRegistry(const std::string& directory) {
    return std::make_unique<SqliteRegistry>(StoreLocation::inDirectory(directory));
}

bool platformRegistryHasBatches() { return true; }

}  // namespace vrk::reg
