// The message module on Windows: where the default DLL lies, a name
// without a directory, and a program folder named outside the ANSI code
// page.
#include <string>

#include <windows.h>

#include "platform/message_module.hpp"
#include "platform/message_module_test_support.hpp"
#include "platform/windows/child_run_test_support.hpp"

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

// The default module of a program whose folder is named with letters that
// the ANSI code page lacks (Cyrillic and Greek: no code page holds both): the
// test program and its module are copied there, and the copy reads the
// module.
TEST(MessageModuleWindows, DefaultModuleBesideAProgramInAFolderOutsideTheCodePage) {
    char buffer[64] = "";
    if (vrk::platform::testing::isChildRun()) {
        EXPECT_TRUE(
            vrk::platform::loadDefaultModuleMessage("vrktestmsg", 2, 1, buffer, sizeof buffer));
        EXPECT_STREQ(buffer, "first of set two");
        vrk::platform::testing::endChildRun();
    }
    const std::wstring program = vrk::platform::testing::programFileW();
    const std::wstring here = program.substr(0, program.find_last_of(L"\\/"));
    wchar_t temp[MAX_PATH + 1];
    ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
    const std::wstring folder =
        std::wstring(temp) + L"Селварин-Σελ-" + std::to_wstring(GetCurrentProcessId());
    ASSERT_TRUE(vrk::platform::testing::lacksInAnsiCodePage(folder)) << "code page " << GetACP();
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring copy = folder + L"\\platform_tests.exe";
    const std::wstring module = folder + L"\\vrktestmsg.dll";
    EXPECT_TRUE(CopyFileW(program.c_str(), copy.c_str(), FALSE));
    EXPECT_TRUE(CopyFileW((here + L"\\vrktestmsg.dll").c_str(), module.c_str(), FALSE));
    EXPECT_EQ(vrk::platform::testing::runTestAgain(copy, L""),
              vrk::platform::testing::kChildPassed);
    DeleteFileW(copy.c_str());
    DeleteFileW(module.c_str());
    RemoveDirectoryW(folder.c_str());
}

}  // namespace
