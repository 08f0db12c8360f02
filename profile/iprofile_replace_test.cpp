// Replacing and deleting an element whose key's subkey also holds subkeys
// that are not part of the layout (made by another program): the store
// refuses to delete such a subkey, and nothing of the old element may
// survive a replace or a delete that reports success.
#include "registry/testing/registry_wrappers.hpp"
#include "profile/profile_test_support.hpp"

namespace {

using namespace profiletest;
using vrk::reg::FaultInjectingRegistry;
using vrk::reg::kLocalMachine;
using vrk::reg::RegCall;

const std::string kApp = "Software\\SV.INI\\App";
const std::string kKey = kApp + "\\Key";
const long kInjected = 1016;  // ERROR_REGISTRY_IO_FAILED

class ReplaceTest : public ProfileStoreTest {
protected:
    // A Binary element of two chunks ("0" full, "1" holding "tail") under a
    // key subkey that also holds the subkey "Stray".
    void plantTwoChunksAndStraySubkey(IProfile& profile) {
        profile.addOrReplaceElementWithKey("Key", bytesOf(std::string(16000, '\n') + "tail"),
                                           "App");
        raw().put(kLocalMachine, kKey + "\\Stray", "Foreign", vrk::reg::kRegSz, "keep");
        ASSERT_EQ(raw().valueNames(kLocalMachine, kKey),
                  (std::vector<std::string>{"0", "1", "DataType"}));
    }
};

TEST_F(ReplaceTest, ReplaceLeavesNoOldValueWhateverTheSubkeys) {
    struct Case {
        const char* label;
        std::function<void(IProfile&)> write;
        std::string readBack;
        std::vector<std::string> values;
    } cases[] = {
        {"one chunk",
         [](IProfile& p) { p.addOrReplaceElementWithKey("Key", bytesOf(".\n.\n"), "App"); },
         ".\n.\n",
         {"0", "DataType"}},
        {"empty",
         [](IProfile& p) { p.addOrReplaceElementWithKey("Key", IString(), "App"); },
         "",
         {"DataType"}},
        {"string",
         [](IProfile& p) { p.addOrReplaceElementWithKey("Key", IString("hello"), "App"); },
         "hello",
         {"Data", "DataType"}},
        {"integer",
         [](IProfile& p) { p.addOrReplaceElementWithKey("Key", 258L, "App"); },
         std::string("\x02\x01\0\0", 4),
         {"Data", "DataType"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        IProfile profile("SV.INI");
        plantTwoChunksAndStraySubkey(profile);
        c.write(profile);
        EXPECT_EQ(stringOf(profile.elementWithKey("Key", "App")), c.readBack);
        EXPECT_EQ(raw().valueNames(kLocalMachine, kKey), c.values);
        // What another program keeps below the key is not the store's to delete.
        EXPECT_TRUE(raw().value(kLocalMachine, kKey + "\\Stray", "Foreign").has_value());
        raw().put(kLocalMachine, kApp);  // keep the application for the next row
        profile.deleteElementWithKey("Key", "App");
    }
}

TEST_F(ReplaceTest, DeleteOfAKeyWithSubkeysRemovesTheElement) {
    IProfile profile("SV.INI");
    plantTwoChunksAndStraySubkey(profile);
    profile.deleteElementWithKey("Key", "App");
    EXPECT_FALSE(profile.containsKey("Key", "App"));
    EXPECT_EQ(raw().valueNames(kLocalMachine, kKey), std::vector<std::string>{});
    EXPECT_TRUE(raw().exists(kLocalMachine, kKey + "\\Stray"));
    expectAccessError(raised([&] { profile.elementWithKey("Key", "App"); }), "RegQueryKey",
                      "IProfile::elementWithKey(const char*,const char*) const", 777);
    // The key's subkey is still there (untyped), so the application stays.
    EXPECT_TRUE(profile.containsApplication("App"));
}

TEST_F(ReplaceTest, RefusedRemovalFailsAndLeavesTheOldElementWhole) {
    if (!vrk::reg::platformRegistryHasBatches())
        GTEST_SKIP() << "the old element stays whole only through an all-or-nothing batch; "
                        "the Windows registry has none";
    const std::string old = std::string(16000, '\n') + "tail";
    FaultInjectingRegistry faults(store());
    install(faults);
    IProfile profile("SV.INI");
    plantTwoChunksAndStraySubkey(profile);

    faults.failCall(RegCall::deleteValue, 2, kInjected);
    auto r = raised([&] { profile.addOrReplaceElementWithKey("Key", bytesOf("new\n"), "App"); });
    faults.clearFaults();
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->text, "RegDeleteKey:No error text is available.");
    EXPECT_EQ(r->function, "IProfile::deleteElementWithKey(const char*,const char*)");
    EXPECT_EQ(r->errorId, static_cast<unsigned long>(kInjected));
    EXPECT_EQ(stringOf(profile.elementWithKey("Key", "App")), old);

    faults.failCall(RegCall::deleteValue, 1, kInjected);
    EXPECT_TRUE(raised([&] { profile.deleteElementWithKey("Key", "App"); }));
    faults.clearFaults();
    EXPECT_TRUE(profile.containsKey("Key", "App"));
    EXPECT_EQ(stringOf(profile.elementWithKey("Key", "App")), old);
}

// A derived class whose delete leaves the element in place: the replace
// itself still removes every old value before it writes.
TEST_F(ReplaceTest, ReplaceClearsWhatAnOverriddenDeleteLeft) {
    struct KeepingProfile : IProfile {
        using IProfile::IProfile;
        IProfile& deleteElementWithKey(const char*, const char*) override { return *this; }
    };
    FaultInjectingRegistry faults(store());  // outlives the profile, which closes through it
    KeepingProfile profile("SV.INI");
    plantTwoChunksAndStraySubkey(profile);
    profile.addOrReplaceElementWithKey("Key", bytesOf("a\nb"), "App");
    EXPECT_EQ(stringOf(profile.elementWithKey("Key", "App")), "a\nb");
    EXPECT_EQ(raw().valueNames(kLocalMachine, kKey), (std::vector<std::string>{"0", "DataType"}));

    install(faults);
    faults.failCall(RegCall::deleteValue, 1, kInjected);
    expectAccessError(raised([&] { profile.addOrReplaceElementWithKey("Key", 7L, "App"); }),
                      "RegDeleteValue",
                      "IProfile::addOrReplaceElementWithKey(const char*,long,const char*)", 960);
    faults.clearFaults();
    EXPECT_EQ(stringOf(profile.elementWithKey("Key", "App")), "a\nb");
}

}  // namespace
