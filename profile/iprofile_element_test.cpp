// Element layout in the store, reading back, replacing, deleting, name
// escaping and the mapping of profile names to registry keys.
#include <climits>

#include "profile/profile_test_support.hpp"

namespace {

using namespace profiletest;
using vrk::reg::kCurrentUser;
using vrk::reg::kLocalMachine;
using vrk::reg::kUsers;

const std::string kApp = "Software\\SV.INI\\App";

class ElementTest : public ProfileStoreTest {};

// How a string element is stored, by content.
TEST_F(ElementTest, StringElementLayoutDependsOnContent) {
    const std::string nonPrintable16001 = std::string(16000, '\x01') + "\xff";
    struct Case {
        const char* label;
        std::string element;
        const char* dataType;
        std::vector<std::string> values;  // every value of the key's subkey, sorted
    } cases[] = {
        {"printable", "hello", "String", {"Data", "DataType"}},
        {"blank and tilde", " a~b ", "String", {"Data", "DataType"}},
        {"line feed", "first\nsecond", "Binary", {"0", "DataType"}},
        {"tab", "a\tb", "Binary", {"0", "DataType"}},
        {"byte above 0x7E", "caf\xe9", "Binary", {"0", "DataType"}},
        {"embedded zero", std::string("a\0b", 3), "Binary", {"0", "DataType"}},
        {"empty", "", "Binary", {"DataType"}},
        {"16001 bytes", nonPrintable16001, "Binary", {"0", "1", "DataType"}},
    };
    IProfile profile("SV.INI");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        profile.addOrReplaceElementWithKey("Key", bytesOf(c.element), "App");
        const std::string keyPath = kApp + "\\Key";
        EXPECT_EQ(raw().valueNames(kLocalMachine, keyPath), c.values);
        auto type = raw().value(kLocalMachine, keyPath, "DataType");
        ASSERT_TRUE(type);
        EXPECT_EQ(type->type, vrk::reg::kRegSz);
        EXPECT_EQ(type->bytes, c.dataType);  // no terminating zero byte
        EXPECT_EQ(stringOf(profile.elementWithKey("Key", "App")), c.element);
    }
}

TEST_F(ElementTest, StringIsStoredWithoutTerminatingZero) {
    IProfile profile("SV.INI");
    profile.addOrReplaceElementWithKey("Greeting", IString("hello"), "App");
    auto data = raw().value(kLocalMachine, kApp + "\\Greeting", "Data");
    ASSERT_TRUE(data);
    EXPECT_EQ(data->type, vrk::reg::kRegSz);
    EXPECT_EQ(data->bytes, "hello");
    EXPECT_EQ(raw().value(kLocalMachine, kApp + "\\Greeting", "DataType")->bytes, "String");
}

TEST_F(ElementTest, BinaryChunksAndShorterReplacement) {
    IProfile profile("SV.INI");
    std::string big(16001, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
    profile.addOrReplaceElementWithKey("Blob", bytesOf(big), "App");
    const std::string keyPath = kApp + "\\Blob";
    auto chunk0 = raw().value(kLocalMachine, keyPath, "0");
    auto chunk1 = raw().value(kLocalMachine, keyPath, "1");
    ASSERT_TRUE(chunk0 && chunk1);
    EXPECT_EQ(chunk0->type, vrk::reg::kRegBinary);
    EXPECT_EQ(chunk0->bytes, big.substr(0, 16000));
    EXPECT_EQ(chunk1->bytes, big.substr(16000));
    EXPECT_EQ(stringOf(profile.elementWithKey("Blob", "App")), big);

    const std::string small("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a", 10);
    profile.addOrReplaceElementWithKey("Blob", bytesOf(small), "App");
    EXPECT_EQ(raw().valueNames(kLocalMachine, keyPath),
              (std::vector<std::string>{"0", "DataType"}));
    EXPECT_EQ(raw().value(kLocalMachine, keyPath, "0")->bytes, small);
    EXPECT_EQ(stringOf(profile.elementWithKey("Blob", "App")), small);
}

TEST_F(ElementTest, ExactChunkMultipleHasNoEmptyTrailingChunk) {
    IProfile profile("SV.INI");
    const std::string twoChunks(32000, '\n');
    profile.addOrReplaceElementWithKey("Blob", bytesOf(twoChunks), "App");
    EXPECT_EQ(raw().valueNames(kLocalMachine, kApp + "\\Blob"),
              (std::vector<std::string>{"0", "1", "DataType"}));
    EXPECT_EQ(stringOf(profile.elementWithKey("Blob", "App")), twoChunks);
}

TEST_F(ElementTest, IntegerLayoutAndReadBack) {
    struct Case {
        long value;
        std::string bytes;
    } cases[] = {
        {258, std::string("\x02\x01\x00\x00", 4)},
        {0, std::string(4, '\0')},
        {-2, std::string("\xfe\xff\xff\xff", 4)},
        {2147483647L, std::string("\xff\xff\xff\x7f", 4)},
        {-2147483647L - 1, std::string("\x00\x00\x00\x80", 4)},
    };
    IProfile profile("SV.INI");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        profile.addOrReplaceElementWithKey("Count", c.value, "App");
        const std::string keyPath = kApp + "\\Count";
        EXPECT_EQ(raw().valueNames(kLocalMachine, keyPath),
                  (std::vector<std::string>{"Data", "DataType"}));
        EXPECT_EQ(raw().value(kLocalMachine, keyPath, "DataType")->bytes, "Integer");
        auto data = raw().value(kLocalMachine, keyPath, "Data");
        ASSERT_TRUE(data);
        EXPECT_EQ(data->type, vrk::reg::kRegDword);
        EXPECT_EQ(data->bytes, c.bytes);
        EXPECT_EQ(profile.integerWithKey("Count", "App"), c.value);
        EXPECT_EQ(stringOf(profile.elementWithKey("Count", "App")), c.bytes);
    }
}

// A long wider than 32 bits would be cut silently; it is refused instead.
TEST_F(ElementTest, IntegerOutsideThirtyTwoBitsIsRefusedAndNothingWritten) {
    if (sizeof(long) <= 4) GTEST_SKIP() << "long has 32 bits here";
    const long outside[] = {static_cast<long>(2147483648LL), static_cast<long>(-2147483649LL),
                            LONG_MAX, LONG_MIN};
    IProfile profile("SV.INI");
    for (long value : outside) {
        SCOPED_TRACE(value);
        expectParameterError(
            raised([&] { profile.addOrReplaceElementWithKey("Count", value, "App"); }),
            "IProfile::addOrReplaceElementWithKey(const char*,long,const char*)", 942);
        EXPECT_FALSE(raw().exists(kLocalMachine, kApp));
    }
    // An existing element stays as it was.
    profile.addOrReplaceElementWithKey("Count", 7L, "App");
    EXPECT_THROW(profile.addOrReplaceElementWithKey("Count", outside[0], "App"), IInvalidParameter);
    EXPECT_EQ(profile.integerWithKey("Count", "App"), 7);
}

TEST_F(ElementTest, IntegerSmallerOrLargerValueStoredByAnotherProgram) {
    IProfile profile("SV.INI");
    raw().put(kLocalMachine, kApp + "\\Short", "DataType", vrk::reg::kRegSz, "Integer");
    raw().put(kLocalMachine, kApp + "\\Short", "Data", vrk::reg::kRegDword, std::string("\x05", 1));
    EXPECT_EQ(profile.integerWithKey("Short", "App"), 5);
    raw().put(kLocalMachine, kApp + "\\Long", "DataType", vrk::reg::kRegSz, "Integer");
    raw().put(kLocalMachine, kApp + "\\Long", "Data", vrk::reg::kRegBinary, std::string(8, '\1'));
    expectAccessError(raised([&] { profile.integerWithKey("Long", "App"); }), "RegQueryValueEx",
                      "IRegGetInteger(HKEY)", 289);
}

TEST_F(ElementTest, ReplacingChangesTypeAndDropsOldValues) {
    IProfile profile("SV.INI");
    const std::string keyPath = kApp + "\\Key";
    profile.addOrReplaceElementWithKey("Key", bytesOf(std::string(20000, '\n')), "App");
    profile.addOrReplaceElementWithKey("Key", 12L, "App");
    EXPECT_EQ(raw().valueNames(kLocalMachine, keyPath),
              (std::vector<std::string>{"Data", "DataType"}));
    EXPECT_EQ(profile.integerWithKey("Key", "App"), 12);
    profile.addOrReplaceElementWithKey("Key", IString("text"), "App");
    EXPECT_EQ(stringOf(profile.elementWithKey("Key", "App")), "text");
    expectAccessError(raised([&] { profile.integerWithKey("Key", "App"); }), "RegQueryKey",
                      "IProfile::integerWithKey(const char*,const char*) const", 858);
}

TEST_F(ElementTest, StringOfDigitsIsNotAnInteger) {
    IProfile profile("SV.INI");
    profile.addOrReplaceElementWithKey("Key", IString("42"), "App");
    expectAccessError(raised([&] { profile.integerWithKey("Key", "App"); }), "RegQueryKey",
                      "IProfile::integerWithKey(const char*,const char*) const", 858);
}

TEST_F(ElementTest, UntypedSubkeyIsNotAnElement) {
    IProfile profile("SV.INI");
    const char* badTypes[] = {nullptr, "Text", "string", "BinaryBinary"};
    for (const char* bad : badTypes) {
        SCOPED_TRACE(bad ? bad : "(no DataType)");
        raw().put(kLocalMachine, kApp + "\\Odd", bad ? "DataType" : nullptr, vrk::reg::kRegSz,
                  bad ? bad : "");
        raw().put(kLocalMachine, kApp + "\\Odd", "Data", vrk::reg::kRegSz, "x");
        expectAccessError(raised([&] { profile.elementWithKey("Odd", "App"); }), "RegQueryKey",
                          "IProfile::elementWithKey(const char*,const char*) const", 777);
    }
}

TEST_F(ElementTest, ReadingMissingApplicationOrKeyCreatesNothing) {
    IProfile profile("SV.INI");
    auto r = raised([&] { profile.elementWithKey("Key", "Nowhere"); });
    expectAccessError(r, "RegOpenKey", "IProfile::elementWithKey(const char*,const char*) const",
                      753);
    EXPECT_EQ(r->errorId, static_cast<unsigned long>(vrk::reg::kFileNotFound));
    EXPECT_FALSE(raw().exists(kLocalMachine, "Software\\SV.INI\\Nowhere"));

    profile.addOrReplaceElementWithKey("Other", IString("x"), "App");
    r = raised([&] { profile.elementWithKey("Key", "App"); });
    expectAccessError(r, "RegOpenKey", "IProfile::elementWithKey(const char*,const char*) const",
                      762);
    EXPECT_EQ(r->errorId, static_cast<unsigned long>(vrk::reg::kFileNotFound));
    EXPECT_FALSE(raw().exists(kLocalMachine, kApp + "\\Key"));

    expectAccessError(raised([&] { profile.integerWithKey("Key", "Nowhere"); }), "RegOpenKey",
                      "IProfile::integerWithKey(const char*,const char*) const", 834);
    expectAccessError(raised([&] { profile.integerWithKey("Key", "App"); }), "RegOpenKey",
                      "IProfile::integerWithKey(const char*,const char*) const", 843);
}

TEST_F(ElementTest, DeleteRemovesEmptyApplication) {
    IProfile profile("SV.INI");
    profile.addOrReplaceElementWithKey("A", IString("1"), "App");
    profile.addOrReplaceElementWithKey("B", IString("2"), "App");
    profile.deleteElementWithKey("A", "App");
    EXPECT_EQ(raw().subkeys(kLocalMachine, kApp), std::vector<std::string>{"B"});
    profile.deleteElementWithKey("Missing", "App");  // no error
    EXPECT_TRUE(raw().exists(kLocalMachine, kApp));
    profile.deleteElementWithKey("b", "App");  // names are case-insensitive in the store
    EXPECT_FALSE(raw().exists(kLocalMachine, kApp));
    expectAccessError(raised([&] { profile.deleteElementWithKey("B", "App"); }), "RegOpenKey",
                      "IProfile::deleteElementWithKey(const char*,const char*)", 1003);
}

TEST_F(ElementTest, DeleteKeepsApplicationWithUntypedSubkey) {
    IProfile profile("SV.INI");
    profile.addOrReplaceElementWithKey("A", IString("1"), "App");
    raw().put(kLocalMachine, kApp + "\\Foreign");
    profile.deleteElementWithKey("A", "App");
    EXPECT_EQ(raw().subkeys(kLocalMachine, kApp), std::vector<std::string>{"Foreign"});
}

TEST_F(ElementTest, NamesAreEscapedInTheStore) {
    struct Case {
        const char* name;
        const char* stored;
    } cases[] = {
        {"a/b*c?d\\e", "a//b/1c/0d/_e"},
        {"/", "//"},
        {"//*", "/////1"},
        {"?*\\", "/0/1/_"},
        {"a b", "a b"},
        {"/0", "//0"},
        {"Plain.Name", "Plain.Name"},
    };
    IProfile profile("SV.INI");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        profile.addOrReplaceElementWithKey(c.name, IString("v"), c.name);
        const std::string app = std::string("Software\\SV.INI\\") + c.stored;
        EXPECT_TRUE(raw().exists(kLocalMachine, app + "\\" + c.stored));
        EXPECT_EQ(stringOf(profile.elementWithKey(c.name, c.name)), "v");
        IProfile::Cursor keys(profile, c.name);
        EXPECT_EQ(walk(profile, keys), std::vector<std::string>{c.name});
        EXPECT_TRUE(profile.containsApplication(c.name));
        profile.deleteElementWithKey(c.name, c.name);
        EXPECT_FALSE(raw().exists(kLocalMachine, app));
    }
}

TEST_F(ElementTest, ProfileNamesMapToKeys) {
    struct Case {
        const char* profile;
        Key root;
        const char* path;
    } cases[] = {
        {"SV.INI", kLocalMachine, "Software\\SV.INI"},
        {"HKEY_CURRENT_USER", kLocalMachine, "Software\\HKEY_CURRENT_USER"},
        {"HKEY_CURRENT_USER\\", kLocalMachine, "Software\\HKEY_CURRENT_USER/_"},
        {"hkey_current_user\\Software", kLocalMachine, "Software\\hkey_current_user/_Software"},
        {"D:\\DIR\\SV.INI", kLocalMachine, "Software\\D:/_DIR/_SV.INI"},
        {"HKEY_USERS\\X\\Y\\Z", kUsers, "X\\Y/_Z"},
        {"HKEY_USERS\\X", kUsers, "X"},
        {"HKEY_CURRENT_USER\\Software\\A\\B", kCurrentUser, "Software\\A/_B"},
        {"HKEY_CLASSES_ROOT\\Kind", vrk::reg::kClassesRoot, "Kind"},
        {"HKEY_LOCAL_MACHINE\\Software\\Star*", kLocalMachine, "Software\\Star/1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.profile);
        IProfile profile(c.profile);  // creates the key even when nothing is written
        EXPECT_TRUE(raw().exists(c.root, c.path));
        EXPECT_EQ(stringOf(profile.name()), c.profile);
        profile.addOrReplaceElementWithKey("K", IString("v"), "A");
        EXPECT_TRUE(raw().exists(c.root, std::string(c.path) + "\\A\\K"));
        profile.deleteElementWithKey("K", "A");
    }
}

TEST_F(ElementTest, HiveSoftwareProfilesAreTheSoftwareKeys) {
    IProfile app("SV.INI");
    app.addOrReplaceElementWithKey("K", IString("v"), "A");
    IProfile machine = IProfile::localMachineProfile();
    EXPECT_EQ(stringOf(machine.name()), "HKEY_LOCAL_MACHINE\\Software");
    EXPECT_TRUE(machine.containsApplication("sv.ini"));
    EXPECT_EQ(machine.numberOfKeys("SV.INI"), 0u);  // "A" has no "DataType"
    expectAccessError(raised([&] { machine.elementWithKey("A", "SV.INI"); }), "RegQueryKey",
                      "IProfile::elementWithKey(const char*,const char*) const", 777);

    IProfile user = IProfile::currentUserProfile();
    EXPECT_EQ(stringOf(user.name()), "HKEY_CURRENT_USER\\Software");
    user.addOrReplaceElementWithKey("K", 1L, "Suite");
    EXPECT_TRUE(raw().exists(kCurrentUser, "Software\\Suite\\K"));
}

TEST_F(ElementTest, DefaultApplication) {
    IProfile profile("SV.INI");
    EXPECT_EQ(stringOf(profile.defaultApplication()), "");
    const char* fn = "IProfile::elementWithKey(const char*,const char*) const";
    expectParameterError(raised([&] { profile.elementWithKey("K"); }), fn, 697);
    expectParameterError(raised([&] { profile.elementWithKey(nullptr); }), fn, 694);

    profile.setDefaultApplication("App");
    EXPECT_EQ(stringOf(profile.defaultApplication()), "App");
    profile.addOrReplaceElementWithKey("K", IString("v"));
    profile.addOrReplaceElementWithKey("N", 3L);
    EXPECT_EQ(stringOf(profile.elementWithKey("K", "App")), "v");
    EXPECT_EQ(stringOf(profile.elementWithKey("K")), "v");
    EXPECT_EQ(profile.integerWithKey("N"), 3);
    EXPECT_EQ(profile.numberOfKeys(), 2u);
    EXPECT_TRUE(profile.containsKey("k"));
    profile.deleteElementWithKey("K");
    EXPECT_FALSE(profile.containsKey("K", "App"));

    EXPECT_EQ(&profile.setDefaultApplication(nullptr), &profile);
    EXPECT_EQ(stringOf(profile.defaultApplication()), "");
}

TEST_F(ElementTest, ParameterChecksComeFirstAndInOrder) {
    IProfile profile("SV.INI");
    struct Case {
        const char* label;
        std::function<void()> action;
        const char* function;
        unsigned long line;
    } cases[] = {
        {"constructor", [] { IProfile p(nullptr); }, "IProfile::IProfile(const char*)", 471},
        {"element key", [&] { profile.elementWithKey(nullptr, "A"); },
         "IProfile::elementWithKey(const char*,const char*) const", 694},
        {"element key before default", [&] { profile.elementWithKey(nullptr); },
         "IProfile::elementWithKey(const char*,const char*) const", 694},
        {"integer key", [&] { profile.integerWithKey(nullptr, "A"); },
         "IProfile::integerWithKey(const char*,const char*) const", 810},
        {"integer default", [&] { profile.integerWithKey("K"); },
         "IProfile::integerWithKey(const char*,const char*) const", 812},
        {"add string key", [&] { profile.addOrReplaceElementWithKey(nullptr, IString("v"), "A"); },
         "IProfile::addOrReplaceElementWithKey(const char*,const IString&,const char*)", 881},
        {"add string default", [&] { profile.addOrReplaceElementWithKey("K", IString("v")); },
         "IProfile::addOrReplaceElementWithKey(const char*,const IString&,const char*)", 883},
        {"add long key", [&] { profile.addOrReplaceElementWithKey(nullptr, 1L, "A"); },
         "IProfile::addOrReplaceElementWithKey(const char*,long,const char*)", 938},
        {"add long default", [&] { profile.addOrReplaceElementWithKey("K", 1L); },
         "IProfile::addOrReplaceElementWithKey(const char*,long,const char*)", 940},
        {"delete key", [&] { profile.deleteElementWithKey(nullptr, "A"); },
         "IProfile::deleteElementWithKey(const char*,const char*)", 985},
        {"delete default", [&] { profile.deleteElementWithKey("K"); },
         "IProfile::deleteElementWithKey(const char*,const char*)", 987},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        expectParameterError(raised(c.action), c.function, c.line);
    }
    EXPECT_EQ(raw().subkeys(kLocalMachine, "Software\\SV.INI"), std::vector<std::string>{});
}

TEST_F(ElementTest, CopyAndAssignmentOpenKeysOfTheirOwn) {
    IProfile first("SV.INI");
    first.setDefaultApplication("App");
    first.addOrReplaceElementWithKey("K", IString("one"));
    IProfile copy(first);
    EXPECT_EQ(stringOf(copy.name()), "SV.INI");
    EXPECT_EQ(stringOf(copy.defaultApplication()), "App");
    EXPECT_EQ(stringOf(copy.elementWithKey("K")), "one");

    // The copy sees the original's changes at once; nothing is cached.
    first.addOrReplaceElementWithKey("K", IString("two"));
    EXPECT_EQ(stringOf(copy.elementWithKey("K")), "two");

    IProfile other("HKEY_USERS\\X");
    other = first;
    EXPECT_EQ(stringOf(other.name()), "SV.INI");
    EXPECT_EQ(stringOf(other.elementWithKey("K")), "two");
    other = other;  // self-assignment keeps a working key
    EXPECT_EQ(stringOf(other.elementWithKey("K")), "two");
}

TEST_F(ElementTest, CopyRecreatesRemovedProfileKey) {
    IProfile original("Gone.INI");
    IProfile::removeProfile("Gone.INI");
    EXPECT_FALSE(raw().exists(kLocalMachine, "Software\\Gone.INI"));
    IProfile copy(original);
    EXPECT_TRUE(raw().exists(kLocalMachine, "Software\\Gone.INI"));
    copy.addOrReplaceElementWithKey("K", IString("v"), "A");
    EXPECT_EQ(stringOf(copy.elementWithKey("K", "A")), "v");
}

// A derived store sees its own deleteElementWithKey used for the replacement.
class RecordingProfile : public IProfile {
public:
    using IProfile::IProfile;
    IProfile& deleteElementWithKey(const char* key, const char* applName = 0) override {
        deleted.push_back(std::string(key) + "@" + (applName ? applName : "(null)"));
        return IProfile::deleteElementWithKey(key, applName);
    }
    std::vector<std::string> deleted;
};

TEST_F(ElementTest, ReplacementGoesThroughVirtualDelete) {
    RecordingProfile profile("SV.INI");
    profile.setDefaultApplication("App");
    profile.addOrReplaceElementWithKey("K", IString("first"));
    EXPECT_TRUE(profile.deleted.empty());
    profile.addOrReplaceElementWithKey("K", IString("second"));
    profile.addOrReplaceElementWithKey("k", 5L, "Other");
    profile.addOrReplaceElementWithKey("k", 6L, "Other");
    // The resolved application name is passed on.
    EXPECT_EQ(profile.deleted, (std::vector<std::string>{"K@App", "k@Other"}));
    IProfile& base = profile;
    base.deleteElementWithApplication("Other");
    EXPECT_EQ(profile.deleted.back(), "k@Other");
    EXPECT_EQ(stringOf(profile.elementWithKey("K")), "second");
}

}  // namespace
