// Key names, letter case, subkey order, limits and the errors of key calls.
#include <string>
#include <vector>

#include "platform/process.hpp"
#include "registry/registry_test_support.hpp"

namespace vrk::reg {
namespace {

using testing::ScratchStore;
using testing::windowsOrWine;

class Keys : public ScratchStore {};

TEST_F(Keys, CreateReportsNewThenExisting) {
    std::uint32_t disposition = 0;
    Key a = create(kCurrentUser, "Software\\Vendor", &disposition);
    EXPECT_EQ(disposition, kCreatedNewKey);
    Key b = create(kCurrentUser, "Software\\Vendor", &disposition);
    EXPECT_EQ(disposition, kOpenedExistingKey);
    EXPECT_NE(a, b) << "every open gives a handle of its own";
    EXPECT_EQ(reg->closeKey(a), kSuccess);
    EXPECT_EQ(reg->closeKey(b), kSuccess);
}

TEST_F(Keys, OneCreateMakesEveryMissingLevel) {
    reg->closeKey(create(kLocalMachine, "a\\b\\c\\d"));
    Key k = kNullKey;
    for (const char* path : {"a", "a\\b", "a\\b\\c", "a\\b\\c\\d"}) {
        ASSERT_EQ(open(kLocalMachine, path, &k), kSuccess) << path;
        reg->closeKey(k);
    }
}

TEST_F(Keys, NamesAreCaseInsensitiveAndKeepTheirFirstSpelling) {
    reg->closeKey(create(kCurrentUser, "AB"));
    std::uint32_t disposition = 0;
    Key k = create(kCurrentUser, "ab", &disposition);
    EXPECT_EQ(disposition, kOpenedExistingKey);
    reg->closeKey(k);
    EXPECT_EQ(subkeys(kCurrentUser), std::vector<std::string>{"AB"});
    Key o = kNullKey;
    EXPECT_EQ(open(kCurrentUser, "aB", &o), kSuccess);
    reg->closeKey(o);
}

TEST_F(Keys, OnlyAsciiLettersFoldCase) {
    // Bytes above 0x7F and punctuation compare exactly in our store. Wine
    // (like Windows) folds letters beyond ASCII by its Unicode tables: the
    // case "a-umlaut" names its answer.
    static const struct {
        const char* first;
        const char* second;
        bool same;
    } cases[] = {
        {"abc", "ABC", true},
        {"z", "Z", true},
        {"[", "{", false},
        {"_", "\x7f", false},
        {"\xe4", "\xc4", windowsOrWine(false, true)},
        {"a1", "A1", true},
        {"a_b", "A_B", true},
        {"@", "`", false},
    };
    for (const auto& c : cases) {
        testing::TempDir d;
        auto r = makeScratchRegistry(d.path());
        Key k = kNullKey;
        ASSERT_EQ(r->createKeyEx(kUsers, c.first, 0, kKeyReadWrite, &k, nullptr), kSuccess);
        r->closeKey(k);
        std::uint32_t disposition = 0;
        ASSERT_EQ(r->createKeyEx(kUsers, c.second, 0, kKeyReadWrite, &k, &disposition), kSuccess);
        r->closeKey(k);
        EXPECT_EQ(disposition, c.same ? kOpenedExistingKey : kCreatedNewKey)
            << c.first << " vs " << c.second;
    }
}

TEST_F(Keys, SubkeysEnumerateInUpperCasedByteOrder) {
    Key parent = create(kCurrentUser, "order");
    for (const char* name : {"~t", "b", "_x", "Z", "a_", "[q", "AB", "0", "a"}) {
        reg->closeKey(create(parent, name));
    }
    // Wine departs for names holding [ \ ] ^ _ or the backquote: it sorts by
    // lower-cased names.
    const std::vector<std::string> expected =
        windowsOrWine(std::vector<std::string>{"0", "a", "AB", "a_", "b", "Z", "[q", "_x", "~t"},
                      std::vector<std::string>{"0", "[q", "_x", "a", "a_", "AB", "b", "Z", "~t"});
    EXPECT_EQ(subkeys(parent), expected);
    reg->closeKey(parent);
}

TEST_F(Keys, EnumerationFollowsChangesBetweenCalls) {
    Key parent = create(kCurrentUser, "walk");
    for (const char* name : {"b", "d", "f"}) reg->closeKey(create(parent, name));
    char buf[16];
    ASSERT_EQ(reg->enumKey(parent, 0, buf, sizeof buf), kSuccess);
    EXPECT_STREQ(buf, "b");
    reg->closeKey(create(parent, "c"));  // lands at index 1
    ASSERT_EQ(reg->enumKey(parent, 1, buf, sizeof buf), kSuccess);
    EXPECT_STREQ(buf, "c");
    ASSERT_EQ(reg->deleteKey(parent, "d"), kSuccess);
    ASSERT_EQ(reg->enumKey(parent, 2, buf, sizeof buf), kSuccess);
    EXPECT_STREQ(buf, "f");
    EXPECT_EQ(reg->enumKey(parent, 3, buf, sizeof buf), kNoMoreItems);
    // Going back and jumping ahead answer by position too.
    ASSERT_EQ(reg->enumKey(parent, 0, buf, sizeof buf), kSuccess);
    EXPECT_STREQ(buf, "b");
    ASSERT_EQ(reg->enumKey(parent, 2, buf, sizeof buf), kSuccess);
    EXPECT_STREQ(buf, "f");
    // The same index again, as after a buffer that was too small.
    ASSERT_EQ(reg->enumKey(parent, 2, buf, sizeof buf), kSuccess);
    EXPECT_STREQ(buf, "f");
    reg->closeKey(parent);
}

TEST_F(Keys, EnumerationSeesAnotherStoreObjectsChanges) {
    // Two store objects on one directory stand for two processes.
    auto other = makeScratchRegistry(dir.path());
    Key parent = create(kCurrentUser, "shared");
    for (const char* name : {"a", "c"}) reg->closeKey(create(parent, name));
    char buf[16];
    ASSERT_EQ(reg->enumKey(parent, 0, buf, sizeof buf), kSuccess);
    Key k = kNullKey;
    ASSERT_EQ(other->createKeyEx(kCurrentUser, "shared\\b", 0, kKeyReadWrite, &k, nullptr),
              kSuccess);
    other->closeKey(k);
    ASSERT_EQ(reg->enumKey(parent, 1, buf, sizeof buf), kSuccess);
    EXPECT_STREQ(buf, "b");
    reg->closeKey(parent);
}

TEST_F(Keys, NameBufferMustHoldTheTerminator) {
    Key parent = create(kCurrentUser, "buf");
    reg->closeKey(create(parent, "abcd"));
    char buf[8] = "xxxxxxx";
    EXPECT_EQ(reg->enumKey(parent, 0, buf, 4), kMoreData);
    EXPECT_STREQ(buf, "xxxxxxx") << "nothing copied";
    EXPECT_EQ(reg->enumKey(parent, 0, buf, 5), kSuccess);
    EXPECT_STREQ(buf, "abcd");
    reg->closeKey(parent);
}

TEST_F(Keys, PathRules) {
    // Wine departs: it takes an empty level as no level, and its 64-bit
    // create with KEY_WOW64_32KEY (that of a 64-bit build) accepts a leading
    // backslash (its open does not).
    const long wineLeading = sizeof(void*) == 8 ? kSuccess : kBadPathname;
    const struct {
        const char* path;
        long create;  // result of createKeyEx below HKEY_CURRENT_USER
    } cases[] = {
        {"plain", kSuccess},
        {"two\\levels", kSuccess},
        {"trailing\\\\", kSuccess},
        {"\\leading", windowsOrWine<long>(kBadPathname, wineLeading)},
        {"\\", windowsOrWine<long>(kBadPathname, wineLeading)},
        {"empty\\\\inside", windowsOrWine<long>(kInvalidParameter, kSuccess)},
        {"dots.and spaces", kSuccess},
    };
    for (const auto& c : cases) {
        Key k = kNullKey;
        EXPECT_EQ(reg->createKeyEx(kCurrentUser, c.path, 0, kKeyReadWrite, &k, nullptr), c.create)
            << c.path;
        if (c.create == kSuccess) {
            EXPECT_NE(k, kNullKey);
            reg->closeKey(k);
        } else {
            EXPECT_EQ(k, kNullKey) << c.path;
        }
    }
    Key k = kNullKey;
    EXPECT_EQ(open(kCurrentUser, "trailing", &k), kSuccess) << "trailing backslashes ignored";
    reg->closeKey(k);
    EXPECT_EQ(open(kCurrentUser, "\\plain", &k), kBadPathname);
}

TEST_F(Keys, LeadingBackslashOnOpenIsTakenOnlyBelowTheClassesRoot) {
    // Windows 2000 and later open "\\clsid" below HKEY_CLASSES_ROOT itself as
    // "clsid"; below any other key, and below a key opened from the classes
    // root, the leading backslash is a bad path, and a create always refuses it.
    Key made = create(kClassesRoot, "VrkLeadingProbe\\inner");
    reg->closeKey(made);
    const struct {
        Key parent;
        const char* path;
        long open;
    } cases[] = {
        {kClassesRoot, "\\VrkLeadingProbe", kSuccess},
        {kClassesRoot, "\\VrkLeadingProbe\\inner", kSuccess},
        {kClassesRoot, "\\VrkLeadingMissing", kFileNotFound},
        {kCurrentUser, "\\Software", kBadPathname},
        {kLocalMachine, "\\Software", kBadPathname},
    };
    for (const auto& c : cases) {
        Key k = kNullKey;
        EXPECT_EQ(reg->openKeyEx(c.parent, c.path, kKeyRead, &k), c.open) << c.path;
        EXPECT_EQ(reg->openKey(c.parent, c.path, &k) == kSuccess, c.open == kSuccess) << c.path;
        if (k != kNullKey) reg->closeKey(k);
    }
    Key probe = kNullKey;
    ASSERT_EQ(open(kClassesRoot, "VrkLeadingProbe", &probe), kSuccess);
    Key k = kNullKey;
    EXPECT_EQ(reg->openKeyEx(probe, "\\inner", kKeyRead, &k), kBadPathname);
    EXPECT_EQ(reg->createKeyEx(kClassesRoot, "\\VrkLeadingProbe", 0, kKeyReadWrite, &k, nullptr),
              windowsOrWine<long>(kBadPathname, sizeof(void*) == 8 ? kSuccess : kBadPathname));
    if (k != kNullKey) reg->closeKey(k);
    reg->closeKey(probe);
    EXPECT_EQ(reg->deleteKey(kClassesRoot, "VrkLeadingProbe\\inner"), kSuccess);
    EXPECT_EQ(reg->deleteKey(kClassesRoot, "VrkLeadingProbe"), kSuccess);
}

TEST_F(Keys, NameLengthLimit) {
    // Wine departs: it accepts 256 characters, and refuses longer names with
    // ERROR_MORE_DATA.
    const struct {
        std::size_t length;
        long result;
    } cases[] = {{1, kSuccess},
                 {254, kSuccess},
                 {255, kSuccess},
                 {256, windowsOrWine<long>(kInvalidParameter, kSuccess)},
                 {1000, windowsOrWine<long>(kInvalidParameter, kMoreData)}};
    for (const auto& c : cases) {
        std::string name(c.length, 'n');
        Key k = kNullKey;
        EXPECT_EQ(
            reg->createKeyEx(kCurrentUser, ("p\\" + name).c_str(), 0, kKeyReadWrite, &k, nullptr),
            c.result)
            << c.length;
        reg->closeKey(k);
        if (c.result == kSuccess) {
            char buf[300];
            Key p = kNullKey;
            ASSERT_EQ(open(kCurrentUser, "p", &p), kSuccess);
            EXPECT_EQ(reg->enumKey(p, 0, buf, static_cast<std::uint32_t>(c.length)), kMoreData);
            ASSERT_EQ(reg->enumKey(p, 0, buf, static_cast<std::uint32_t>(c.length + 1)), kSuccess);
            EXPECT_EQ(std::string(buf), name);
            reg->closeKey(p);
            ASSERT_EQ(reg->deleteKey(kCurrentUser, ("p\\" + name).c_str()), kSuccess);
        }
    }
}

TEST_F(Keys, OpenOfMissingKeyOrLevel) {
    reg->closeKey(create(kLocalMachine, "Software\\There"));
    for (const char* path : {"Software\\Missing", "Nowhere\\There", "Software\\There\\Deeper"}) {
        Key k{0x1234};
        EXPECT_EQ(open(kLocalMachine, path, &k, kKeyRead), kFileNotFound) << path;
        EXPECT_EQ(k, kNullKey) << path;
    }
}

TEST_F(Keys, EmptyPathNamesTheKeyItself) {
    Key root = kNullKey;
    EXPECT_EQ(open(kUsers, "", &root), kSuccess);
    EXPECT_EQ(root, kUsers);
    Key a = create(kUsers, "a");
    Key again = kNullKey;
    ASSERT_EQ(open(a, "", &again), kSuccess);
    EXPECT_NE(again, a);
    setText(again, "v", "x");
    EXPECT_EQ(bytesOf(a, "v"), "x");
    reg->closeKey(again);
    reg->closeKey(a);
}

TEST_F(Keys, DeleteKeyRules) {
    reg->closeKey(create(kCurrentUser, "d\\child\\grandchild"));
    EXPECT_EQ(reg->deleteKey(kCurrentUser, "d\\child"), kAccessDenied) << "has a subkey";
    EXPECT_EQ(reg->deleteKey(kCurrentUser, "d\\missing"), kFileNotFound);
    EXPECT_EQ(reg->deleteKey(kCurrentUser, "d\\child\\grandchild"), kSuccess);
    EXPECT_EQ(reg->deleteKey(kCurrentUser, "D\\CHILD"), kSuccess) << "any letter case";
    EXPECT_EQ(subkeys(kCurrentUser), std::vector<std::string>{"d"});
    EXPECT_EQ(reg->deleteKey(kCurrentUser, ""), kAccessDenied) << "a hive's root stays";
}

TEST_F(Keys, DeleteKeyTakesItsValuesAlong) {
    Key k = create(kCurrentUser, "v");
    setText(k, "name", "value");
    reg->closeKey(k);
    ASSERT_EQ(reg->deleteKey(kCurrentUser, "v"), kSuccess);
    k = create(kCurrentUser, "v");
    EXPECT_EQ(bytesOf(k, "name"), "<error 2>");
    reg->closeKey(k);
}

TEST_F(Keys, HivesAreSeparate) {
    reg->closeKey(create(kLocalMachine, "OnlyHere"));
    for (Key root : {kCurrentUser, kUsers, kClassesRoot}) {
        Key k = kNullKey;
        EXPECT_EQ(open(root, "OnlyHere", &k), kFileNotFound) << root.value;
        EXPECT_EQ(subkeys(root), std::vector<std::string>{}) << root.value;
    }
}

TEST_F(Keys, EveryResultBecomesTheLastError) {
    Key k = kNullKey;
    platform::setLastError(0);
    EXPECT_EQ(open(kCurrentUser, "absent", &k), kFileNotFound);
    EXPECT_EQ(platform::lastError(), static_cast<std::uint32_t>(kFileNotFound));
    char name[16];
    EXPECT_EQ(reg->enumKey(kCurrentUser, 7, name, sizeof name), kNoMoreItems);
    EXPECT_EQ(platform::lastError(), static_cast<std::uint32_t>(kNoMoreItems));
    reg->closeKey(create(kCurrentUser, "present"));
    EXPECT_EQ(platform::lastError(), 0u);
}

TEST_F(Keys, ReadsOfAMissingHiveCreateNothing) {
    Key k = kNullKey;
    EXPECT_EQ(open(kLocalMachine, "Software", &k, kKeyRead), kFileNotFound);
    char buf[16];
    EXPECT_EQ(reg->enumKey(kLocalMachine, 0, buf, sizeof buf), kNoMoreItems);
    std::uint32_t size = 0;
    EXPECT_EQ(reg->queryValueEx(kLocalMachine, "x", nullptr, nullptr, &size), kFileNotFound);
    EXPECT_EQ(reg->deleteKey(kLocalMachine, "Software"), kFileNotFound);
    EXPECT_EQ(reg->deleteValue(kLocalMachine, "x"), kFileNotFound);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST_F(Keys, BadHandles) {
    Key k = kNullKey;
    std::uint32_t size = 0;
    char buf[8];
    for (Key bad : {kNullKey, Key{0x7777}}) {
        EXPECT_EQ(reg->openKeyEx(bad, "x", kKeyRead, &k), kInvalidHandle);
        EXPECT_EQ(reg->createKeyEx(bad, "x", 0, kKeyReadWrite, &k, nullptr), kInvalidHandle);
        EXPECT_EQ(reg->queryValueEx(bad, "x", nullptr, nullptr, &size), kInvalidHandle);
        EXPECT_EQ(reg->setValueEx(bad, "x", kRegSz, nullptr, 0), kInvalidHandle);
        EXPECT_EQ(reg->enumKey(bad, 0, buf, sizeof buf), kInvalidHandle);
        EXPECT_EQ(reg->deleteKey(bad, "x"), kInvalidHandle);
        EXPECT_EQ(reg->closeKey(bad), kInvalidHandle);
    }
    Key a = create(kCurrentUser, "a");
    EXPECT_EQ(reg->closeKey(a), kSuccess);
    EXPECT_EQ(reg->closeKey(a), kInvalidHandle) << "closed twice";
    // A handle closed in the middle of a walk answers no further name.
    Key walked = create(kCurrentUser, "walked");
    reg->closeKey(create(walked, "x"));
    reg->closeKey(create(walked, "y"));
    ASSERT_EQ(reg->enumKey(walked, 0, buf, sizeof buf), kSuccess);
    EXPECT_EQ(reg->closeKey(walked), kSuccess);
    EXPECT_EQ(reg->enumKey(walked, 1, buf, sizeof buf), kInvalidHandle) << "closed in a walk";
    for (Key root : {kClassesRoot, kCurrentUser, kLocalMachine, kUsers}) {
        EXPECT_EQ(reg->closeKey(root), kSuccess);
    }
    EXPECT_EQ(reg->createKeyEx(kCurrentUser, "x", 0, kKeyReadWrite, nullptr, nullptr), kBadKey);
}

TEST_F(Keys, AccessRightsOfAHandle) {
    reg->closeKey(create(kCurrentUser, "acl"));
    Key readOnly = kNullKey;
    ASSERT_EQ(open(kCurrentUser, "acl", &readOnly, kKeyRead), kSuccess);
    EXPECT_EQ(reg->setValueEx(readOnly, "v", kRegSz, nullptr, 0), kAccessDenied);
    EXPECT_EQ(reg->deleteValue(readOnly, "v"), kAccessDenied);
    char buf[8];
    EXPECT_EQ(reg->enumKey(readOnly, 0, buf, sizeof buf), kNoMoreItems);
    reg->closeKey(readOnly);

    Key writeOnly = kNullKey;
    ASSERT_EQ(open(kCurrentUser, "acl", &writeOnly, kKeyWrite), kSuccess);
    EXPECT_EQ(reg->setValueEx(writeOnly, "v", kRegSz, nullptr, 0), kSuccess);
    std::uint32_t size = 0;
    EXPECT_EQ(reg->queryValueEx(writeOnly, "v", nullptr, nullptr, &size), kAccessDenied);
    EXPECT_EQ(reg->enumKey(writeOnly, 0, buf, sizeof buf), kAccessDenied);
    reg->closeKey(writeOnly);

    Key all = kNullKey;
    ASSERT_EQ(open(kCurrentUser, "acl", &all, 0x02000000u /* maximum allowed */), kSuccess);
    EXPECT_EQ(reg->queryValueEx(all, "v", nullptr, nullptr, &size), kSuccess);
    reg->closeKey(all);
}

}  // namespace
}  // namespace vrk::reg

namespace vrk::reg {
namespace {

// A rollback never claims to have undone what stays: our store undoes the
// batch; the Windows registry, which has no batches, refuses the rollback of
// a batch that changed something.
TEST_F(Keys, ARollbackSucceedsOnlyWhenNothingStays) {
    ASSERT_EQ(reg->beginBatch(), kSuccess);
    Key k = kNullKey;
    EXPECT_EQ(open(kCurrentUser, "missing", &k), kFileNotFound);
    EXPECT_EQ(reg->rollbackBatch(), kSuccess) << "nothing changed";

    ASSERT_EQ(reg->beginBatch(), kSuccess);
    k = create(kCurrentUser, "batch");
    setText(k, "v", "x");
    reg->closeKey(k);
    if (platformRegistryHasBatches()) {
        EXPECT_EQ(reg->rollbackBatch(), kSuccess);
        EXPECT_TRUE(subkeys(kCurrentUser).empty());
    } else {
        EXPECT_EQ(reg->rollbackBatch(), kNotSupported);
        EXPECT_EQ(subkeys(kCurrentUser), std::vector<std::string>{"batch"});
    }
}

}  // namespace
}  // namespace vrk::reg
