// Reads answered from what the store object has already read (subkey
// lists, keys found, small values): every call must still show the store as
// it is at that call, whoever changed it (this process, another store
// object, another process), and a handle whose key is gone must still fail
// with kKeyDeleted.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "registry/registry_test_support.hpp"

namespace vrk::reg {
namespace {

class ReadCache : public testing::ScratchStore {
protected:
    // A parent with count subkeys "k000", "k002", ... (even numbers, so that
    // odd ones can land between them), more than one read-ahead holds.
    Key parentWith(const char* name, int count) {
        Key parent = create(kCurrentUser, name);
        EXPECT_EQ(reg->beginBatch(), kSuccess);
        for (int i = 0; i < count; ++i) reg->closeKey(create(parent, label(2 * i).c_str()));
        EXPECT_EQ(reg->commitBatch(), kSuccess);
        return parent;
    }
    static std::string label(int i) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "k%03d", i);
        return buf;
    }
    std::string nameAt(Key k, std::uint32_t index) {
        char buf[64];
        long rc = reg->enumKey(k, index, buf, sizeof buf);
        return rc == kSuccess ? std::string(buf) : "<error " + std::to_string(rc) + ">";
    }
};

TEST_F(ReadCache, RolledBackBatchLeavesNoNameBehind) {
    Key parent = create(kCurrentUser, "p");
    reg->closeKey(create(parent, "a"));
    ASSERT_EQ(subkeys(parent), std::vector<std::string>{"a"});
    ASSERT_EQ(reg->beginBatch(), kSuccess);
    reg->closeKey(create(parent, "b"));
    ASSERT_EQ(subkeys(parent), (std::vector<std::string>{"a", "b"})) << "seen inside the batch";
    ASSERT_EQ(reg->rollbackBatch(), kSuccess);
    EXPECT_EQ(subkeys(parent), std::vector<std::string>{"a"});
    EXPECT_EQ(nameAt(parent, 1), "<error " + std::to_string(kNoMoreItems) + ">");
    reg->closeKey(parent);
}

TEST_F(ReadCache, AnotherStoreObjectsChangeIsSeenByTheNextCall) {
    // Two store objects on one directory stand for two processes.
    auto other = makeScratchRegistry(dir.path());
    Key parent = parentWith("big", 300);
    ASSERT_EQ(subkeys(parent).size(), 300u);  // read once, all of it
    Key k = kNullKey;
    // A name added before the walk's position moves every later name up.
    ASSERT_EQ(nameAt(parent, 150), label(300));
    ASSERT_EQ(other->createKeyEx(kCurrentUser, "big\\k001", 0, kKeyReadWrite, &k, nullptr),
              kSuccess);
    other->closeKey(k);
    EXPECT_EQ(nameAt(parent, 151), label(300));
    EXPECT_EQ(nameAt(parent, 1), "k001");
    // A second handle on the same key sees the same.
    Key again = kNullKey;
    ASSERT_EQ(open(kCurrentUser, "big", &again), kSuccess);
    EXPECT_EQ(subkeys(again).size(), 301u);
    // A deletion, and a name added at the end.
    ASSERT_EQ(other->deleteKey(kCurrentUser, "big\\k000"), kSuccess);
    ASSERT_EQ(other->createKeyEx(kCurrentUser, "big\\zz", 0, kKeyReadWrite, &k, nullptr), kSuccess);
    other->closeKey(k);
    EXPECT_EQ(nameAt(parent, 0), "k001");
    EXPECT_EQ(nameAt(again, 300), "zz");
    EXPECT_EQ(nameAt(again, 301), "<error " + std::to_string(kNoMoreItems) + ">");
    reg->closeKey(again);
    reg->closeKey(parent);
}

TEST_F(ReadCache, AnotherProcesssChangeIsSeenByTheNextCall) {
    Key parent = parentWith("shared", 100);
    ASSERT_EQ(subkeys(parent).size(), 100u);
    const pid_t child = fork();
    if (child == 0) {
        auto mine = makeScratchRegistry(dir.path());
        Key k = kNullKey;
        bool ok =
            mine->createKeyEx(kCurrentUser, "shared\\a", 0, kKeyReadWrite, &k, nullptr) == kSuccess;
        mine->closeKey(k);
        ok = ok && mine->deleteKey(kCurrentUser, "shared\\k198") == kSuccess;
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(nameAt(parent, 0), "a");
    EXPECT_EQ(nameAt(parent, 99), label(196));
    EXPECT_EQ(nameAt(parent, 100), "<error " + std::to_string(kNoMoreItems) + ">");
    reg->closeKey(parent);
}

TEST_F(ReadCache, KeyDeletedElsewhereFailsTheNextCall) {
    auto other = makeScratchRegistry(dir.path());
    Key parent = parentWith("gone", 3);
    ASSERT_EQ(subkeys(parent).size(), 3u);
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(other->deleteKey(kCurrentUser, ("gone\\" + label(2 * i)).c_str()), kSuccess);
    }
    ASSERT_EQ(other->deleteKey(kCurrentUser, "gone"), kSuccess);
    char buf[16];
    EXPECT_EQ(reg->enumKey(parent, 0, buf, sizeof buf), kKeyDeleted);
    EXPECT_EQ(reg->enumKey(parent, 3, buf, sizeof buf), kKeyDeleted);
    reg->closeKey(parent);
}

TEST_F(ReadCache, FlushBetweenCallsChangesNoAnswer) {
    // A flush writes the log back into the file and starts it again: the
    // store's content stays, and so do the answers.
    auto other = makeScratchRegistry(dir.path());
    Key parent = parentWith("flushed", 80);
    ASSERT_EQ(nameAt(parent, 10), label(20));
    ASSERT_EQ(reg->flushKey(parent), kSuccess);
    EXPECT_EQ(nameAt(parent, 11), label(22));
    Key k = kNullKey;
    ASSERT_EQ(other->createKeyEx(kCurrentUser, "flushed\\k021", 0, kKeyReadWrite, &k, nullptr),
              kSuccess);
    other->closeKey(k);
    ASSERT_EQ(other->flushKey(kCurrentUser), kSuccess);
    EXPECT_EQ(nameAt(parent, 11), "k021");
    EXPECT_EQ(subkeys(parent).size(), 81u);
    reg->closeKey(parent);
}

TEST_F(ReadCache, ValuesAndKeysChangedElsewhereAreSeenByTheNextRead) {
    auto other = makeScratchRegistry(dir.path());
    Key k = create(kCurrentUser, "app\\entry");
    setText(k, "Data", "first");
    Key app = create(kCurrentUser, "app");
    // Read twice (size, then bytes), as the profile store does.
    ASSERT_EQ(bytesOf(k, "Data"), "first");
    Key mine = kNullKey;
    ASSERT_EQ(other->openKeyEx(kCurrentUser, "app\\entry", kKeyReadWrite, &mine), kSuccess);
    const std::string second = "second";
    ASSERT_EQ(other->setValueEx(mine, "Data", kRegSz,
                                reinterpret_cast<const unsigned char*>(second.data()),
                                static_cast<std::uint32_t>(second.size())),
              kSuccess);
    EXPECT_EQ(bytesOf(k, "Data"), "second");
    ASSERT_EQ(other->deleteValue(mine, "Data"), kSuccess);
    EXPECT_EQ(bytesOf(k, "Data"), "<error " + std::to_string(kFileNotFound) + ">");
    other->closeKey(mine);
    // A key found once and deleted elsewhere: not found by name, stale by handle.
    Key found = kNullKey;
    ASSERT_EQ(open(app, "entry", &found), kSuccess);
    reg->closeKey(found);
    ASSERT_EQ(other->deleteKey(kCurrentUser, "app\\entry"), kSuccess);
    EXPECT_EQ(open(app, "entry", &found), kFileNotFound);
    EXPECT_EQ(bytesOf(k, "Data"), "<error " + std::to_string(kKeyDeleted) + ">");
    EXPECT_EQ(reg->openKeyEx(k, "", kKeyRead, &found), kKeyDeleted);
    reg->closeKey(k);
    reg->closeKey(app);
}

// A subkey list read before commits of this store object is kept across
// those that leave the key's subkeys alone; whatever else happens in between
// (its own subkey changes, another store object's commit, a rolled-back
// batch) must show at the next walk.
TEST_F(ReadCache, OwnCommitsBetweenWalksShowWhereTheyTouchTheSubkeys) {
    auto other = makeScratchRegistry(dir.path());
    using Change = std::function<void(Key p, Key elsewhere)>;
    auto otherMakes = [&](const char* path) {
        Key k = kNullKey;
        ASSERT_EQ(other->createKeyEx(kCurrentUser, path, 0, kKeyReadWrite, &k, nullptr), kSuccess);
        other->closeKey(k);
    };
    struct Case {
        const char* what;
        Change change;
        std::vector<std::string> expected;
    };
    int n = 0;
    const Case cases[] = {
        {"a value of the key", [&](Key p, Key) { setText(p, "v", "1"); }, {"a", "c"}},
        {"a value, then a subkey added",
         [&](Key p, Key) {
             setText(p, "v", "1");
             reg->closeKey(create(p, "b"));
         },
         {"a", "b", "c"}},
        {"a value, then a subkey removed",
         [&](Key p, Key) {
             setText(p, "v", "1");
             ASSERT_EQ(reg->deleteKey(p, "a"), kSuccess);
         },
         {"c"}},
        {"a key added and removed elsewhere, a value",
         [&](Key p, Key elsewhere) {
             reg->closeKey(create(elsewhere, "x"));
             ASSERT_EQ(reg->deleteKey(elsewhere, "x"), kSuccess);
             setText(p, "v", "1");
         },
         {"a", "c"}},
        {"a subkey below a subkey",
         [&](Key p, Key) { reg->closeKey(create(p, "a\\x")); },
         {"a", "c"}},
        {"a subkey added and removed again",
         [&](Key p, Key) {
             reg->closeKey(create(p, "b"));
             ASSERT_EQ(reg->deleteKey(p, "b"), kSuccess);
         },
         {"a", "c"}},
        {"another object's subkey between two values",
         [&](Key p, Key) {
             setText(p, "v", "1");
             otherMakes(("p" + std::to_string(n) + "\\b").c_str());
             setText(p, "v", "2");
         },
         {"a", "b", "c"}},
        {"another object's removal between two values",
         [&](Key p, Key) {
             setText(p, "v", "1");
             ASSERT_EQ(other->deleteKey(kCurrentUser, ("p" + std::to_string(n) + "\\c").c_str()),
                       kSuccess);
             setText(p, "v", "2");
         },
         {"a"}},
        {"a batch that added a subkey rolled back, a value",
         [&](Key p, Key) {
             ASSERT_EQ(reg->beginBatch(), kSuccess);
             reg->closeKey(create(p, "b"));
             ASSERT_EQ(reg->rollbackBatch(), kSuccess);
             setText(p, "v", "1");
         },
         {"a", "c"}},
        {"a batch that added a subkey and a value",
         [&](Key p, Key) {
             ASSERT_EQ(reg->beginBatch(), kSuccess);
             reg->closeKey(create(p, "b"));
             setText(p, "v", "1");
             ASSERT_EQ(reg->commitBatch(), kSuccess);
         },
         {"a", "b", "c"}},
    };
    Key elsewhere = create(kCurrentUser, "elsewhere");
    for (const Case& c : cases) {
        ++n;
        const std::string name = "p" + std::to_string(n);
        Key p = create(kCurrentUser, name.c_str());
        reg->closeKey(create(p, "a"));
        reg->closeKey(create(p, "c"));
        setText(p, "v", "0");
        ASSERT_EQ(subkeys(p), (std::vector<std::string>{"a", "c"})) << c.what;
        c.change(p, elsewhere);
        EXPECT_EQ(subkeys(p), c.expected) << c.what;
        reg->closeKey(p);
    }
    // The key itself removed by this store object.
    Key gone = create(kCurrentUser, "gone");
    reg->closeKey(create(gone, "a"));
    ASSERT_EQ(subkeys(gone), std::vector<std::string>{"a"});
    ASSERT_EQ(reg->deleteKey(gone, "a"), kSuccess);
    ASSERT_EQ(reg->deleteKey(kCurrentUser, "gone"), kSuccess);
    EXPECT_EQ(nameAt(gone, 0), "<error " + std::to_string(kKeyDeleted) + ">");
    reg->closeKey(gone);
    reg->closeKey(elsewhere);
}

TEST_F(ReadCache, RolledBackBatchLeavesNoValueOrKeyBehind) {
    Key k = create(kCurrentUser, "v");
    setText(k, "Data", "kept");
    ASSERT_EQ(bytesOf(k, "Data"), "kept");
    ASSERT_EQ(reg->beginBatch(), kSuccess);
    setText(k, "Data", "undone");
    Key added = create(kCurrentUser, "v\\added");
    ASSERT_EQ(bytesOf(k, "Data"), "undone");
    Key again = kNullKey;
    ASSERT_EQ(open(kCurrentUser, "v\\added", &again), kSuccess);
    reg->closeKey(again);
    ASSERT_EQ(reg->rollbackBatch(), kSuccess);
    EXPECT_EQ(bytesOf(k, "Data"), "kept");
    EXPECT_EQ(open(kCurrentUser, "v\\added", &again), kFileNotFound);
    reg->closeKey(added);
    reg->closeKey(k);
}

}  // namespace
}  // namespace vrk::reg
