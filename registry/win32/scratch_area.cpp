// Scratch stores on Windows, for tests: the real registry cannot be
// relocated, so a store's four roots are keys below a private key of the
// current user.
#include <windows.h>

#include <cstdio>
#include <map>
#include <mutex>
#include <string>

#include "registry/testing/scratch_registry.hpp"
#include "registry/win32/win32_registry.hpp"

namespace vrk::reg {

namespace {

// RegDeleteKey in this build's view, by a UTF-16 name.
LONG deleteKeyW(HKEY parent, const wchar_t* subKey) {
    if constexpr (sizeof(void*) == 8) {
        return RegDeleteKeyExW(parent, subKey, KEY_WOW64_32KEY, 0);
    } else {
        return RegDeleteKeyW(parent, subKey);
    }
}

// Deletes subKey of parent with everything below it; keys that cannot be
// deleted are left. The names go as UTF-16, so that every name a test made
// (up to 255 code units, whatever the ANSI code page) is reached.
void deleteTree(HKEY parent, const wchar_t* subKey) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(parent, subKey, 0, KEY_READ | KEY_WRITE | win32RegistryView(), &key) ==
        ERROR_SUCCESS) {
        wchar_t name[300];
        DWORD index = 0;
        while (RegEnumKeyW(key, index, name, sizeof name / sizeof name[0]) == ERROR_SUCCESS) {
            deleteTree(key, name);
            // A child left behind (it could not be deleted) is stepped over.
            HKEY probe = nullptr;
            if (RegOpenKeyExW(key, name, 0, KEY_READ | win32RegistryView(), &probe) ==
                ERROR_SUCCESS) {
                RegCloseKey(probe);
                ++index;
            }
        }
        RegCloseKey(key);
    }
    deleteKeyW(parent, subKey);
}

void deleteTree(HKEY parent, const std::string& asciiPath) {
    const std::wstring wide(asciiPath.begin(), asciiPath.end());
    deleteTree(parent, wide.c_str());
}

// One scratch store: the key HKEY_CURRENT_USER\Software\vrk-test-<pid>-<n>
// and its four subkeys standing for the roots. The key and everything below
// it are removed when the last registry object on the store goes.
class ScratchArea {
public:
    ScratchArea() {
        static std::mutex counterLock;
        static unsigned counter = 0;
        unsigned n;
        {
            std::lock_guard<std::mutex> hold(counterLock);
            n = ++counter;
        }
        char name[64];
        std::snprintf(name, sizeof name, "Software\\vrk-test-%lu-%u",
                      static_cast<unsigned long>(GetCurrentProcessId()), n);
        path_ = name;
        deleteTree(HKEY_CURRENT_USER, path_);  // left by an earlier process
        static const char* const kRootNames[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
                                                 "HKEY_LOCAL_MACHINE", "HKEY_USERS"};
        for (std::size_t i = 0; i < roots_.size(); ++i) {
            const std::string rootPath = path_ + "\\" + kRootNames[i];
            if (RegCreateKeyExA(HKEY_CURRENT_USER, rootPath.c_str(), 0, nullptr, 0,
                                KEY_ALL_ACCESS | win32RegistryView(), nullptr, &roots_[i],
                                nullptr) != ERROR_SUCCESS) {
                roots_[i] = nullptr;
            }
        }
    }
    ~ScratchArea() {
        for (HKEY root : roots_) {
            if (root != nullptr) RegCloseKey(root);
        }
        deleteTree(HKEY_CURRENT_USER, path_);
    }
    ScratchArea(const ScratchArea&) = delete;
    ScratchArea& operator=(const ScratchArea&) = delete;

    const Win32Registry::Roots& roots() const { return roots_; }

private:
    std::string path_;
    Win32Registry::Roots roots_{};
};

}  // namespace

// Registry objects made for the same directory share one scratch area while
// any of them lives, as two openings of one store on disk would.
std::unique_ptr<Registry> makeScratchRegistry(const std::string& directory) {
    static std::mutex lock;
    static std::map<std::string, std::weak_ptr<ScratchArea>> areas;
    std::lock_guard<std::mutex> hold(lock);
    std::shared_ptr<ScratchArea> area = areas[directory].lock();
    if (!area) {
        area = std::make_shared<ScratchArea>();
        areas[directory] = area;
    }
    return std::make_unique<Win32Registry>(area->roots(), area);
}

std::unique_ptr<Registry> makeTestRegistry(const std::string& directory) {
    return makeScratchRegistry(directory);
}

bool platformRegistryHasBatches() { return false; }

}  // namespace vrk::reg
