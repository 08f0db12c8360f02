// The platform's registry where the system has none of its own: the SQLite
// store at the location the environment names, or a Windows image's hives
// when the environment names one ("hive:DIR").
#include "registry/hive/hive_registry.hpp"
#include "registry/sqlite/sqlite_registry.hpp"
#include "registry/sqlite/store_location.hpp"

namespace vrk::reg {

Registry& platformRegistry() {
    static std::unique_ptr<Registry> image = hive::registryFromEnvironment();
    if (image) return *image;
    static SqliteRegistry store(storeLocationFromEnvironment());
    return store;
}

}  // namespace vrk::reg
