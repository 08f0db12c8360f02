// The message module on Windows: where the default DLL lies, and a name
// without a directory.
#include <string>

#include <windows.h>

#include "platform/message_module.hpp"
#include "platform/message_module_test_support.hpp"

namespace vrk::platform::testing {

std::string expectedDefaultMessageModulePath(const char* baseName) {
    char exe[MAX_PATH + 1] = {};
    const DWORD n = GetModuleFileNameA(nullptr, exe, MAX_PATH);
    const std::string path(exe, n);
    return path.substr(0, path.find_last_of("\\/")) + "\\" + baseName + ".dll";
}

}  // namespace vrk::platform::testing

namespace {

using vrk::platform::testing::PlatformMessageModule;

TEST_F(PlatformMessageModule, NameWithoutDirectoryIsFoundBesideTheProgram) {
    char buffer[64];
    EXPECT_TRUE(vrk::platform::loadModuleMessage("vrktestmsg.dll", 2, 1, buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "first of set two");
}

}  // namespace
