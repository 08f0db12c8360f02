// The message module on Windows: a message-table DLL read by set and number.
// vrktestmsg.dll, built from test_messages.msg, sits beside the test program.
#include "platform/message_module.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <windows.h>

namespace {

std::string programDirectory() {
    char exe[MAX_PATH + 1] = {};
    const DWORD n = GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string path(exe, n);
    return path.substr(0, path.find_last_of("\\/"));
}

std::string testModule() {
    char path[MAX_PATH + 1];
    if (!vrk::platform::defaultMessageModulePath("vrktestmsg", path, sizeof path)) return "";
    return path;
}

TEST(MessageModuleWindows, DefaultModuleIsTheDllBesideTheProgram) {
    char path[MAX_PATH + 1];
    ASSERT_TRUE(vrk::platform::defaultMessageModulePath("vrkmsg", path, sizeof path));
    EXPECT_EQ(std::string(path), programDirectory() + "\\vrkmsg.dll");

    char tooSmall[8] = "junk";
    EXPECT_FALSE(vrk::platform::defaultMessageModulePath("vrkmsg", tooSmall, sizeof tooSmall));
    EXPECT_STREQ(tooSmall, "");
}

TEST(MessageModuleWindows, LoadsBySetAndNumberWithInsertsUntouched) {
    const std::string module = testModule();
    ASSERT_TRUE(std::filesystem::exists(module)) << module;
    const struct {
        unsigned set;
        unsigned long id;
        bool found;
        const char* text;
    } cases[] = {
        {1, 1, true, "first of set one"},
        {2, 1, true, "first of set two"},
        {1, 2, true, "raw %1 stays"},
        {1, 3, true, "a back\\slash"},
        {1, 4, false, ""},  // a module lacking the message
        {3, 1, false, ""},
        {1, 0, false, ""},
        {0, 1, false, ""},
        {1, 0x10001ul, false, ""},  // would reach message 1 of set 2
        {1, 0x80000000ul, false, ""},
    };
    for (const auto& c : cases) {
        char buffer[64] = "junk";
        SetLastError(1234);
        EXPECT_EQ(
            vrk::platform::loadModuleMessage(module.c_str(), c.set, c.id, buffer, sizeof buffer),
            c.found)
            << "set " << c.set << " message " << c.id;
        EXPECT_STREQ(buffer, c.text) << "set " << c.set << " message " << c.id;
        EXPECT_EQ(GetLastError(), 1234u) << "the caller's last error is kept";
    }
}

TEST(MessageModuleWindows, TextIsCutToTheBuffer) {
    const std::string module = testModule();
    char buffer[6];
    ASSERT_TRUE(vrk::platform::loadModuleMessage(module.c_str(), 1, 1, buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "first");
    char one[1];
    EXPECT_TRUE(vrk::platform::loadModuleMessage(module.c_str(), 1, 1, one, sizeof one));
    EXPECT_STREQ(one, "");
}

TEST(MessageModuleWindows, MissingOrUnusableModules) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("vrk-msg-" + std::to_string(GetCurrentProcessId()));
    std::filesystem::create_directories(dir);
    const std::string notModule = (dir / "plain.dll").string();
    std::ofstream(notModule) << "not a module\n";
    const std::string dirName = dir.string();
    const char* names[] = {"C:\\nonexistent\\dir\\vrkmsg.dll", "", nullptr, dirName.c_str(),
                           notModule.c_str()};
    for (const char* name : names) {
        char buffer[64] = "junk";
        EXPECT_FALSE(vrk::platform::loadModuleMessage(name, 1, 1, buffer, sizeof buffer))
            << (name ? name : "(null)");
        EXPECT_STREQ(buffer, "");
    }
    std::filesystem::remove_all(dir);
}

TEST(MessageModuleWindows, NameWithoutDirectoryIsFoundBesideTheProgram) {
    char buffer[64];
    EXPECT_TRUE(vrk::platform::loadModuleMessage("vrktestmsg.dll", 2, 1, buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "first of set two");
}

}  // namespace
