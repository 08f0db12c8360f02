#include "tool/vrkreg/regfile_model.hpp"

#include <cctype>

namespace vrk::regfile {
namespace {

struct RootName {
    vrk::reg::Key root;
    const char* longName;
    const char* shortName;
};

constexpr RootName kRoots[] = {
    {vrk::reg::kLocalMachine, "HKEY_LOCAL_MACHINE", "HKLM"},
    {vrk::reg::kCurrentUser, "HKEY_CURRENT_USER", "HKCU"},
    {vrk::reg::kUsers, "HKEY_USERS", "HKU"},
    {vrk::reg::kClassesRoot, "HKEY_CLASSES_ROOT", "HKCR"},
};

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

}  // namespace

const char* rootLongName(vrk::reg::Key root) {
    for (const RootName& r : kRoots) {
        if (r.root == root) return r.longName;
    }
    return "";
}

bool rootFromName(std::string_view word, bool allowShortNames, vrk::reg::Key& root) {
    for (const RootName& r : kRoots) {
        if (equalsIgnoringCase(word, r.longName) ||
            (allowShortNames && equalsIgnoringCase(word, r.shortName))) {
            root = r.root;
            return true;
        }
    }
    return false;
}

std::string fullPath(const KeyPath& key) {
    std::string path = rootLongName(key.root);
    if (!key.subKey.empty()) {
        path += '\\';
        path += key.subKey;
    }
    return path;
}

}  // namespace vrk::regfile
