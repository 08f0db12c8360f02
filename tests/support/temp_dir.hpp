// A fresh directory for one test, removed with everything in it at the end
// of its scope (permissions a test took away are given back first; links
// are not followed).
#pragma once

#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>

namespace vrk::testing {

class TempDir {
public:
    // A new directory "<prefix><8 letters>" below base (by default the
    // system's temporary directory).
    explicit TempDir(const std::string& prefix = "vrk-test-",
                     const std::filesystem::path& base = std::filesystem::temp_directory_path()) {
        static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
        std::random_device seed;
        std::mt19937 pick(seed());
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name = prefix;
            for (int i = 0; i < 8; ++i) name += kLetters[pick() % (sizeof kLetters - 1)];
            std::error_code ec;
            if (std::filesystem::create_directory(base / name, ec)) {
                path_ = (base / name).string();
                return;
            }
        }
        throw std::runtime_error("no temporary directory could be made below " + base.string());
    }
    ~TempDir() {
        std::error_code ec;
        // Only the directory's own entries: a symbolic link (to /dev/null,
        // say) is removed, never followed to change what it names.
        for (auto& e : std::filesystem::recursive_directory_iterator(path_, ec)) {
            if (e.is_symlink(ec)) continue;
            std::filesystem::permissions(e.path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ec);
        }
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

}  // namespace vrk::testing
