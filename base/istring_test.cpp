// Value operations of IString: construction, access, combination,
// comparison, search, sections, in-place changes and texts.
#include "base/ibuffer.hpp"
#include "base/istring.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>

namespace {

std::string bytes(const IString& s) { return std::string(static_cast<const char*>(s), s.length()); }

IBuffer* bufferOf(const IString& s) { return IBuffer::fromContents(s); }

unsigned refsOf(const IString& s) { return bufferOf(s)->useCount(); }

}  // namespace

TEST(IStringConstruction, EmptyResultsShareTheOneEmptyBuffer) {
    IString a;
    IString b("");
    IString c(static_cast<const char*>(nullptr));
    IString d("xyz", 0);
    IString e = IString("abc").section(1, 0);
    IString f = IString() + IString();
    for (const IString* s : {&a, &b, &c, &d, &e, &f}) {
        EXPECT_EQ(s->length(), 0u);
        EXPECT_STREQ(static_cast<const char*>(*s), "");
        EXPECT_EQ(bufferOf(*s), IBuffer::emptyBuffer());
    }
}

TEST(IStringConstruction, EmptyBufferCountsItsValues) {
    IBuffer* empty = IBuffer::emptyBuffer();
    unsigned before = empty->useCount();
    {
        IString a;
        IString b(a);
        EXPECT_EQ(empty->useCount(), before + 2);
    }
    EXPECT_EQ(empty->useCount(), before);
}

TEST(IStringConstruction, FromBytesCopiesOrFills) {
    const char raw[] = {'a', '\0', 'b'};
    IString withNul(raw, 3);
    EXPECT_EQ(withNul.length(), 3u);
    EXPECT_EQ(bytes(withNul), std::string(raw, 3));
    EXPECT_STREQ(static_cast<const char*>(withNul), "a");  // the C view ends at the NUL

    EXPECT_EQ(bytes(IString(nullptr, 3, ' ')), "   ");
    EXPECT_EQ(bytes(IString(nullptr, 4, '*')), "****");
    EXPECT_EQ(bytes(IString("abcdef", 2)), "ab");
}

TEST(IStringConstruction, SingleByteIncludingNul) {
    EXPECT_EQ(bytes(IString('x')), "x");
    IString nul('\0');
    EXPECT_EQ(nul.length(), 1u);
    EXPECT_EQ(nul[1u], '\0');
}

TEST(IStringConstruction, BytesAreAlwaysFollowedByNul) {
    IString s("abc");
    EXPECT_EQ(static_cast<const char*>(s)[3], '\0');
    IString t = s.section(2, 5, 'z');
    EXPECT_EQ(static_cast<const char*>(t)[5], '\0');
}

TEST(IStringConstruction, NumbersInDecimal) {
    static const struct {
        IString value;
        const char* text;
    } cases[] = {
        {IString(0), "0"},
        {IString(-5), "-5"},
        {IString(INT_MIN), "-2147483648"},
        {IString(INT_MAX), "2147483647"},
        {IString(static_cast<short>(-32768)), "-32768"},
        {IString(static_cast<unsigned short>(65535)), "65535"},
        {IString(4294967295u), "4294967295"},
        {IString(0u), "0"},
        {IString(-1L), "-1"},
        {IString(123456789UL), "123456789"},
        {IString(LLONG_MIN), "-9223372036854775808"},
        {IString(ULLONG_MAX), "18446744073709551615"},
        {IString(3.0), "3"},
        {IString(0.1), "0.1"},
        {IString(-2.5), "-2.5"},
        {IString(1.0 / 3.0), "0.333333333333333"},
        {IString(1e20), "1e+20"},
        {IString(123456789012345678.0), "1.23456789012346e+17"},
    };
    for (const auto& c : cases) EXPECT_EQ(bytes(c.value), c.text);
}

TEST(IStringCopy, CopiesShareTheBufferAndCount) {
    IString a("shared");
    EXPECT_EQ(refsOf(a), 1u);
    IString b(a);
    IString c;
    c = a;
    EXPECT_EQ(bufferOf(a), bufferOf(b));
    EXPECT_EQ(bufferOf(a), bufferOf(c));
    EXPECT_EQ(refsOf(a), 3u);
    c = IString("other");
    EXPECT_EQ(refsOf(a), 2u);
}

TEST(IStringCopy, SelfAssignmentKeepsValueAndCount) {
    IString a("self");
    IString& alias = a;
    a = alias;
    EXPECT_EQ(bytes(a), "self");
    EXPECT_EQ(refsOf(a), 1u);
    IString b(a);
    a = alias;
    EXPECT_EQ(refsOf(a), 2u);
    EXPECT_EQ(bytes(a), "self");
}

TEST(IStringCopy, CopyingAllocatesNothing) {
    IString a("some text");
    unsigned long before = IBuffer::allocationCount();
    IString b(a);
    IString c;
    c = b;
    IString d = c;
    EXPECT_EQ(IBuffer::allocationCount(), before);
    EXPECT_EQ(refsOf(a), 4u);
}

TEST(IStringAccess, ReadingFormsAddressBytes) {
    const IString s("abc");
    EXPECT_EQ(s[0u], 'a');  // 0 and 1 both address the first byte
    EXPECT_EQ(s[1u], 'a');
    EXPECT_EQ(s[3u], 'c');
    EXPECT_EQ(s[0], 'a');
    EXPECT_EQ(s[2], 'b');
    EXPECT_EQ(s[3], 'c');
}

TEST(IStringAccess, ChangingFormWritesOnlyThisValue) {
    IString a("abc");
    IString b(a);
    a[2] = 'X';
    EXPECT_EQ(bytes(a), "aXc");
    EXPECT_EQ(bytes(b), "abc");
    EXPECT_NE(bufferOf(a), bufferOf(b));

    // Unshared: written in place.
    IBuffer* before = bufferOf(a);
    a[1u] = 'Y';
    EXPECT_EQ(bufferOf(a), before);
    EXPECT_EQ(bytes(a), "YXc");
    a[0] = 'Z';
    EXPECT_EQ(bytes(a), "ZXc");
}

TEST(IStringAccess, ChangingFormExtendsWithBlanks) {
    IString a("ab");
    IString b(a);
    char& c = a[5];
    EXPECT_EQ(c, ' ');
    EXPECT_EQ(bytes(a), "ab   ");
    EXPECT_EQ(bytes(b), "ab");
    a[7u] = '!';
    EXPECT_EQ(bytes(a), "ab    !");

    IString empty;
    empty[0] = 'q';
    EXPECT_EQ(bytes(empty), "q");
    EXPECT_EQ(bytes(IString()), "");  // the shared empty value is untouched
}

TEST(IStringCombination, Concatenation) {
    IString ab("ab");
    EXPECT_EQ(bytes(ab + IString("cd")), "abcd");
    EXPECT_EQ(bytes("x" + ab), "xab");
    EXPECT_EQ(bytes(ab + "y"), "aby");
    EXPECT_EQ(bytes(static_cast<const char*>(nullptr) + ab), "ab");
    EXPECT_EQ(bytes(ab + static_cast<const char*>(nullptr)), "ab");
    EXPECT_EQ(bytes(ab + IString()), "ab");
    EXPECT_EQ(bytes(IString() + ab), "ab");
    IString nul('\0');
    EXPECT_EQ(bytes(ab + nul + ab), std::string("ab\0ab", 5));
}

TEST(IStringCombination, AppendEmptyKeepsTheBuffer) {
    IString a("abc");
    IBuffer* before = bufferOf(a);
    a += IString();
    a += "";
    a += static_cast<const char*>(nullptr);
    EXPECT_EQ(bufferOf(a), before);
    EXPECT_EQ(bytes(a), "abc");
}

TEST(IStringCombination, AppendLeavesCopiesAlone) {
    IString a("abc");
    IString b(a);
    a += "def";
    a += IString("g");
    EXPECT_EQ(bytes(a), "abcdefg");
    EXPECT_EQ(bytes(b), "abc");
    a += a;
    EXPECT_EQ(bytes(a), "abcdefgabcdefg");
}

TEST(IStringComparison, CompareResults) {
    static const struct {
        std::string left, right;
        int expected;
    } cases[] = {
        {"", "", 0},
        {"abc", "abc", 0},
        {"abd", "abc", 1},
        {"abc", "abd", 2},
        {"ab", "abc", 2},
        {"abc", "ab", 1},
        {"", "a", 2},
        {"a", "", 1},
        {"\xff", "a", 1},  // bytes compare as unsigned
        {std::string("a\0b", 3), std::string("a\0c", 3), 2},
        {"Abc", "abc", 2},  // letter case matters
    };
    for (const auto& c : cases) {
        IString left(c.left.data(), static_cast<unsigned>(c.left.size()));
        IString right(c.right.data(), static_cast<unsigned>(c.right.size()));
        EXPECT_EQ(left.compare(right), c.expected) << c.left << " vs " << c.right;
        EXPECT_EQ(left == right, c.expected == 0) << c.left << " vs " << c.right;
        EXPECT_EQ(left != right, c.expected != 0) << c.left << " vs " << c.right;
        EXPECT_EQ(left < right, c.expected == 2);
        EXPECT_EQ(left > right, c.expected == 1);
    }
}

TEST(IStringComparison, WithTexts) {
    IString abc("abc");
    EXPECT_TRUE(abc == "abc");
    EXPECT_TRUE("abc" == abc);
    EXPECT_FALSE(abc == "abcd");
    EXPECT_FALSE(abc == "ABC");
    EXPECT_TRUE(abc != "ab");
    EXPECT_EQ(abc.compare(static_cast<const char*>(nullptr)), 1);
    EXPECT_EQ(IString().compare(static_cast<const char*>(nullptr)), 1);
    EXPECT_TRUE(IString() == "");
    // A text is compared over its length up to its NUL.
    IString withNul("ab\0c", 4);
    EXPECT_FALSE(withNul == "ab");
    EXPECT_EQ(withNul.compare("ab"), 1);
}

TEST(IStringSearch, PositionOf) {
    static const struct {
        const char* text;
        const char* pattern;
        unsigned start;
        unsigned expected;
    } cases[] = {
        {"abcabc", "b", 1, 2},       {"abcabc", "b", 0, 2},   {"abcabc", "b", 2, 2},
        {"abcabc", "b", 3, 5},       {"abcabc", "b", 6, 0},   {"abcabc", "b", 7, 0},
        {"abcabc", "bc", 5, 5},      {"abcabc", "abc", 5, 0}, {"abcabc", "", 1, 0},
        {"abcabc", "abcabcd", 1, 0}, {"", "a", 1, 0},         {"", "", 0, 0},
        {"aaa", "aa", 2, 2},         {"abcabc", "cab", 1, 3}, {"abcabc", "b", 4294967295u, 0},
    };
    for (const auto& c : cases) {
        IString s(c.text);
        unsigned n = static_cast<unsigned>(std::strlen(c.pattern));
        EXPECT_EQ(s.positionOf(c.pattern, n, c.start), c.expected)
            << c.text << " / " << c.pattern << " from " << c.start;
        if (n == 1) {
            EXPECT_EQ(s.positionOf(c.pattern[0], c.start), c.expected)
                << c.text << " / " << c.pattern << " from " << c.start;
        }
    }
    EXPECT_EQ(IString("abc").positionOf(static_cast<const char*>(nullptr), 3), 0u);
    EXPECT_EQ(IString("abc").positionOf(IString("c")), 3u);
}

TEST(IStringSearch, LineFeedPosition) {
    EXPECT_EQ(IString("C:\\dir").positionOf('\n', 1), 0u);
    EXPECT_EQ(IString("\nC:\\dir").positionOf('\n', 1), 1u);
    EXPECT_EQ(IString("C:\\dir\nD:\\x").positionOf('\n', 1), 7u);
    IString withNul("a\0b\n", 4);
    EXPECT_EQ(withNul.positionOf('\n'), 4u);
    EXPECT_EQ(withNul.positionOf('\0'), 2u);
}

TEST(IStringSearch, LastPositionOf) {
    static const struct {
        const char* text;
        const char* pattern;
        unsigned start;
        unsigned expected;
    } cases[] = {
        {"abcabc", "b", 6, 5},     {"abcabc", "b", 5, 5},  {"abcabc", "b", 4, 2},
        {"abcabc", "b", 1, 0},     {"abcabc", "b", 0, 0},  {"abcabc", "b", 4294967295u, 5},
        {"abcabc", "a", 1, 1},     {"abcabc", "z", 6, 0},  {"", "a", 1, 0},
        {"abcabc", "bc", 6, 5},    {"abcabc", "bc", 5, 5}, {"abcabc", "bc", 4, 2},
        {"abcabc", "abc", 100, 4}, {"abcabc", "", 6, 0},   {"ab", "abc", 3, 0},
    };
    for (const auto& c : cases) {
        IString s(c.text);
        unsigned n = static_cast<unsigned>(std::strlen(c.pattern));
        EXPECT_EQ(s.lastPositionOf(c.pattern, n, c.start), c.expected)
            << c.text << " / " << c.pattern << " from " << c.start;
        if (n == 1) {
            EXPECT_EQ(s.lastPositionOf(c.pattern[0], c.start), c.expected)
                << c.text << " / " << c.pattern << " from " << c.start;
        }
    }
}

TEST(IStringSearch, PositionOfAnyOf) {
    IString s("path/to\\file");
    EXPECT_EQ(s.positionOfAnyOf("\\/", 2), 5u);
    EXPECT_EQ(s.positionOfAnyOf("\\/", 2, 6), 8u);
    EXPECT_EQ(s.positionOfAnyOf("\\/", 2, 9), 0u);
    EXPECT_EQ(s.positionOfAnyOf("", 0), 0u);
    EXPECT_EQ(s.positionOfAnyOf(nullptr, 2), 0u);
}

TEST(IStringSections, Section) {
    static const struct {
        const char* text;
        unsigned start, length;
        char fill;
        const char* expected;
    } cases[] = {
        {"abcd", 1, 0, ' ', ""},     {"abcd", 5, 3, '*', "***"},
        {"abcd", 1, 4, ' ', "abcd"}, {"abcd", 0, 2, ' ', "ab"},
        {"abcd", 2, 2, ' ', "bc"},   {"abcd", 3, 5, '.', "cd..."},
        {"abcd", 4, 1, ' ', "d"},    {"", 1, 2, '-', "--"},
        {"abcd", 100, 1, 'x', "x"},  {"abcd", 4294967295u, 2, '=', "=="},
    };
    for (const auto& c : cases) {
        IString s(c.text);
        EXPECT_EQ(bytes(s.section(c.start, c.length, c.fill)), c.expected)
            << c.text << " section(" << c.start << "," << c.length << ")";
        EXPECT_EQ(bytes(s), c.text);
    }
}

TEST(IStringSections, DefaultFillIsBlank) { EXPECT_EQ(bytes(IString("ab").section(1, 4)), "ab  "); }

TEST(IStringSections, SectionFrom) {
    static const struct {
        const char* text;
        unsigned start;
        const char* expected;
    } cases[] = {
        {"abcd", 1, "abcd"}, {"abcd", 0, "abcd"}, {"abcd", 3, "cd"},         {"abcd", 4, "d"},
        {"abcd", 5, ""},     {"", 1, ""},         {"abcd", 4294967295u, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(bytes(IString(c.text).sectionFrom(c.start)), c.expected)
            << c.text << " from " << c.start;
}

TEST(IStringChanges, MakeUpperCaseOnlyLatinLetters) {
    IString s("abz-AZ09_\xe4\xfc{}`@");
    s.makeUpperCase();
    EXPECT_EQ(bytes(s), "ABZ-AZ09_\xe4\xfc{}`@");
}

TEST(IStringChanges, MakeUpperCaseChangesOnlyThisValue) {
    IString a("-update");
    IString b(a);
    EXPECT_EQ(bytes(a.makeUpperCase()), "-UPDATE");
    EXPECT_EQ(bytes(b), "-update");
    EXPECT_EQ(refsOf(a), 1u);
    EXPECT_EQ(refsOf(b), 1u);
}

TEST(IStringChanges, MakeUpperCaseKeepsBufferWhenNothingChanges) {
    IString a("-UPDATE 123");
    IString b(a);
    IBuffer* before = bufferOf(a);
    unsigned long allocations = IBuffer::allocationCount();
    a.makeUpperCase();
    EXPECT_EQ(bufferOf(a), before);
    EXPECT_EQ(bufferOf(b), before);
    EXPECT_EQ(IBuffer::allocationCount(), allocations);
    IString empty;
    empty.makeUpperCase();
    EXPECT_EQ(bufferOf(empty), IBuffer::emptyBuffer());
}

TEST(IStringChanges, MakeUpperCaseInPlaceWhenUnshared) {
    IString a("mixed Case");
    IBuffer* before = bufferOf(a);
    unsigned long allocations = IBuffer::allocationCount();
    a.makeUpperCase();
    EXPECT_EQ(bytes(a), "MIXED CASE");
    EXPECT_EQ(bufferOf(a), before);
    EXPECT_EQ(IBuffer::allocationCount(), allocations);
}

TEST(IStringChanges, Substitute) {
    static const struct {
        const char* text;
        const char* pattern;
        const char* replacement;
        unsigned start, maxCount;
        const char* expected;
    } cases[] = {
        {"a\nb\n", "\n", "\\x0A", 1, 4294967295u, "a\\x0Ab\\x0A"},
        {"aaaa", "aa", "b", 1, 4294967295u, "bb"},  // no overlap
        {"aaa", "aa", "b", 1, 4294967295u, "ba"},
        {"abcabc", "b", "XY", 3, 4294967295u, "abcaXYc"},
        {"abcabc", "b", "", 1, 4294967295u, "acac"},
        {"abcabc", "b", "_", 1, 1, "a_cabc"},
        {"abcabc", "b", "_", 0, 4294967295u, "a_ca_c"},
        {"abcabc", "b", "_", 1, 0, "abcabc"},
        {"abcabc", "", "_", 1, 4294967295u, "abcabc"},
        {"abcabc", "z", "_", 1, 4294967295u, "abcabc"},
        {"abcabc", "abcabc", "", 1, 4294967295u, ""},
        {"abcabc", "b", "_", 7, 4294967295u, "abcabc"},
        {"xx", "x", "xx", 1, 4294967295u, "xxxx"},  // the search goes on after the old text
        {"", "a", "b", 1, 4294967295u, ""},
    };
    for (const auto& c : cases) {
        IString s(c.text);
        IString copy(s);
        s.substitute(c.pattern, static_cast<unsigned>(std::strlen(c.pattern)), c.replacement,
                     static_cast<unsigned>(std::strlen(c.replacement)), c.start, c.maxCount);
        EXPECT_EQ(bytes(s), c.expected) << c.text << " " << c.pattern << "->" << c.replacement;
        EXPECT_EQ(bytes(copy), c.text);
    }
}

TEST(IStringChanges, SubstituteWithoutMatchKeepsBuffer) {
    IString s("nothing here");
    IBuffer* before = bufferOf(s);
    s.substitute("zz", 2, "y", 1);
    s.substitute(nullptr, 2, "y", 1);
    EXPECT_EQ(bufferOf(s), before);
}

TEST(IStringChanges, SubstituteNullReplacementRemoves) {
    IString s("a-b-c");
    s.substitute("-", 1, nullptr, 5);
    EXPECT_EQ(bytes(s), "abc");
}

TEST(IStringChanges, SubstituteWithOwnBytes) {
    IString s("abab");
    s.substitute(s, 2, static_cast<const char*>(s) + 2, 2);
    EXPECT_EQ(bytes(s), "abab");
    IString t("xyz");
    t.substitute(static_cast<const char*>(t) + 1, 1, t, 3);
    EXPECT_EQ(bytes(t), "xxyzz");
}

TEST(IStringChanges, MakeHexText) {
    IString s("\x00\x1f\xa0z", 4);
    IString copy(s);
    EXPECT_EQ(bytes(s.makeHexText()), "001FA07A");
    EXPECT_EQ(bytes(copy), std::string("\x00\x1f\xa0z", 4));
    IString empty;
    EXPECT_EQ(bytes(empty.makeHexText()), "");
    EXPECT_EQ(bufferOf(empty), IBuffer::emptyBuffer());
}

TEST(IStringChanges, Substituted) {
    IString source("a\nb\n");
    IString result = IString::substituted(source, "\n", "\\x0A");
    EXPECT_EQ(result.length(), 10u);
    EXPECT_EQ(bytes(result), "a\\x0Ab\\x0A");
    EXPECT_EQ(bytes(source), "a\nb\n");
    EXPECT_EQ(bytes(IString::substituted(IString(), "\n", "\\x0A")), "");
    EXPECT_EQ(bytes(IString::substituted("a.b.c", ".", "::", 3, 1)), "a.b::c");
    EXPECT_EQ(bytes(IString::substituted("a.b", ".", nullptr)), "ab");
}

TEST(IStringTests, IsShortFormOf) {
    static const struct {
        const char* value;
        const char* word;
        unsigned minLength;
        bool expected;
    } cases[] = {
        {"-U", "-UPDATE", 2, true},        {"-UP", "-UPDATE", 2, true},
        {"-UPDATE", "-UPDATE", 2, true},   {"-", "-UPDATE", 2, false},
        {"-UPDATEX", "-UPDATE", 2, false}, {"-X", "-UPDATE", 2, false},
        {"", "-UPDATE", 2, false},         {"-u", "-UPDATE", 2, false},
        {"-D", "-DELETE", 2, true},        {"-DEL", "-DELETE", 0, true},
        {"", "-DELETE", 0, true},          {"-DX", "-DELETE", 0, false},
        {"-DELETE", "-DELETE", 8, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IString(c.value).isShortFormOf(c.word, static_cast<unsigned>(std::strlen(c.word)),
                                                 c.minLength),
                  c.expected)
            << c.value << " of " << c.word << " min " << c.minLength;
    // Only wordLength bytes of the word count.
    EXPECT_FALSE(IString("-UP").isShortFormOf("-UPDATE", 2, 2));
    EXPECT_TRUE(IString("-U").isShortFormOf("-UPDATE", 2, 2));
    EXPECT_FALSE(IString("-U").isShortFormOf(nullptr, 7, 2));
}

TEST(IStringTexts, DebugInfo) {
    IString s("abc");
    IString copy(s);
    auto address = [](const void* p) {
        return std::to_string(static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(p)));
    };
    std::string expected = "IString(@" + address(&s) + ",pBuffer->IBuffer(@" +
                           address(bufferOf(s)) + ",refs=2,len=3,data=[abc]))";
    EXPECT_EQ(bytes(s.debugInfo()), expected);
}

TEST(IStringTexts, DebugInfoShortensLongData) {
    IString exactly23("abcdefghijklmnopqrstuvw");
    EXPECT_NE(bytes(exactly23.debugInfo()).find(",len=23,data=[abcdefghijklmnopqrstuvw])"),
              std::string::npos);
    IString exactly24("abcdefghijklmnopqrstuvwx");
    EXPECT_NE(bytes(exactly24.debugInfo()).find(",len=24,data=[abcdefghij...opqrstuvwx])"),
              std::string::npos);
}

TEST(IStringTexts, StreamWritesUpToFirstNul) {
    std::ostringstream out;
    out << IString("ab\0cd", 5) << '|' << IString() << '|' << IString("xyz");
    EXPECT_EQ(out.str(), "ab||xyz");
}
