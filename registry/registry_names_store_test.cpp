// Names our store alone gives a meaning: bytes that are not UTF-8 count,
// compare and fold byte by byte (a to z only). (A Windows program with
// UTF-8 as its ANSI code page would see each such byte as U+FFFD.) And a
// store of the earlier version, which folded a to z only, brought up to date
// on first use.

#include <string>
#include <vector>

#include "registry/registry_test_support.hpp"
#include "registry/store_file_test_support.hpp"

namespace vrk::reg {
namespace {

using testing::runSql;

class NamesOfOurStore : public testing::ScratchStore {
protected:
    void SetUp() override { parent = create(kCurrentUser, "Names"); }
    void TearDown() override { reg->closeKey(parent); }
    Key parent = kNullKey;
};

TEST_F(NamesOfOurStore, NamesThatAreNotUtf8CompareAsBytes) {
    static const struct {
        const char* a;
        const char* b;
        bool oneKey;
    } cases[] = {
        {"\xE4rger", "\xE4RGER", true},       // Latin-1: a to z fold still
        {"\xC4rger", "\xE4rger", false},      // but nothing else
        {"\xC3\x84rger", "\xC4rger", false},  // UTF-8 and Latin-1 Ä
    };
    for (const auto& c : cases) {
        reg->closeKey(create(parent, c.a));
        std::uint32_t disposition = 0;
        reg->closeKey(create(parent, c.b, &disposition));
        EXPECT_EQ(disposition, c.oneKey ? kOpenedExistingKey : kCreatedNewKey) << c.a;
        ASSERT_EQ(reg->deleteKey(parent, c.a), kSuccess);
        if (!c.oneKey) {
            ASSERT_EQ(reg->deleteKey(parent, c.b), kSuccess);
        }
        EXPECT_TRUE(subkeys(parent).empty()) << c.a;
    }
    const std::string latin(255, '\xE9');
    Key k = kNullKey;
    EXPECT_EQ(reg->createKeyEx(parent, latin.c_str(), 0, kKeyReadWrite, &k, nullptr), kSuccess);
    reg->closeKey(k);
    EXPECT_EQ(reg->createKeyEx(parent, (latin + '\xE9').c_str(), 0, kKeyReadWrite, &k, nullptr),
              kInvalidParameter);
}

TEST_F(NamesOfOurStore, AStoreOfTheEarlierFoldingIsBroughtUpToDate) {
    Key k = create(parent, "\xC3\x84rger");  // Ärger
    setText(k,
            "Gr\xC3\xB6\xC3\x9F"
            "e",
            "1");
    reg->closeKey(k);
    reg->closeKey(create(parent, "Plain"));
    reg.reset();
    // What the earlier version wrote: a to z folded, untagged, so that
    // ärger could be a second key beside Ärger, and grÖße a second value.
    runSql(dir.file("registry.db"),
           "UPDATE keys SET sortname = CAST(upper(CAST(name AS TEXT)) AS BLOB) "
           "  WHERE parent != 0;"
           "UPDATE vals SET upname = CAST(upper(CAST(name AS TEXT)) AS BLOB);"
           "INSERT INTO keys(parent, name, sortname) SELECT parent, CAST('\xC3\xA4rger' AS BLOB),"
           "  CAST('\xC3\xA4RGER' AS BLOB) FROM keys WHERE name = CAST('Plain' AS BLOB);"
           "INSERT INTO vals(key, name, upname, type, data) SELECT id,"
           "  CAST('gr\xC3\x96\xC3\x9F"
           "e' AS BLOB), CAST('GR\xC3\x96\xC3\x9F"
           "E' AS BLOB),"
           "  1, CAST('2' AS BLOB) FROM keys WHERE name = CAST('\xC3\x84rger' AS BLOB);"
           "PRAGMA user_version = 2;");
    reg = makeScratchRegistry(dir.path());
    ASSERT_EQ(open(kCurrentUser, "NAMES", &parent), kSuccess) << reg->lastFailureDetail();
    EXPECT_EQ(subkeys(parent), (std::vector<std::string>{"Plain", "\xC3\x84rger", "\xC3\xA4rger"}))
        << "both kept; the one the new folding cannot tell apart lists after";
    ASSERT_EQ(open(parent, "\xC3\xA4RGER", &k), kSuccess);
    EXPECT_EQ(valueNames(k), (std::vector<std::string>{"Gr\xC3\xB6\xC3\x9F"
                                                       "e",
                                                       "gr\xC3\x96\xC3\x9F"
                                                       "e"}));
    EXPECT_EQ(bytesOf(k,
                      "GR\xC3\x96\xC3\x9F"
                      "E"),
              "1")
        << "the first created answers";
    ASSERT_EQ(reg->deleteValue(k,
                               "GR\xC3\x96\xC3\x9F"
                               "E"),
              kSuccess);
    EXPECT_EQ(bytesOf(k,
                      "GR\xC3\x96\xC3\x9F"
                      "E"),
              "2")
        << "then the other one";
    reg->closeKey(k);
    // Deleting by name reaches both keys, one after the other.
    ASSERT_EQ(reg->deleteKey(parent, "\xC3\xA4rger"), kSuccess);
    ASSERT_EQ(reg->deleteKey(parent, "\xC3\xA4rger"), kSuccess);
    EXPECT_EQ(subkeys(parent), std::vector<std::string>{"Plain"});
    EXPECT_EQ(open(parent, "plain", &k), kSuccess);
    reg->closeKey(k);
}

}  // namespace
}  // namespace vrk::reg
