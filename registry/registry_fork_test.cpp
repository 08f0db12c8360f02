// Handles and store objects across fork(): a key deleted by another
// process, and a store object used in a forked child. POSIX only.
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "registry/registry_test_support.hpp"

namespace vrk::reg {
namespace {

using testing::StaleHandles;

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

TEST(ForkedChild, GoesOnWithAWalkAndItsChangeReachesTheParentsWalk) {
    // A walk begun before the fork goes on in the child on connections of
    // its own; a subkey the child adds shows in the parent's walk, whose
    // list was read before it.
    testing::TempDir dir;
    auto reg = makeScratchRegistry(dir.path());
    Key parent = kNullKey;
    ASSERT_EQ(reg->createKeyEx(kCurrentUser, "walked", 0, kKeyReadWrite, &parent, nullptr),
              kSuccess);
    for (const char* name : {"a", "b"}) {
        Key k = kNullKey;
        ASSERT_EQ(reg->createKeyEx(parent, name, 0, kKeyReadWrite, &k, nullptr), kSuccess);
        reg->closeKey(k);
    }
    char name[16];
    ASSERT_EQ(reg->enumKey(parent, 0, name, sizeof name), kSuccess);
    EXPECT_STREQ(name, "a");
    pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        int failed = 0;
        if (reg->enumKey(parent, 1, name, sizeof name) != kSuccess || std::strcmp(name, "b") != 0)
            failed |= 1;
        Key k = kNullKey;
        if (reg->createKeyEx(parent, "c", 0, kKeyReadWrite, &k, nullptr) != kSuccess) failed |= 2;
        reg->closeKey(k);
        if (reg->enumKey(parent, 2, name, sizeof name) != kSuccess || std::strcmp(name, "c") != 0)
            failed |= 4;
        ::_exit(failed);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the walk, 2: the create, 4: the child's new name";
    ASSERT_EQ(reg->enumKey(parent, 1, name, sizeof name), kSuccess);
    EXPECT_STREQ(name, "b");
    ASSERT_EQ(reg->enumKey(parent, 2, name, sizeof name), kSuccess);
    EXPECT_STREQ(name, "c");
    EXPECT_EQ(reg->enumKey(parent, 3, name, sizeof name), kNoMoreItems);
    reg->closeKey(parent);
}

}  // namespace
}  // namespace vrk::reg
