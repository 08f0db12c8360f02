// The message module of the platform: catalog lookup by set and number.
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/message_module.hpp"

namespace {

class CatalogFixture : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vrkcat-XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        ASSERT_NE(mkdtemp(buffer.data()), nullptr);
        dir_ = buffer.data();
        std::ofstream(dir_ + "/t.msg") << "$set 1\n"
                                          "1 first of set one\n"
                                          "2 raw %1 stays\n"
                                          "$set 2\n"
                                          "1 first of set two\n";
        catalog_ = dir_ + "/t.cat";
        std::string command = "gencat '" + catalog_ + "' '" + dir_ + "/t.msg' 2>/dev/null";
        if (std::system(command.c_str()) != 0) GTEST_SKIP() << "gencat is not available";
    }
    void TearDown() override {
        if (!dir_.empty()) std::system(("rm -rf '" + dir_ + "'").c_str());
    }
    std::string dir_;
    std::string catalog_;
};

TEST_F(CatalogFixture, LoadsBySetAndNumberWithInsertsUntouched) {
    const struct {
        unsigned set;
        unsigned long id;
        bool found;
        const char* text;
    } cases[] = {
        {1, 1, true, "first of set one"},
        {2, 1, true, "first of set two"},
        {1, 2, true, "raw %1 stays"},
        {1, 3, false, ""},
        {3, 1, false, ""},
        {1, 0, false, ""},
        {1, 0x80000000ul, false, ""},
    };
    for (const auto& c : cases) {
        char buffer[64] = "junk";
        EXPECT_EQ(
            vrk::platform::loadModuleMessage(catalog_.c_str(), c.set, c.id, buffer, sizeof buffer),
            c.found)
            << "set " << c.set << " message " << c.id;
        EXPECT_STREQ(buffer, c.text) << "set " << c.set << " message " << c.id;
    }
}

TEST_F(CatalogFixture, TextIsCutToTheBuffer) {
    char buffer[6];
    ASSERT_TRUE(vrk::platform::loadModuleMessage(catalog_.c_str(), 1, 1, buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "first");
    char one[1];
    EXPECT_TRUE(vrk::platform::loadModuleMessage(catalog_.c_str(), 1, 1, one, sizeof one));
    EXPECT_STREQ(one, "");
}

TEST_F(CatalogFixture, MissingOrUnusableModules) {
    char buffer[64] = "junk";
    const std::string notCatalog = dir_ + "/t.msg";
    const char* names[] = {"/nonexistent/dir/t.cat", "", nullptr, dir_.c_str(), notCatalog.c_str()};
    for (const char* name : names) {
        EXPECT_FALSE(vrk::platform::loadModuleMessage(name, 1, 1, buffer, sizeof buffer))
            << (name ? name : "(null)");
        EXPECT_STREQ(buffer, "");
    }
}

TEST_F(CatalogFixture, NameWithoutDirectoryIsAFileInTheWorkingDirectory) {
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(dir_.c_str()), 0);
    char buffer[64];
    bool found = vrk::platform::loadModuleMessage("t.cat", 2, 1, buffer, sizeof buffer);
    // NLSPATH is not searched for such a name.
    setenv("NLSPATH", (dir_ + "/%N.cat").c_str(), 1);
    bool foundBare = vrk::platform::loadModuleMessage("t", 2, 1, buffer, sizeof buffer);
    unsetenv("NLSPATH");
    ASSERT_EQ(chdir(cwd), 0);
    EXPECT_TRUE(found);
    EXPECT_FALSE(foundBare);
}

TEST(DefaultMessageModuleTest, PathIsBesideTheRunningProgram) {
    char exe[4096];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    ASSERT_GT(n, 0);
    exe[n] = '\0';
    std::string dir(exe);
    dir.erase(dir.rfind('/'));

    char path[4096];
    ASSERT_TRUE(vrk::platform::defaultMessageModulePath("vrkmsg", path, sizeof path));
    EXPECT_EQ(std::string(path), dir + "/../share/vrk/vrkmsg.cat");

    char tooSmall[8] = "junk";
    EXPECT_FALSE(vrk::platform::defaultMessageModulePath("vrkmsg", tooSmall, sizeof tooSmall));
    EXPECT_STREQ(tooSmall, "");
}

}  // namespace
