// Scratch stores where the platform's registry is our own: a SQLite store
// kept in the caller's directory.
#include "registry/sqlite/sqlite_registry.hpp"
#include "registry/sqlite/store_location.hpp"
#include "registry/testing/scratch_registry.hpp"

namespace vrk::reg {

std::unique_ptr<Registry> makeScratchRegistry(const std::string& directory) {
    return std::make_unique<SqliteRegistry>(StoreLocation::inDirectory(directory));
}

bool platformRegistryHasBatches() { return true; }

}  // namespace vrk::reg
