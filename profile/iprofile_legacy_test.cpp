// The layout used on legacy registry hosts, whose keys have only an unnamed
// value: every value is a subkey holding text, integers are decimal text,
// binary chunks are 3500 bytes as upper-case hexadecimal, and blanks in
// names are escaped as "/-".
#include "registry/testing/registry_wrappers.hpp"
#include "profile/profile_test_support.hpp"

namespace {

using namespace profiletest;
using vrk::reg::FaultInjectingRegistry;
using vrk::reg::kLocalMachine;
using vrk::reg::RegCall;

const std::string kApp = "Software\\SV.INI\\App";

class LegacyTest : public ProfileStoreTest {
protected:
    void SetUp() override {
        ProfileStoreTest::SetUp();
        vrk::platform::forceLegacyRegistryHost(true);
    }
    std::optional<std::string> text(const std::string& path) {
        return raw().unnamedText(kLocalMachine, path);
    }
};

std::string hexOf(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (unsigned char c : bytes) {
        hex.push_back(digits[c >> 4]);
        hex.push_back(digits[c & 15]);
    }
    return hex;
}

TEST_F(LegacyTest, StringLayout) {
    IProfile profile("SV.INI");
    profile.addOrReplaceElementWithKey("Greeting", IString("hello"), "App");
    const std::string key = kApp + "\\Greeting";
    EXPECT_EQ(raw().subkeys(kLocalMachine, key), (std::vector<std::string>{"Data", "DataType"}));
    EXPECT_EQ(raw().valueNames(kLocalMachine, key), std::vector<std::string>{});
    EXPECT_EQ(text(key + "\\DataType"), "String");
    EXPECT_EQ(text(key + "\\Data"), "hello");
    EXPECT_EQ(stringOf(profile.elementWithKey("Greeting", "App")), "hello");
}

TEST_F(LegacyTest, IntegersAreDecimalText) {
    IProfile profile("SV.INI");
    struct Case {
        long value;
        const char* text;
        std::string bytes;
    } cases[] = {
        {258, "258", std::string("\x02\x01\x00\x00", 4)},
        {-5, "-5", std::string("\xfb\xff\xff\xff", 4)},
        {0, "0", std::string(4, '\0')},
        {-2147483647L - 1, "-2147483648", std::string("\x00\x00\x00\x80", 4)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        profile.addOrReplaceElementWithKey("N", c.value, "App");
        EXPECT_EQ(text(kApp + "\\N\\DataType"), "Integer");
        EXPECT_EQ(text(kApp + "\\N\\Data"), c.text);
        EXPECT_EQ(profile.integerWithKey("N", "App"), c.value);
        EXPECT_EQ(stringOf(profile.elementWithKey("N", "App")), c.bytes);
    }
}

TEST_F(LegacyTest, DecimalTextWrittenByOthers) {
    IProfile profile("SV.INI");
    struct Case {
        const char* stored;
        long value;
    } cases[] = {
        {"  +42abc", 42}, {"\t-17", -17}, {"abc", 0}, {"", 0}, {"99999999999", 2147483647L},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        raw().put(kLocalMachine, kApp + "\\N\\DataType", "", vrk::reg::kRegSz,
                  std::string("Integer", 8));
        raw().put(kLocalMachine, kApp + "\\N\\Data", "", vrk::reg::kRegSz,
                  std::string(c.stored) + std::string(1, '\0'));
        EXPECT_EQ(profile.integerWithKey("N", "App"), c.value);
    }
}

TEST_F(LegacyTest, BinaryChunksAreHexText) {
    IProfile profile("SV.INI");
    std::string big(16001, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 13 + 1);
    profile.addOrReplaceElementWithKey("Blob", bytesOf(big), "App");
    const std::string key = kApp + "\\Blob";
    EXPECT_EQ(text(key + "\\DataType"), "Binary");
    std::vector<std::string> expected{"0", "1", "2", "3", "4", "DataType"};
    EXPECT_EQ(raw().subkeys(kLocalMachine, key), expected);
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        const std::string part = big.substr(static_cast<std::size_t>(i) * 3500, 3500);
        EXPECT_EQ(text(key + "\\" + std::to_string(i)), hexOf(part));
    }
    EXPECT_EQ(text(key + "\\4")->size(), 2u * (16001 - 4 * 3500));
    EXPECT_EQ(stringOf(profile.elementWithKey("Blob", "App")), big);

    // The old chunks go with the replaced element.
    const std::string small("\n\x00\xff", 3);
    profile.addOrReplaceElementWithKey("Blob", bytesOf(small), "App");
    EXPECT_EQ(raw().subkeys(kLocalMachine, key), (std::vector<std::string>{"0", "DataType"}));
    EXPECT_EQ(text(key + "\\0"), "0A00FF");
    EXPECT_EQ(stringOf(profile.elementWithKey("Blob", "App")), small);

    profile.addOrReplaceElementWithKey("Empty", IString(), "App");
    EXPECT_EQ(raw().subkeys(kLocalMachine, kApp + "\\Empty"), std::vector<std::string>{"DataType"});
    EXPECT_EQ(stringOf(profile.elementWithKey("Empty", "App")), "");
}

TEST_F(LegacyTest, DeletingTheLastKeyRemovesTheApplication) {
    IProfile profile("SV.INI");
    profile.addOrReplaceElementWithKey("K", IString("v"), "App");
    profile.deleteElementWithKey("K", "App");
    EXPECT_FALSE(raw().exists(kLocalMachine, kApp));
}

TEST_F(LegacyTest, BlankIsEscaped) {
    IProfile profile("SV.INI");
    profile.addOrReplaceElementWithKey("a b", IString("v"), "My App");
    EXPECT_TRUE(raw().exists(kLocalMachine, "Software\\SV.INI\\My/-App\\a/-b"));
    IProfile::Cursor keys(profile, "My App");
    EXPECT_EQ(walk(profile, keys), std::vector<std::string>{"a b"});
    EXPECT_TRUE(profile.containsApplication("my app"));
    EXPECT_EQ(stringOf(profile.elementWithKey("a b", "My App")), "v");

    IProfile spaced("Name With Blanks");
    EXPECT_TRUE(raw().exists(kLocalMachine, "Software\\Name/-With/-Blanks"));
}

TEST_F(LegacyTest, FailureReportsNameThePlainCalls) {
    FaultInjectingRegistry faults(store());
    install(faults);
    struct Case {
        const char* label;
        RegCall call;
        unsigned nth;
        std::function<void(IProfile&)> run;
        const char* callName;
        const char* function;
        unsigned long line;
    } cases[] = {
        {"create", RegCall::createKey, 1,
         [](IProfile& p) { p.addOrReplaceElementWithKey("K", IString("v"), "App"); },
         "RegCreateKey", "IRegOpenKey(HKEY,const char*)", 108},
        {"string DataType", RegCall::setValue, 1,
         [](IProfile& p) { p.addOrReplaceElementWithKey("K", IString("v"), "App"); }, "RegSetValue",
         "IRegWriteString(HKEY,IString)", 350},
        {"string Data", RegCall::setValue, 2,
         [](IProfile& p) { p.addOrReplaceElementWithKey("K", IString("v"), "App"); }, "RegSetValue",
         "IRegWriteString(HKEY,IString)", 354},
        {"integer DataType", RegCall::setValue, 1,
         [](IProfile& p) { p.addOrReplaceElementWithKey("K", 1L, "App"); }, "RegSetValue",
         "IRegWriteInteger(HKEY,long)", 383},
        {"integer Data", RegCall::setValue, 2,
         [](IProfile& p) { p.addOrReplaceElementWithKey("K", 1L, "App"); }, "RegSetValue",
         "IRegWriteInteger(HKEY,long)", 388},
        {"binary DataType", RegCall::setValue, 1,
         [](IProfile& p) { p.addOrReplaceElementWithKey("K", IString("\n"), "App"); },
         "RegSetValue", "IRegWriteBinary(HKEY,IString)", 420},
        {"binary chunk", RegCall::setValue, 2,
         [](IProfile& p) { p.addOrReplaceElementWithKey("K", IString("\n"), "App"); },
         "RegSetValue", "IRegWriteBinary(HKEY,IString)", 445},
        {"integer read", RegCall::queryValue, 2,
         [](IProfile& p) {
             p.addOrReplaceElementWithKey("K", 1L, "App");
             p.integerWithKey("K", "App");
         },
         "RegQueryValue", "IRegGetInteger(HKEY)", 268},
        {"string read", RegCall::queryValue, 2,
         [](IProfile& p) {
             p.addOrReplaceElementWithKey("K", IString("v"), "App");
             p.elementWithKey("K", "App");
         },
         "RegQueryValueEx", "IRegGetString(HKEY)", 237},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        IProfile profile("SV.INI");
        faults.failCall(c.call, c.nth, 1016);
        auto r = raised([&] { c.run(profile); });
        expectAccessError(r, c.callName, c.function, c.line);
        EXPECT_EQ(r->errorId, 1016u);
        faults.clearFaults();
        if (profile.containsApplication("App")) profile.deleteElementWithApplication("App");
        if (raw().exists(kLocalMachine, kApp)) {
            IProfile::removeProfile("SV.INI");
        }
    }
    EXPECT_EQ(faults.calls(RegCall::createKeyEx), 0u);
    EXPECT_EQ(faults.calls(RegCall::setValueEx), 0u);
    EXPECT_EQ(faults.calls(RegCall::queryValueEx), 0u);
    EXPECT_EQ(faults.calls(RegCall::openKeyEx), 0u);
}

}  // namespace
