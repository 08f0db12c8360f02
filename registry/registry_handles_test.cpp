// Handles whose key was deleted: by this handle's owner, another handle or
// another store object; and a key created again. (Another process:
// registry_fork_test.cpp.)
#include "registry/registry_test_support.hpp"

namespace vrk::reg {
namespace {

using testing::StaleHandles;

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

TEST_F(StaleHandles, ParentDeletedUnderAnOpenChildHandle) {
    Key parent = create(kCurrentUser, "p");
    Key child = create(parent, "c");
    ASSERT_EQ(reg->deleteKey(parent, "c"), kSuccess);
    ASSERT_EQ(reg->deleteKey(kCurrentUser, "p"), kSuccess);
    expectStale(child);
    expectStale(parent);
}

}  // namespace
}  // namespace vrk::reg
