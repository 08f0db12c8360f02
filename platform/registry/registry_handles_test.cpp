// Handles whose key was deleted: by this handle's owner, another handle,
// another store object or another process; and a key created again.
#include <sys/wait.h>
#include <unistd.h>

#include "platform/registry/registry_test_support.hpp"

namespace vrk::reg {
namespace {

using testing::ScratchStore;

class StaleHandles : public ScratchStore {
protected:
    // Every call on k but close fails with kKeyDeleted.
    void expectStale(Key k) {
        std::uint32_t size = 0;
        char buf[16];
        std::uint32_t n = sizeof buf;
        Key out{0x99};
        EXPECT_EQ(reg->queryValueEx(k, "v", nullptr, nullptr, &size), kKeyDeleted);
        EXPECT_EQ(reg->setValueEx(k, "v", kRegSz, nullptr, 0), kKeyDeleted);
        EXPECT_EQ(reg->deleteValue(k, "v"), kKeyDeleted);
        EXPECT_EQ(reg->enumKey(k, 0, buf, sizeof buf), kKeyDeleted);
        EXPECT_EQ(reg->enumValue(k, 0, buf, &n, nullptr, nullptr, nullptr), kKeyDeleted);
        EXPECT_EQ(reg->createKeyEx(k, "under", 0, kKeyReadWrite, &out, nullptr), kKeyDeleted);
        EXPECT_EQ(out, kNullKey);
        EXPECT_EQ(reg->openKeyEx(k, "", kKeyRead, &out), kKeyDeleted);
        EXPECT_EQ(reg->deleteKey(k, "under"), kKeyDeleted);
        EXPECT_EQ(reg->closeKey(k), kSuccess);
    }
};

TEST_F(StaleHandles, DeletedThroughAnotherHandle) {
    Key k = create(kCurrentUser, "gone");
    setText(k, "v", "x");
    ASSERT_EQ(reg->deleteKey(kCurrentUser, "gone"), kSuccess);
    expectStale(k);
}

TEST_F(StaleHandles, DeletedThroughItself) {
    Key k = create(kCurrentUser, "self");
    ASSERT_EQ(reg->deleteKey(k, ""), kSuccess);
    expectStale(k);
}

TEST_F(StaleHandles, StaysStaleWhenTheNameIsCreatedAgain) {
    Key k = create(kCurrentUser, "again");
    ASSERT_EQ(reg->deleteKey(kCurrentUser, "again"), kSuccess);
    std::uint32_t disposition = 0;
    Key fresh = create(kCurrentUser, "again", &disposition);
    EXPECT_EQ(disposition, kCreatedNewKey);
    setText(fresh, "v", "new");
    expectStale(k);
    EXPECT_EQ(bytesOf(fresh, "v"), "new");
    reg->closeKey(fresh);
}

TEST_F(StaleHandles, NewestKeyDeletedThenRecreated) {
    // The key with the highest id deleted: a plain rowid would hand its id to
    // the next key.
    Key k = create(kCurrentUser, "a\\b\\last");
    ASSERT_EQ(reg->deleteKey(kCurrentUser, "a\\b\\last"), kSuccess);
    Key other = create(kCurrentUser, "a\\b\\next");
    expectStale(k);
    reg->closeKey(other);
}

TEST_F(StaleHandles, DeletedByAnotherStoreObject) {
    auto other = makeScratchRegistry(dir.path());
    Key k = create(kLocalMachine, "Software\\Shared");
    ASSERT_EQ(other->deleteKey(kLocalMachine, "Software\\Shared"), kSuccess);
    expectStale(k);
}

TEST_F(StaleHandles, DeletedByAnotherProcess) {
    Key k = create(kLocalMachine, "Software\\Victim");
    setText(k, "v", "before");
    pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        auto r = makeScratchRegistry(dir.path());
        long rc = r->deleteKey(kLocalMachine, "Software\\Victim");
        Key again = kNullKey;
        if (rc == kSuccess) {
            rc = r->createKeyEx(kLocalMachine, "Software\\Victim", 0, kKeyReadWrite, &again,
                                nullptr);
        }
        ::_exit(rc == kSuccess ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    expectStale(k);
}

TEST_F(StaleHandles, ParentDeletedUnderAnOpenChildHandle) {
    Key parent = create(kCurrentUser, "p");
    Key child = create(parent, "c");
    ASSERT_EQ(reg->deleteKey(parent, "c"), kSuccess);
    ASSERT_EQ(reg->deleteKey(kCurrentUser, "p"), kSuccess);
    expectStale(child);
    expectStale(parent);
}

TEST(ForkedChild, UsesFreshConnections) {
    // The parent's store object, used in the child after fork, must work on
    // connections of the child's own.
    testing::TempDir dir;
    auto reg = makeScratchRegistry(dir.path());
    Key k = kNullKey;
    ASSERT_EQ(reg->createKeyEx(kCurrentUser, "forked", 0, kKeyReadWrite, &k, nullptr), kSuccess);
    pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        const unsigned char b = 'c';
        long rc = reg->setValueEx(k, "fromChild", kRegBinary, &b, 1);
        ::_exit(rc == kSuccess ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::uint32_t size = 0;
    EXPECT_EQ(reg->queryValueEx(k, "fromChild", nullptr, nullptr, &size), kSuccess);
    EXPECT_EQ(size, 1u);
    const unsigned char b = 'p';
    EXPECT_EQ(reg->setValueEx(k, "fromParent", kRegBinary, &b, 1), kSuccess);
    reg->closeKey(k);
}

}  // namespace
}  // namespace vrk::reg
