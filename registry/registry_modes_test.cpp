// The store's files on disk: the modes they are created with whatever the
// umask, and the refusal of a machine store that others may write.
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "registry/registry_test_support.hpp"
#include "registry/sqlite/sqlite_registry.hpp"

namespace vrk::reg {
namespace {

using testing::TempDir;

unsigned modeOf(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return 0xFFFF;
    return st.st_mode & 07777;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Sets the umask for a scope.
class Umask {
public:
    explicit Umask(mode_t mask) : old_(::umask(mask)) {}
    ~Umask() { ::umask(old_); }

private:
    mode_t old_;
};

TEST(FileModes, MachineStoreIsPublicAndTheUsersPrivateWhateverTheUmask) {
    for (mode_t mask : {mode_t{0}, mode_t{022}, mode_t{077}}) {
        SCOPED_TRACE(mask);
        TempDir top;
        const std::string machine = top.file("var/lib/vrk/registry");
        const std::string user = top.file("home/.local/share/vrk/registry");
        ::chmod(top.path().c_str(), 0755);
        {
            Umask scope(mask);
            SqliteRegistry reg(StoreLocation{machine, user});
            for (Key root : {kLocalMachine, kCurrentUser}) {
                Key k = kNullKey;
                ASSERT_EQ(reg.createKeyEx(root, "Software\\Vendor", 0, kKeyReadWrite, &k, nullptr),
                          kSuccess)
                    << reg.lastFailureDetail();
                reg.closeKey(k);
            }
            for (const char* dir : {"var", "var/lib", "var/lib/vrk", "var/lib/vrk/registry"}) {
                EXPECT_EQ(modeOf(top.file(dir)), 0755u) << dir;
            }
            for (const char* dir : {"home", "home/.local", "home/.local/share/vrk/registry"}) {
                EXPECT_EQ(modeOf(top.file(dir)), 0700u) << dir;
            }
            for (const char* file : {"registry.db", "registry.db-wal", "registry.db-shm"}) {
                EXPECT_EQ(modeOf(machine + "/" + file), 0644u) << file;
                EXPECT_EQ(modeOf(user + "/" + file), 0600u) << file;
            }
        }
    }
}

TEST(FileModes, TheMovedStoreOfTheEarlierLayoutTakesTheModeToo) {
    TempDir dir;
    {
        std::ofstream empty(dir.file("HKEY_USERS.db"));  // an empty hive of the earlier layout
    }
    ASSERT_EQ(::chmod(dir.file("HKEY_USERS.db").c_str(), 0644), 0);
    Umask scope(0);
    SqliteRegistry reg(StoreLocation::inDirectory(dir.path()));
    char name[16];
    ASSERT_EQ(reg.enumKey(kUsers, 0, name, sizeof name), kNoMoreItems) << reg.lastFailureDetail();
    EXPECT_TRUE(std::filesystem::exists(dir.file("HKEY_USERS.db.migrated")));
    EXPECT_EQ(modeOf(dir.file("registry.db")), 0644u);
}

// A machine store that others may write is refused, for reading and for
// writing, naming the path and why; the current user's store is its own
// business.
TEST(FileModes, AMachineStoreOthersMayWriteIsRefused) {
    struct Case {
        const char* what;
        bool onDirectory;
        mode_t mode;
        uid_t owner;  // 0: leave as it is
        const char* why;
    } cases[] = {
        {"directory writable by its group", true, 0775, 0, "its group"},
        {"directory writable by everyone", true, 0777, 0, "every user"},
        {"sticky directory writable by everyone", true, 01777, 0, "every user"},
        {"store file writable by everyone", false, 0666, 0, "every user"},
        {"store file writable by its group", false, 0664, 0, "its group"},
        {"store file of another user", false, 0644, 65534, "owned by user 65534"},
        {"directory of another user", true, 0755, 65534, "owned by user 65534"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.owner != 0 && ::geteuid() != 0) continue;  // only root can give files away
        TempDir machine, user;
        SqliteRegistry reg(StoreLocation{machine.path(), user.path()});
        Key k = kNullKey;
        ASSERT_EQ(reg.createKeyEx(kLocalMachine, "Software", 0, kKeyReadWrite, &k, nullptr),
                  kSuccess);
        reg.closeKey(k);
        ASSERT_EQ(reg.createKeyEx(kCurrentUser, "Mine", 0, kKeyReadWrite, &k, nullptr), kSuccess);
        reg.closeKey(k);
        const std::string target = c.onDirectory ? machine.path() : machine.file("registry.db");
        ASSERT_EQ(::chmod(target.c_str(), c.mode), 0);
        if (c.owner != 0) {
            ASSERT_EQ(::chown(target.c_str(), c.owner, c.owner), 0);
        }
        // The user's own store is not refused by the machine store's state.
        ASSERT_EQ(::chmod(user.file("registry.db").c_str(), 0666), 0);

        SqliteRegistry fresh(StoreLocation{machine.path(), user.path()});
        EXPECT_EQ(fresh.openKeyEx(kLocalMachine, "Software", kKeyRead, &k), kAccessDenied);
        const std::string detail = fresh.lastFailureDetail();
        EXPECT_TRUE(contains(detail, target + ": ")) << detail;
        EXPECT_TRUE(contains(detail, c.why)) << detail;
        EXPECT_EQ(fresh.createKeyEx(kUsers, "S-1", 0, kKeyReadWrite, &k, nullptr), kAccessDenied);
        EXPECT_EQ(fresh.openKeyEx(kCurrentUser, "Mine", kKeyRead, &k), kSuccess);
        fresh.closeKey(k);
    }
}

TEST(FileModes, AHiveOfTheEarlierLayoutOthersMayWriteIsNotTakenIn) {
    TempDir dir;
    { std::ofstream empty(dir.file("HKEY_LOCAL_MACHINE.db")); }
    ASSERT_EQ(::chmod(dir.file("HKEY_LOCAL_MACHINE.db").c_str(), 0666), 0);
    SqliteRegistry reg(StoreLocation::inDirectory(dir.path()));
    Key k = kNullKey;
    EXPECT_EQ(reg.openKeyEx(kLocalMachine, "Software", kKeyRead, &k), kAccessDenied);
    EXPECT_TRUE(contains(reg.lastFailureDetail(), dir.file("HKEY_LOCAL_MACHINE.db") + ": "))
        << reg.lastFailureDetail();
    EXPECT_FALSE(std::filesystem::exists(dir.file("registry.db")));
    EXPECT_TRUE(std::filesystem::exists(dir.file("HKEY_LOCAL_MACHINE.db")));
}

TEST(FileModes, ANewStoreInADirectoryOthersMayWriteIsRefused) {
    TempDir top;
    const std::string shared = top.file("shared");
    ASSERT_EQ(::mkdir(shared.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
    SqliteRegistry reg(StoreLocation::inDirectory(shared));
    Key k = kNullKey;
    EXPECT_EQ(reg.createKeyEx(kLocalMachine, "Software", 0, kKeyReadWrite, &k, nullptr),
              kAccessDenied);
    EXPECT_TRUE(contains(reg.lastFailureDetail(), shared + ": the registry directory"))
        << reg.lastFailureDetail();
    EXPECT_FALSE(std::filesystem::exists(shared + "/registry.db")) << "nothing created there";
}

}  // namespace
}  // namespace vrk::reg
