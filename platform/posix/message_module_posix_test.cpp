// The message module on Linux: where the default catalog lies, and a name
// without a directory.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/message_module.hpp"
#include "platform/message_module_test_support.hpp"

namespace vrk::platform::testing {

std::string expectedDefaultMessageModulePath(const char* baseName) {
    char exe[4096];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return "";
    std::string dir(exe, static_cast<std::size_t>(n));
    dir.erase(dir.rfind('/'));
    return dir + "/../share/vrk/" + baseName + ".cat";
}

}  // namespace vrk::platform::testing

namespace {

using vrk::platform::testing::PlatformMessageModule;

TEST_F(PlatformMessageModule, NameWithoutDirectoryIsAFileInTheWorkingDirectory) {
    const std::filesystem::path module(module_);
    const std::string dir = module.parent_path().string();
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(dir.c_str()), 0);
    char buffer[64];
    const bool found =
        vrk::platform::loadModuleMessage(module.filename().c_str(), 2, 1, buffer, sizeof buffer);
    // NLSPATH is not searched for such a name.
    setenv("NLSPATH", (dir + "/%N.cat").c_str(), 1);
    const bool foundBare =
        vrk::platform::loadModuleMessage(module.stem().c_str(), 2, 1, buffer, sizeof buffer);
    unsetenv("NLSPATH");
    ASSERT_EQ(chdir(cwd), 0);
    EXPECT_TRUE(found);
    EXPECT_FALSE(foundBare);
}

}  // namespace
