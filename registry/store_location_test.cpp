// Choosing the store's directory from the environment.
#include "registry/sqlite/store_location.hpp"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "registry/registry_test_support.hpp"

namespace vrk::reg {
namespace {

void setOrUnset(const char* name, const std::optional<std::string>& value) {
    if (value) {
        ::setenv(name, value->c_str(), 1);
    } else {
        ::unsetenv(name);
    }
}

TEST(StoreLocation, EnvironmentSelection) {
    using O = std::optional<std::string>;
    static const struct {
        O blank;       // "TORQA REGISTRY"
        O underscore;  // "TORQA_REGISTRY"
        O xdg;         // XDG_DATA_HOME
        const char* machine;
        const char* user;
    } cases[] = {
        {"/a", "/b", O(), "/a", "/a"},
        {O(), "/b", O(), "/b", "/b"},
        {"", "/b", "/x", "/var/lib/vrk/registry", "/x/vrk/registry"},  // empty hides the other
        {"  /c  ", O(), O(), "/c", "/c"},
        {O(), "", "/x", "/var/lib/vrk/registry", "/x/vrk/registry"},
        {O(), O(), "/x", "/var/lib/vrk/registry", "/x/vrk/registry"},
        {O(), O(), O(), "/var/lib/vrk/registry", "/home/tester/.local/share/vrk/registry"},
        {O(), O(), "", "/var/lib/vrk/registry", "/home/tester/.local/share/vrk/registry"},
        {O(), O(), "relative", "/var/lib/vrk/registry", "/home/tester/.local/share/vrk/registry"},
    };
    ::setenv("HOME", "/home/tester", 1);
    int row = 0;
    for (const auto& c : cases) {
        setOrUnset("TORQA REGISTRY", c.blank);
        setOrUnset("TORQA_REGISTRY", c.underscore);
        setOrUnset("XDG_DATA_HOME", c.xdg);
        StoreLocation where = storeLocationFromEnvironment();
        EXPECT_EQ(where.machineDirectory, c.machine) << "row " << row;
        EXPECT_EQ(where.userDirectory, c.user) << "row " << row;
        ++row;
    }
}

TEST(StoreLocation, HiveFileNames) {
    EXPECT_STREQ(hiveFileName(kLocalMachine), "HKEY_LOCAL_MACHINE.db");
    EXPECT_STREQ(hiveFileName(kCurrentUser), "HKEY_CURRENT_USER.db");
    EXPECT_STREQ(hiveFileName(kUsers), "HKEY_USERS.db");
    EXPECT_STREQ(hiveFileName(kClassesRoot), "HKEY_CLASSES_ROOT.db");
    EXPECT_EQ(hiveFileName(Key{0x1234}), nullptr);
}

TEST(StoreLocation, PlatformRegistryUsesTheVariable) {
    testing::TempDir dir;
    pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        // The child's platform registry comes into being after the variable
        // is set (this test's own process has not made it yet).
        ::setenv("TORQA_REGISTRY", dir.path().c_str(), 1);
        ::unsetenv("TORQA REGISTRY");
        Key k = kNullKey;
        bool ok = registry().createKeyEx(kLocalMachine, "Software\\FromEnv", 0, kKeyReadWrite, &k,
                                         nullptr) == kSuccess;
        registry().closeKey(k);
        ok = ok && registry().createKeyEx(kCurrentUser, "Mine", 0, kKeyReadWrite, &k, nullptr) ==
                       kSuccess;
        registry().closeKey(k);
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(std::filesystem::exists(dir.file("registry.db")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("HKEY_LOCAL_MACHINE.db")));
    auto reg = makeScratchRegistry(dir.path());
    Key k = kNullKey;
    EXPECT_EQ(reg->openKeyEx(kLocalMachine, "software\\fromenv", kKeyRead, &k), kSuccess);
    reg->closeKey(k);
}

}  // namespace
}  // namespace vrk::reg
