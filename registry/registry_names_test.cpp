// Names as the registry compares, limits and orders them: UTF-16 code units,
// each upper-cased with Unicode's simple mapping. The names are UTF-8; the
// Windows test program runs with UTF-8 as its ANSI code page, so that Wine's
// registry, a peer here, holds the same UTF-16 names as our store. Names
// that are not UTF-8 are our store's own (registry_names_store_test.cpp).
#include <string>
#include <vector>

#include "registry/registry_test_support.hpp"

namespace vrk::reg {
namespace {

using testing::ScratchStore;
using testing::windowsOrWine;

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
    };
    for (const auto& c : cases) {
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
    };
    for (const auto& c : cases) {
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
    // Wine departs: it takes key names of 256 code units and refuses 257.
    const long at256 = windowsOrWine<long>(kInvalidParameter, kSuccess);
    static const struct {
        std::string name;
        long windows;
        bool wineTakes256;  // Wine's answer differs: it takes 256 units
    } keyCases[] = {
        {repeat(e, 255), kSuccess, false},
        {repeat(e, 256), kInvalidParameter, true},
        {repeat(e, 257), kInvalidParameter, false},
        {repeat(emoji, 127) + "a", kSuccess, false},  // 255 units
        {repeat(emoji, 128), kInvalidParameter, true},
        {repeat(emoji, 128) + "a", kInvalidParameter, false},
    };
    for (const auto& c : keyCases) {
        Key k = kNullKey;
        EXPECT_EQ(reg->createKeyEx(parent, c.name.c_str(), 0, kKeyReadWrite, &k, nullptr),
                  c.wineTakes256 ? at256 : c.windows)
            << c.name.size() << " bytes";
        reg->closeKey(k);
    }
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
        std::vector<std::string> wine;  // Wine departs: lower-cased order
    } cases[] = {
        {{"~t", "_x", "Z", "b", "a_", "AB", "a", "[q", "0"},
         {"0", "a", "AB", "a_", "b", "Z", "[q", "_x", "~t"},
         {"0", "[q", "_x", "a", "a_", "AB", "b", "Z", "~t"}},
        // U+FF21 (FF21) after U+1F600 (D83D DE00); upper-cased é (00C9) first.
        // Lower-cased (00E9, FF41) they keep that order.
        {{"\xEF\xBC\xA1", "\xF0\x9F\x98\x80", "\xC3\xA9", "z"},
         {"z", "\xC3\xA9", "\xF0\x9F\x98\x80", "\xEF\xBC\xA1"},
         {"z", "\xC3\xA9", "\xF0\x9F\x98\x80", "\xEF\xBC\xA1"}},
    };
    for (const auto& c : cases) {
        Key list = create(parent, "list");
        for (const auto& n : c.created) reg->closeKey(create(list, n.c_str()));
        EXPECT_EQ(subkeys(list), windowsOrWine(c.listed, c.wine));
        for (const auto& n : c.created) ASSERT_EQ(reg->deleteKey(list, n.c_str()), kSuccess);
        reg->closeKey(list);
        ASSERT_EQ(reg->deleteKey(parent, "list"), kSuccess);
    }
}

}  // namespace
}  // namespace vrk::reg
