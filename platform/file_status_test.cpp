// The directory check on plain names: what counts as an existing directory.
#include "platform/file_status.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/process.hpp"

namespace {

namespace fs = std::filesystem;

TEST(FileStatus, ExistingDirectoriesOnly) {
    const fs::path dir = fs::temp_directory_path() /
                         ("vrk-status-" + std::to_string(vrk::platform::currentProcessId()));
    fs::create_directories(dir / "sub");
    std::ofstream(dir / "file.txt") << "x";
    const std::string base = dir.string();
    const struct {
        std::string path;
        bool directory;
    } cases[] = {
        {base, true},
        {base + "/sub", true},
        {base + "/sub/", true},
        {base + "/file.txt", false},
        {base + "/missing", false},
        {base + "/missing/sub", false},
        {".", true},
        {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(vrk::platform::isExistingDirectory(c.path.c_str()), c.directory)
            << "[" << c.path << "]";
    EXPECT_FALSE(vrk::platform::isExistingDirectory(nullptr));
    vrk::platform::setLastError(1234);
    vrk::platform::isExistingDirectory((base + "/missing").c_str());
    EXPECT_EQ(vrk::platform::lastError(), 1234u) << "the caller's last error is kept";
    fs::remove_all(dir);
}

}  // namespace
