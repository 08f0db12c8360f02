// Plain-file removal: the outcome of Windows' runtime remove() on every
// platform.
#include "platform/file_removal.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/process.hpp"

namespace {

namespace fs = std::filesystem;

TEST(FileRemoval, OnlyWritablePlainFilesAreRemoved) {
    const fs::path dir = fs::temp_directory_path() /
                         ("vrk-remove-" + std::to_string(vrk::platform::currentProcessId()));
    fs::create_directories(dir / "folder");
    std::ofstream(dir / "SV.INI") << "x";
    std::ofstream(dir / "readonly") << "x";
    fs::permissions(dir / "readonly",
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    const struct {
        std::string path;
        bool removed;
        bool existsAfter;
    } cases[] = {
        {(dir / "SV.INI").string(), true, false},
        {(dir / "SV.INI").string(), false, false},  // gone already
        {(dir / "folder").string(), false, true},
        {(dir / "readonly").string(), false, true},
        {"", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(vrk::platform::removePlainFile(c.path.c_str()), c.removed) << c.path;
        if (!c.path.empty()) {
            EXPECT_EQ(fs::exists(c.path), c.existsAfter) << c.path;
        }
    }
    EXPECT_FALSE(vrk::platform::removePlainFile(nullptr));
    fs::permissions(dir / "readonly", fs::perms::owner_write, fs::perm_options::add);
    fs::remove_all(dir);
}

}  // namespace
