// Volatile keys of our store last until the system restarts, as on Windows:
// a store opened in a later boot than the one that last opened it has lost
// them. The boot is given through the platform's boot id.
#include <string>

#include "platform/process.hpp"
#include "registry/registry_test_support.hpp"
#include "registry/store_file_test_support.hpp"

namespace vrk::reg {
namespace {

class VolatileRestart : public testing::ScratchStore {
protected:
    void SetUp() override {
        platform::forceBootId("first boot");
        reopen();
    }
    void TearDown() override { platform::clearForcedBootId(); }

    // Drops the store object and makes a new one on the same files, as a
    // later process would.
    void reopen() {
        reg.reset();
        reg = makeScratchRegistry(where);
    }
    std::string where = dir.path();  // the store's directory
    void createVolatile(Key parent, const char* path) {
        Key k = kNullKey;
        ASSERT_EQ(reg->createKeyEx(parent, path, kRegOptionVolatile, kKeyReadWrite, &k, nullptr),
                  kSuccess)
            << path;
        setText(k, "v", "volatile");
        reg->closeKey(k);
    }
    // The layout: lasting keys with volatile keys at several places.
    void makeKeys() {
        Key lasting = create(kCurrentUser, "Software\\R\\Lasting");
        setText(lasting, "kept", "yes");
        reg->closeKey(lasting);
        createVolatile(kCurrentUser, "Software\\R\\Vol");
        createVolatile(kCurrentUser, "Software\\R\\Vol\\Deeper\\Deepest");
        createVolatile(kCurrentUser, "Software\\R\\Lasting\\Vol2");
        createVolatile(kLocalMachine, "Software\\R\\MachineVol");
    }
    bool exists(Key root, const char* path) {
        Key k = kNullKey;
        if (reg->openKeyEx(root, path, kKeyRead, &k) != kSuccess) return false;
        reg->closeKey(k);
        return true;
    }
    bool volatileKeysThere() {
        const bool vol = exists(kCurrentUser, "Software\\R\\Vol");
        EXPECT_EQ(exists(kCurrentUser, "Software\\R\\Vol\\Deeper\\Deepest"), vol);
        EXPECT_EQ(exists(kCurrentUser, "Software\\R\\Lasting\\Vol2"), vol);
        EXPECT_EQ(exists(kLocalMachine, "Software\\R\\MachineVol"), vol);
        return vol;
    }
    void expectLastingKeys() {
        Key lasting = kNullKey;
        ASSERT_EQ(open(kCurrentUser, "Software\\R\\Lasting", &lasting, kKeyRead), kSuccess);
        EXPECT_EQ(bytesOf(lasting, "kept"), "yes");
        EXPECT_EQ(subkeys(lasting).size(), 0u) << "its volatile subkey went";
        reg->closeKey(lasting);
    }
};

TEST_F(VolatileRestart, VolatileKeysGoWhenTheStoreIsOpenedInALaterBoot) {
    // However the first call after the restart uses the store, it finds them gone.
    static const struct {
        const char* firstUse;
        bool write;
    } cases[] = {{"a read", false}, {"a write", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.firstUse);
        testing::TempDir store;
        where = store.path();
        platform::forceBootId(std::string("boot before ") + c.firstUse);
        reopen();
        makeKeys();
        reopen();
        EXPECT_TRUE(volatileKeysThere()) << "a later process of the same boot sees them";

        platform::forceBootId(std::string("boot after ") + c.firstUse);
        reopen();
        if (c.write) {
            Key other = create(kCurrentUser, "Software\\Other");
            reg->closeKey(other);
            Key machine = create(kLocalMachine, "Software\\Other");
            reg->closeKey(machine);
        }
        EXPECT_FALSE(volatileKeysThere());
        expectLastingKeys();
        // A volatile key made in this boot stays for the rest of it.
        createVolatile(kCurrentUser, "Software\\R\\Vol");
        reopen();
        EXPECT_TRUE(exists(kCurrentUser, "Software\\R\\Vol"));
        reg.reset();
    }
}

TEST_F(VolatileRestart, AnUnknownBootOrAnUnrecordedOneKeepsThem) {
    makeKeys();
    platform::forceBootId("");
    reopen();
    EXPECT_TRUE(volatileKeysThere()) << "the boot cannot be told";

    // A store file that has no boot recorded yet (one of an earlier layout)
    // keeps its keys and records this boot.
    reg.reset();
    testing::runSql(dir.file("registry.db"), "DELETE FROM boot;");
    platform::forceBootId("second boot");
    reopen();
    EXPECT_TRUE(volatileKeysThere());

    platform::forceBootId("third boot");
    reopen();
    EXPECT_FALSE(volatileKeysThere());
    expectLastingKeys();
}

}  // namespace
}  // namespace vrk::reg
