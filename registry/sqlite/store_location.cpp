// Store location from the environment.
#include "registry/sqlite/store_location.hpp"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace vrk::reg {

namespace {

std::string trimmed(const char* text) {
    std::string s(text);
    const char* blanks = " \t\r\n\f\v";
    std::size_t first = s.find_first_not_of(blanks);
    if (first == std::string::npos) return std::string();
    std::size_t last = s.find_last_not_of(blanks);
    return s.substr(first, last - first + 1);
}

std::string homeDirectory() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') return home;
    if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr) {
        return pw->pw_dir;
    }
    return "/";
}

}  // namespace

StoreLocation storeLocationFromEnvironment() {
    const char* chosen = std::getenv("TORQA REGISTRY");
    if (chosen == nullptr) chosen = std::getenv("TORQA_REGISTRY");
    if (chosen != nullptr) {
        std::string dir = trimmed(chosen);
        if (!dir.empty()) return StoreLocation::inDirectory(dir);
    }
    StoreLocation where;
    where.machineDirectory = "/var/lib/vrk/registry";
    // XDG: a relative or empty XDG_DATA_HOME is ignored.
    const char* data = std::getenv("XDG_DATA_HOME");
    std::string base =
        (data != nullptr && data[0] == '/') ? std::string(data) : homeDirectory() + "/.local/share";
    where.userDirectory = base + "/vrk/registry";
    return where;
}

const char* hiveFileName(Key root) {
    if (root == kClassesRoot) return "HKEY_CLASSES_ROOT.db";
    if (root == kCurrentUser) return "HKEY_CURRENT_USER.db";
    if (root == kLocalMachine) return "HKEY_LOCAL_MACHINE.db";
    if (root == kUsers) return "HKEY_USERS.db";
    return nullptr;
}

}  // namespace vrk::reg
