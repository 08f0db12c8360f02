// Where the Linux registry store keeps its files.
//
// The directory comes from the environment variable "TORQA REGISTRY" or
// "TORQA_REGISTRY" (the form with a blank wins; a set but empty value hides
// the other form and selects the defaults). Without it the machine-wide hives
// live in /var/lib/vrk/registry and HKEY_CURRENT_USER in
// $XDG_DATA_HOME/vrk/registry (by default ~/.local/share/vrk/registry).
//
// Thread safety: reads the environment; call it while no thread changes it.
#pragma once

#include <string>

#include "registry/iregistry.hpp"

namespace vrk::reg {

struct StoreLocation {
    std::string machineDirectory;  // HKEY_LOCAL_MACHINE, HKEY_USERS, HKEY_CLASSES_ROOT
    std::string userDirectory;     // HKEY_CURRENT_USER

    // Both kinds of hive in one directory.
    static StoreLocation inDirectory(const std::string& directory) {
        return StoreLocation{directory, directory};
    }
};

// The location chosen by the environment, as described above.
StoreLocation storeLocationFromEnvironment();

// The name of the file, in each directory of a StoreLocation, that holds the
// hives kept there.
inline constexpr char kStoreFileName[] = "registry.db";

// The file name of a root's hive in the earlier layout of one file per hive
// ("HKEY_LOCAL_MACHINE.db", ...); null for a key that is not a root. A store
// of that layout is moved into kStoreFileName when first opened.
const char* hiveFileName(Key root);

}  // namespace vrk::reg
