// Choice of the buffer variant when the shared empty value is made, and the
// locale collation that "TORQA_I18N" switches on. Each case runs in a fresh
// child process (the choice is made once per process).
#include "base/ibuffer.hpp"
#include "base/istring.hpp"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct Setting {
    const char* i18n;       // "TORQA_I18N", or null for unset
    const char* dbcsTable;  // "IDBCSTABLE", or null for unset
    const char* locale;     // LC_ALL before the first value, or null
};

// In the child: applies the setting, makes values and ends the process with
// 0 when the variant and the collation switch are as expected.
[[noreturn]] void checkInChild(const Setting& setting, const char* expectedClass,
                               bool expectedCollation) {
    ::unsetenv("TORQA_I18N");
    ::unsetenv("IDBCSTABLE");
    ::unsetenv("TORQA I18N");
    if (setting.i18n) ::setenv("TORQA_I18N", setting.i18n, 1);
    if (setting.dbcsTable) ::setenv("IDBCSTABLE", setting.dbcsTable, 1);
    if (setting.locale && std::setlocale(LC_ALL, setting.locale) == nullptr) {
        std::fprintf(stderr, "locale %s missing\n", setting.locale);
        std::exit(2);
    }
    IString made = IString("abc") + IString("def");
    IString empty;
    int failures = 0;
    for (const IString* s : {&made, &empty}) {
        const char* name = IBuffer::fromContents(*s)->className();
        if (std::strcmp(name, expectedClass) != 0) {
            std::fprintf(stderr, "class %s, expected %s\n", name, expectedClass);
            ++failures;
        }
    }
    IString info = made.debugInfo();
    if (std::strstr(info, (IString(",pBuffer->") + expectedClass + "(@")) == nullptr) {
        std::fprintf(stderr, "debug text %s\n", static_cast<const char*>(info));
        ++failures;
    }
    if (vrk::base::localeCollation() != expectedCollation) {
        std::fprintf(stderr, "collation %d\n", vrk::base::localeCollation());
        ++failures;
    }
    std::exit(failures == 0 ? 0 : 1);
}

class IBufferVariant : public ::testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

}  // namespace

TEST_F(IBufferVariant, Selection) {
    static const struct {
        Setting setting;
        const char* expectedClass;
        bool collation;
    } cases[] = {
        {{nullptr, nullptr, nullptr}, "IBuffer", false},
        {{"OFF", nullptr, nullptr}, "IBuffer", false},
        {{nullptr, "", nullptr}, "IBuffer", false},
        {{nullptr, "\x81\x82", nullptr}, "IDBCSBuffer", false},
        {{"no", "\x81", nullptr}, "IDBCSBuffer", false},
        {{"ONX", "\x81", nullptr}, "IDBCSBuffer", false},  // not exactly "ON"
        {{" ON", nullptr, nullptr}, "IBuffer", false},
        // "ON" in any case; a single-byte character set keeps IBuffer, and
        // IDBCSTABLE is then not asked.
        {{"ON", nullptr, "C"}, "IBuffer", true},
        {{"on", "\x81", "C"}, "IBuffer", true},
        {{"oN", nullptr, "C"}, "IBuffer", true},
        // A multi-byte character set with "ON" gives the double-byte variant.
        {{"On", nullptr, "C.UTF-8"}, "IDBCSBuffer", true},
        // Without "ON" the runtime's character set does not matter here.
        {{nullptr, nullptr, "C.UTF-8"}, "IBuffer", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << "TORQA_I18N=" << (c.setting.i18n ? c.setting.i18n : "(unset)")
                     << " IDBCSTABLE=" << (c.setting.dbcsTable ? "set" : "(unset)")
                     << " locale=" << (c.setting.locale ? c.setting.locale : "(default)"));
        EXPECT_EXIT(checkInChild(c.setting, c.expectedClass, c.collation),
                    ::testing::ExitedWithCode(0), "");
    }
}

namespace {

[[noreturn]] void underscoreFormOnly() {
    ::unsetenv("TORQA_I18N");
    ::setenv("TORQA I18N", "ON", 1);
    IString s("x");
    std::exit(vrk::base::localeCollation() ? 1 : 0);
}

[[noreturn]] void collationKeepsEquality() {
    ::setenv("TORQA_I18N", "ON", 1);
    IString a("abc");
    IString b("abd");
    IString withNul1("a\0b", 3);
    IString withNul2("a\0c", 3);
    bool ok = vrk::base::localeCollation() && a.compare(b) == 2 && b.compare(a) == 1 &&
              a.compare(IString("abc")) == 0 && a.compare(static_cast<const char*>(nullptr)) == 1 &&
              withNul1.compare(withNul2) == 2 && withNul1 != withNul2 &&
              IString().compare(IString()) == 0;
    std::exit(ok ? 0 : 1);
}

[[noreturn]] void collationByLocale() {
    ::setenv("TORQA_I18N", "ON", 1);
    const char* names[] = {"en_US.UTF-8", "en_US.utf8", "de_DE.UTF-8", "en_GB.UTF-8"};
    bool found = false;
    for (const char* name : names)
        if (!found && std::setlocale(LC_COLLATE, name) != nullptr) found = true;
    if (!found) std::exit(0);  // no such locale on this machine: nothing to show
    // Bytes put "B" (0x42) before "a" (0x61); the collation does not.
    std::exit(IString("a").compare(IString("B")) == 2 ? 0 : 1);
}

}  // namespace

TEST_F(IBufferVariant, OnlyTheUnderscoreFormIsRead) {
    EXPECT_EXIT(underscoreFormOnly(), ::testing::ExitedWithCode(0), "");
}

TEST_F(IBufferVariant, CollationKeepsEqualityToBytes) {
    EXPECT_EXIT(collationKeepsEquality(), ::testing::ExitedWithCode(0), "");
}

TEST_F(IBufferVariant, CollationOrdersByTheLocale) {
    EXPECT_EXIT(collationByLocale(), ::testing::ExitedWithCode(0), "");
}
