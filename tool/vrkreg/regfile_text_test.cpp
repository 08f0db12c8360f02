// Conversions between store bytes and UTF-16LE file text.
#include "tool/vrkreg/regfile_text.hpp"

#include <gtest/gtest.h>

#include <string>

namespace vrk::regfile {
namespace {

std::string hexOf(const std::string& s) {
    static const char d[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : s) {
        if (!out.empty()) out += ' ';
        out += d[c >> 4];
        out += d[c & 15];
    }
    return out;
}

TEST(RegfileText, EncodesUtf8AsUtf16AndOtherBytesAsLoneLowSurrogates) {
    static const struct {
        std::string store;
        std::string utf16;
    } cases[] = {
        {"", ""},
        {"Ab", std::string("A\0b\0", 4)},
        {"\xC3\xA9", std::string("\xE9\0", 2)},                    // e acute
        {"\xE2\x82\xAC", "\xAC\x20"},                              // euro sign
        {"\xF0\x9F\x98\x80", std::string("\x3D\xD8\x00\xDE", 4)},  // U+1F600, a surrogate pair
        {"\xE9", "\xE9\xDC"},                                      // Latin-1 byte, not UTF-8
        {"\xC0\x80", "\xC0\xDC\x80\xDC"},                          // overlong NUL
        {"\xED\xA0\x80", "\xED\xDC\xA0\xDC\x80\xDC"},              // an encoded surrogate
        {"\xF4\x90\x80\x80", "\xF4\xDC\x90\xDC\x80\xDC\x80\xDC"},  // past U+10FFFF
        {"\xE2\x82", "\xE2\xDC\x82\xDC"},                          // cut-off sequence
        {std::string("a\0b", 3), std::string("a\0\0\0b\0", 6)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(hexOf(storeBytesToUtf16le(c.store)), hexOf(c.utf16))
            << "store bytes " << hexOf(c.store);
        std::string back;
        ASSERT_TRUE(utf16leToStoreBytes(c.utf16, back, nullptr)) << hexOf(c.utf16);
        EXPECT_EQ(hexOf(back), hexOf(c.store));
    }
}

TEST(RegfileText, EveryByteStringSurvivesTheTripThroughUtf16) {
    // All two-byte strings, and three-byte strings around the tricky lead bytes.
    for (unsigned a = 0; a < 256; ++a) {
        for (unsigned b = 0; b < 256; ++b) {
            const std::string s{static_cast<char>(a), static_cast<char>(b)};
            std::string back;
            ASSERT_TRUE(utf16leToStoreBytes(storeBytesToUtf16le(s), back, nullptr));
            ASSERT_EQ(back, s) << hexOf(s);
        }
    }
    for (unsigned lead : {0xE0u, 0xEDu, 0xEFu, 0xF0u, 0xF4u}) {
        for (unsigned b = 0x70; b < 0xD0; ++b) {
            for (unsigned c = 0x70; c < 0xD0; ++c) {
                const std::string s{static_cast<char>(lead), static_cast<char>(b),
                                    static_cast<char>(c), '\x80'};
                std::string back;
                ASSERT_TRUE(utf16leToStoreBytes(storeBytesToUtf16le(s), back, nullptr));
                ASSERT_EQ(back, s) << hexOf(s);
            }
        }
    }
}

TEST(RegfileText, RefusesUtf16ThatNamesNoStoreBytes) {
    static const struct {
        std::string utf16;
        const char* reason;
    } cases[] = {
        {"A", "odd number of bytes"},
        {"\x3D\xD8", "unpaired high surrogate"},
        {std::string("\x3D\xD8"
                     "A\0",
                     4),
         "unpaired high surrogate"},
        {std::string("\x00\xDC", 2), "unpaired low surrogate"},
        {std::string("\x00\xDE", 2), "unpaired low surrogate"},
    };
    for (const auto& c : cases) {
        std::string out = "untouched";
        std::string why;
        EXPECT_FALSE(utf16leToStoreBytes(c.utf16, out, &why)) << hexOf(c.utf16);
        EXPECT_NE(why.find(c.reason), std::string::npos) << why;
        EXPECT_EQ(out, "untouched");
    }
}

TEST(RegfileText, CountsCharactersNotBytes) {
    EXPECT_EQ(characterCount(""), 0u);
    EXPECT_EQ(characterCount("abc"), 3u);
    EXPECT_EQ(characterCount("\xC3\xA9t\xC3\xA9"), 3u);
    EXPECT_EQ(characterCount("\xE9\xE9"), 2u);
    EXPECT_EQ(characterCount("\xF0\x9F\x98\x80"), 1u);
}

}  // namespace
}  // namespace vrk::regfile
