// The platform's message module: texts read by set and number from the
// tests' own module (a catalog on Linux, a message-table DLL on Windows).
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/message_module.hpp"
#include "platform/message_module_test_support.hpp"
#include "platform/process.hpp"

namespace {

using vrk::platform::testing::PlatformMessageModule;

TEST_F(PlatformMessageModule, DefaultModuleIsBesideTheProgram) {
    char path[4096];
    ASSERT_TRUE(vrk::platform::defaultMessageModulePath("vrkmsg", path, sizeof path));
    EXPECT_EQ(std::string(path),
              vrk::platform::testing::expectedDefaultMessageModulePath("vrkmsg"));

    char tooSmall[8] = "junk";
    EXPECT_FALSE(vrk::platform::defaultMessageModulePath("vrkmsg", tooSmall, sizeof tooSmall));
    EXPECT_STREQ(tooSmall, "");
}

TEST_F(PlatformMessageModule, LoadsBySetAndNumberWithInsertsUntouched) {
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
        {1, 0x10001ul, false, ""},  // Windows' table entry of message 1 of set 2
        {1, 0x80000000ul, false, ""},
    };
    for (const auto& c : cases) {
        char buffer[64] = "junk";
        vrk::platform::setLastError(1234);
        EXPECT_EQ(
            vrk::platform::loadModuleMessage(module_.c_str(), c.set, c.id, buffer, sizeof buffer),
            c.found)
            << "set " << c.set << " message " << c.id;
        EXPECT_STREQ(buffer, c.text) << "set " << c.set << " message " << c.id;
        EXPECT_EQ(vrk::platform::lastError(), 1234u) << "the caller's last error is kept";
    }
}

TEST_F(PlatformMessageModule, TextIsCutToTheBuffer) {
    char buffer[6];
    ASSERT_TRUE(vrk::platform::loadModuleMessage(module_.c_str(), 1, 1, buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "first");
    char one[1];
    EXPECT_TRUE(vrk::platform::loadModuleMessage(module_.c_str(), 1, 1, one, sizeof one));
    EXPECT_STREQ(one, "");
}

TEST_F(PlatformMessageModule, DefaultModuleIsReadByItsBaseName) {
    const struct {
        const char* baseName;
        unsigned long id;
        bool found;
        const char* text;
    } cases[] = {
        {"vrktestmsg", 1, true, "first of set two"},
        {"vrktestmsg", 2, false, ""},
        {"vrk-no-such-module", 1, false, ""},
        {"", 1, false, ""},
        {nullptr, 1, false, ""},
    };
    for (const auto& c : cases) {
        char buffer[64] = "junk";
        vrk::platform::setLastError(1234);
        EXPECT_EQ(
            vrk::platform::loadDefaultModuleMessage(c.baseName, 2, c.id, buffer, sizeof buffer),
            c.found)
            << (c.baseName ? c.baseName : "(null)") << " message " << c.id;
        EXPECT_STREQ(buffer, c.text);
        EXPECT_EQ(vrk::platform::lastError(), 1234u) << "the caller's last error is kept";
    }
}

TEST_F(PlatformMessageModule, MissingOrUnusableModules) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() /
                         ("vrk-msg-" + std::to_string(vrk::platform::currentProcessId()));
    fs::create_directories(dir);
    const std::string suffix = fs::path(module_).extension().string();
    const std::string missing = (dir / "nonexistent" / ("vrkmsg" + suffix)).string();
    const std::string notModule = (dir / ("plain" + suffix)).string();
    std::ofstream(notModule) << "not a module\n";
    const std::string dirName = dir.string();
    const char* names[] = {missing.c_str(), "", nullptr, dirName.c_str(), notModule.c_str()};
    for (const char* name : names) {
        char buffer[64] = "junk";
        EXPECT_FALSE(vrk::platform::loadModuleMessage(name, 1, 1, buffer, sizeof buffer))
            << (name ? name : "(null)");
        EXPECT_STREQ(buffer, "");
    }
    std::error_code ignored;
    fs::remove_all(dir, ignored);
}

}  // namespace
