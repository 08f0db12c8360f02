// The mounts of an offline Windows image, and hive scratch registries.
#include <sys/stat.h>

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

std::unique_ptr<Registry> makeHiveScratchRegistry(const std::string& directory) {
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

}  // namespace vrk::reg::hive
