// Names as the registry compares, limits and orders them: UTF-16 code units,
// each upper-cased with Unicode's simple mapping; names that are not UTF-8
// keep byte-wise handling. And a store of the earlier version, which folded
// a to z only, brought up to date.
#include <sqlite3.h>

#include <string>
#include <vector>

#include "platform/registry/registry_test_support.hpp"
#include "platform/registry/utf16_text.hpp"

namespace vrk::reg {
namespace {

using testing::ScratchStore;
using testing::storeTakesAnyNameBytes;

std::string repeat(const std::string& unit, int times) {
    std::string s;
    for (int i = 0; i < times; ++i) s += unit;
    return s;
}

class Names : public ScratchStore {
protected:
    void SetUp() override { parent = create(kCurrentUser, "Names"); }
    void TearDown() override { reg->closeKey(parent); }
    Key parent = kNullKey;
};

TEST_F(Names, KeysThatAreOneKey) {
    static const struct {
        const char* created;
        const char* again;  // opens the key created first
    } cases[] = {
        {"\xC3\x84rger", "\xC3\xA4rger"},                          // Ärger, ärger
        {"\xC3\xA9t\xC3\xA9", "\xC3\x89T\xC3\x89"},                // été, ÉTÉ
        {"\xCF\x83", "\xCE\xA3"},                                  // σ, Σ
        {"\xD0\xB4\xD0\xBE\xD0\xBC", "\xD0\x94\xD0\x9E\xD0\x9C"},  // дом, ДОМ
        {"\xEF\xBD\x81", "\xEF\xBC\xA1"},                          // fullwidth a, A
        {"\xE4rger", "\xE4RGER"},  // not UTF-8 (Latin-1): a to z fold still
    };
    for (const auto& c : cases) {
        if (!isUtf8(c.created) && !storeTakesAnyNameBytes()) continue;
        std::uint32_t disposition = 0;
        reg->closeKey(create(parent, c.created, &disposition));
        EXPECT_EQ(disposition, kCreatedNewKey) << c.created;
        reg->closeKey(create(parent, c.again, &disposition));
        EXPECT_EQ(disposition, kOpenedExistingKey) << c.again;
        Key k = kNullKey;
        EXPECT_EQ(open(parent, c.again, &k), kSuccess);
        reg->closeKey(k);
        ASSERT_EQ(reg->deleteKey(parent, c.again), kSuccess);
        EXPECT_TRUE(subkeys(parent).empty()) << c.created << " keeps its case and is gone";
    }
}

TEST_F(Names, KeysThatStayApart) {
    static const struct {
        const char* a;
        const char* b;
    } cases[] = {
        {"\xC3\x9F", "SS"},                        // ß has no simple upper case
        {"\xF0\x90\x90\xA8", "\xF0\x90\x90\x80"},  // Deseret: a surrogate pair is not folded
        {"\xC4rger", "\xE4rger"},                  // not UTF-8: bytes
        {"\xC3\x84rger", "\xC4rger"},              // UTF-8 and Latin-1 Ä
    };
    for (const auto& c : cases) {
        if (!(isUtf8(c.a) && isUtf8(c.b)) && !storeTakesAnyNameBytes()) continue;
        reg->closeKey(create(parent, c.a));
        std::uint32_t disposition = 0;
        reg->closeKey(create(parent, c.b, &disposition));
        EXPECT_EQ(disposition, kCreatedNewKey) << c.a << " / " << c.b;
        ASSERT_EQ(reg->deleteKey(parent, c.a), kSuccess);
        ASSERT_EQ(reg->deleteKey(parent, c.b), kSuccess);
    }
}

TEST_F(Names, ValuesFoundUnderAnyCase) {
    setText(parent,
            "Gr\xC3\xB6\xC3\x9F"
            "e",
            "size");  // Größe
    EXPECT_EQ(bytesOf(parent,
                      "gr\xC3\x96\xC3\x9F"
                      "e"),
              "size");  // grÖße
    EXPECT_EQ(bytesOf(parent,
                      "GR\xC3\x96\xC3\x9F"
                      "E"),
              "size");
    EXPECT_EQ(bytesOf(parent, "GRÖSSE"), "<error 2>");
    setText(parent,
            "GR\xC3\x96\xC3\x9F"
            "E",
            "replaced");
    EXPECT_EQ(valueNames(parent), std::vector<std::string>{"Gr\xC3\xB6\xC3\x9F"
                                                           "e"});
    EXPECT_EQ(bytesOf(parent,
                      "gr\xC3\xB6\xC3\x9F"
                      "e"),
              "replaced");
    EXPECT_EQ(reg->deleteValue(parent,
                               "gR\xC3\x96\xC3\x9F"
                               "e"),
              kSuccess);
    EXPECT_TRUE(valueNames(parent).empty());
}

TEST_F(Names, LimitsCountUtf16CodeUnits) {
    const std::string e = "\xC3\xA9";              // é: 2 bytes, 1 unit
    const std::string emoji = "\xF0\x9F\x98\x80";  // U+1F600: 4 bytes, 2 units
    static const struct {
        const char* what;
        int count;
        bool utf8;
        long expected;
    } keyCases[] = {
        {"255 \xC3\xA9", 255, true, kSuccess},
        {"256 \xC3\xA9", 256, true, kInvalidParameter},
        {"255 bytes that are not UTF-8", 255, false, kSuccess},
        {"256 bytes that are not UTF-8", 256, false, kInvalidParameter},
    };
    for (const auto& c : keyCases) {
        if (!c.utf8 && !storeTakesAnyNameBytes()) continue;
        std::string name = repeat(c.utf8 ? e : "\xE9", c.count);
        Key k = kNullKey;
        EXPECT_EQ(reg->createKeyEx(parent, name.c_str(), 0, kKeyReadWrite, &k, nullptr), c.expected)
            << c.what;
        reg->closeKey(k);
    }
    Key k = kNullKey;
    std::string pairs = repeat(emoji, 127) + "a";  // 255 units
    EXPECT_EQ(reg->createKeyEx(parent, pairs.c_str(), 0, kKeyReadWrite, &k, nullptr), kSuccess);
    reg->closeKey(k);
    pairs = repeat(emoji, 128);  // 256 units
    EXPECT_EQ(reg->createKeyEx(parent, pairs.c_str(), 0, kKeyReadWrite, &k, nullptr),
              kInvalidParameter);
    const unsigned char b = 1;
    std::string value = repeat(e, 16383);
    EXPECT_EQ(reg->setValueEx(parent, value.c_str(), kRegBinary, &b, 1), kSuccess);
    value += e;
    EXPECT_EQ(reg->setValueEx(parent, value.c_str(), kRegBinary, &b, 1), kInvalidParameter);
}

TEST_F(Names, SubkeysListInWindowsOrder) {
    static const struct {
        std::vector<std::string> created;
        std::vector<std::string> listed;
    } cases[] = {
        {{"~t", "_x", "Z", "b", "a_", "AB", "a", "[q", "0"},
         {"0", "a", "AB", "a_", "b", "Z", "[q", "_x", "~t"}},
        // U+FF21 (FF21) after U+1F600 (D83D DE00); upper-cased é (00C9) first.
        {{"\xEF\xBC\xA1", "\xF0\x9F\x98\x80", "\xC3\xA9", "z"},
         {"z", "\xC3\xA9", "\xF0\x9F\x98\x80", "\xEF\xBC\xA1"}},
    };
    for (const auto& c : cases) {
        Key list = create(parent, "list");
        for (const auto& n : c.created) reg->closeKey(create(list, n.c_str()));
        EXPECT_EQ(subkeys(list), c.listed);
        for (const auto& n : c.created) ASSERT_EQ(reg->deleteKey(list, n.c_str()), kSuccess);
        reg->closeKey(list);
        ASSERT_EQ(reg->deleteKey(parent, "list"), kSuccess);
    }
}

// ---- a store of the earlier version ---------------------------------------

void runSql(const std::string& path, const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    char* err = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &err), SQLITE_OK) << (err ? err : "");
    sqlite3_free(err);
    sqlite3_close(db);
}

TEST_F(Names, AStoreOfTheEarlierFoldingIsBroughtUpToDate) {
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
