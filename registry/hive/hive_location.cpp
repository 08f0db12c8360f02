// The mounts of an offline Windows image.
#include "registry/hive/hive_format.hpp"
#include "registry/hive/hive_registry.hpp"

namespace vrk::reg::hive {

std::vector<HiveMount> imageMounts(const std::string& configDirectory,
                                   const std::string& userHive) {
    std::vector<HiveMount> mounts;
    mounts.push_back(HiveMount{kLocalMachine, "Software", configDirectory + "/SOFTWARE", true});
    mounts.push_back(HiveMount{kLocalMachine, "System", configDirectory + "/SYSTEM", false});
    if (!userHive.empty()) mounts.push_back(HiveMount{kCurrentUser, "", userHive, false});
    return mounts;
}

}  // namespace vrk::reg::hive
