// Cursors over applications and keys, the presence tests and counts, and the
// removal of applications and whole profiles.
#include "profile/profile_test_support.hpp"

namespace {

using namespace profiletest;
using vrk::reg::kCurrentUser;
using vrk::reg::kLocalMachine;

const std::string kProfile = "Software\\SV.INI";
const std::string kApp = kProfile + "\\App";

class CursorTest : public ProfileStoreTest {
protected:
    void write(IProfile& profile, const char* key, const char* app = "App") {
        profile.addOrReplaceElementWithKey(key, IString("v"), app);
    }
};

TEST_F(CursorTest, KeyCursorSkipsUntypedSubkeys) {
    IProfile profile("SV.INI");
    write(profile, "K1");
    raw().put(kLocalMachine, kApp + "\\X");
    write(profile, "K2");
    raw().put(kLocalMachine, kApp + "\\Y", "DataType", vrk::reg::kRegSz, "Unknown");
    IProfile::Cursor keys(profile, "App");
    EXPECT_EQ(walk(profile, keys), (std::vector<std::string>{"K1", "K2"}));
    EXPECT_EQ(profile.numberOfKeys("App"), 2u);
    EXPECT_FALSE(profile.containsKey("X", "App"));
    // The application cursor lists every subkey of the profile key.
    IProfile::Cursor apps(profile);
    EXPECT_EQ(walk(profile, apps), std::vector<std::string>{"App"});
}

TEST_F(CursorTest, Moves) {
    IProfile profile("SV.INI");
    for (const char* k : {"A", "BB", "C"}) write(profile, k);
    IProfile::Cursor c(profile, "App");
    auto at = [&] { return stringOf(profile.applicationOrKeyAt(c)); };

    EXPECT_TRUE(c.isValid());  // valid after construction: on the first name
    EXPECT_EQ(at(), "A");
    EXPECT_TRUE(c.moveToNext());
    EXPECT_EQ(at(), "BB");
    EXPECT_TRUE(c.moveToNext());
    EXPECT_EQ(at(), "C");
    EXPECT_FALSE(c.moveToNext());  // past the last
    EXPECT_FALSE(c.moveToNext());  // and stays invalid
    EXPECT_FALSE(c.moveToPrevious());

    EXPECT_TRUE(c.moveToLast());
    EXPECT_EQ(at(), "C");
    EXPECT_TRUE(c.moveToPrevious());
    EXPECT_EQ(at(), "BB");
    EXPECT_TRUE(c.moveToPrevious());
    EXPECT_EQ(at(), "A");
    EXPECT_FALSE(c.moveToPrevious());  // before the first

    EXPECT_TRUE(c.moveToFirst());
    c.makeInvalid();
    EXPECT_FALSE(c.isValid());
    EXPECT_FALSE(c.moveToNext());
    EXPECT_TRUE(c.moveToFirst());
    EXPECT_EQ(at(), "A");
}

TEST_F(CursorTest, SingleAndEmptyLists) {
    IProfile profile("SV.INI");
    write(profile, "Only");
    IProfile::Cursor one(profile, "App");
    EXPECT_TRUE(one.moveToLast());
    EXPECT_EQ(stringOf(profile.applicationOrKeyAt(one)), "Only");
    EXPECT_FALSE(one.moveToPrevious());
    EXPECT_TRUE(one.moveToLast());
    EXPECT_FALSE(one.moveToNext());

    write(profile, "X", "Single");  // a one-character name
    IProfile::Cursor x(profile, "Single");
    EXPECT_TRUE(x.moveToLast());
    EXPECT_EQ(stringOf(profile.applicationOrKeyAt(x)), "X");

    IProfile::Cursor none(profile, "Missing");
    EXPECT_FALSE(none.isValid());
    EXPECT_FALSE(none.moveToFirst());
    EXPECT_FALSE(none.moveToLast());
    EXPECT_FALSE(none.moveToNext());
    EXPECT_FALSE(none.moveToPrevious());
    none.makeInvalid();
    EXPECT_FALSE(none.isValid());
    EXPECT_FALSE(raw().exists(kLocalMachine, kProfile + "\\Missing"));
}

TEST_F(CursorTest, NameUnderInvalidCursorIsRefused) {
    IProfile profile("SV.INI");
    write(profile, "A");
    IProfile::Cursor c(profile, "App");
    c.moveToNext();
    expectParameterError(raised([&] { profile.applicationOrKeyAt(c); }),
                         "IProfile::applicationOrKeyAt(const Cursor&) const", 1242);
}

TEST_F(CursorTest, DeletingWhileWalkingRemovesEverything) {
    IProfile profile("SV.INI");
    for (const char* k : {"Q1", "Q2", "Q3", "Q4"}) write(profile, k, "SQLQueryFolder");
    IProfile::Cursor c(profile, "SQLQueryFolder");
    std::vector<std::string> seen;
    for (c.moveToFirst(); c.isValid(); c.moveToNext()) {
        IString key = profile.applicationOrKeyAt(c);
        seen.push_back(stringOf(key));
        profile.deleteElementWithKey(key, "SQLQueryFolder");
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"Q1", "Q2", "Q3", "Q4"}));
    EXPECT_FALSE(profile.containsApplication("SQLQueryFolder"));
    EXPECT_FALSE(raw().exists(kLocalMachine, kProfile + "\\SQLQueryFolder"));
}

TEST_F(CursorTest, SnapshotIgnoresLaterChangesAndOutlivesProfile) {
    auto profile = std::make_unique<IProfile>("SV.INI");
    write(*profile, "A");
    IProfile::Cursor c(*profile, "App");
    write(*profile, "B");
    profile.reset();
    EXPECT_TRUE(c.moveToFirst());
    EXPECT_FALSE(c.moveToNext());
    IProfile again("SV.INI");
    c.moveToFirst();
    EXPECT_EQ(stringOf(again.applicationOrKeyAt(c)), "A");
}

TEST_F(CursorTest, CursorUsesDefaultApplicationAndRecreatesProfileKey) {
    IProfile profile("SV.INI");
    profile.setDefaultApplication("App");
    write(profile, "K");
    IProfile::Cursor keys(profile, nullptr);
    EXPECT_EQ(walk(profile, keys), std::vector<std::string>{"K"});

    IProfile other("Other.INI");
    IProfile::removeProfile("Other.INI");
    IProfile::Cursor apps(other);  // maps the name again
    EXPECT_FALSE(apps.isValid());
    EXPECT_TRUE(raw().exists(kLocalMachine, "Software\\Other.INI"));
}

TEST_F(CursorTest, MalformedAndForeignStoredNames) {
    IProfile profile("SV.INI");
    write(profile, "Good");
    // Stored names that no escaping produces.
    for (const char* stored : {"x/9", "trailing/", "/-dash", "raw?"}) {
        raw().put(kLocalMachine, kApp + "\\" + stored, "DataType", vrk::reg::kRegSz, "String");
        raw().put(kLocalMachine, kProfile + "\\" + stored);
    }
    IProfile::Cursor keys(profile, "App");
    EXPECT_EQ(walk(profile, keys), std::vector<std::string>{"Good"});
    // Listing keys opens no new subkey for a name that escapes differently.
    EXPECT_FALSE(raw().exists(kLocalMachine, kApp + "\\raw/0"));
    EXPECT_FALSE(raw().exists(kLocalMachine, kApp + "\\//-dash"));

    // Applications: the malformed names are left out; the others are listed
    // as they unescape.
    IProfile::Cursor apps(profile);
    EXPECT_EQ(walk(profile, apps), (std::vector<std::string>{"/-dash", "App", "raw?"}));
}

TEST_F(CursorTest, ContainsApplication) {
    IProfile profile("SV.INI");
    write(profile, "K", "CobolPopulate");
    write(profile, "K", "Star*Name");
    struct Case {
        const char* name;
        bool expected;
    } cases[] = {
        {"CobolPopulate", true}, {"cobolpopulate", true},   {"COBOLPOPULATE", true},
        {"Cobol", false},        {"CobolPopulateX", false}, {"", false},
        {"Star*Name", true},     {"star*name", true},       {"Star/1Name", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(profile.containsApplication(c.name), c.expected);
    }
    expectParameterError(raised([&] { profile.containsApplication(nullptr); }),
                         "IProfile::containsApplication(const char*) const", 1168);
    // The local-machine profile finds the profile's own key in any case.
    EXPECT_TRUE(IProfile::localMachineProfile().containsApplication("sv.ini"));
    EXPECT_FALSE(IProfile::localMachineProfile().containsApplication("SV.IN"));
}

TEST_F(CursorTest, ContainsKey) {
    IProfile profile("SV.INI");
    write(profile, "AddedSQLQuerySamples", "Miscellaneous");
    raw().put(kLocalMachine, kProfile + "\\Miscellaneous\\Untyped");
    EXPECT_TRUE(profile.containsKey("AddedSQLQuerySamples", "Miscellaneous"));
    EXPECT_TRUE(profile.containsKey("addedsqlquerysamples", "MISCELLANEOUS"));
    EXPECT_FALSE(profile.containsKey("Added", "Miscellaneous"));
    EXPECT_FALSE(profile.containsKey("Untyped", "Miscellaneous"));
    EXPECT_FALSE(profile.containsKey("AddedSQLQuerySamples", "Missing"));
    EXPECT_FALSE(profile.containsKey(nullptr, "Miscellaneous"));
    EXPECT_FALSE(profile.containsKey("AddedSQLQuerySamples"));  // empty default
    EXPECT_FALSE(raw().exists(kLocalMachine, kProfile + "\\Missing"));
    profile.setDefaultApplication("miscellaneous");
    EXPECT_TRUE(profile.containsKey("AddedSQLQuerySamples"));
}

TEST_F(CursorTest, Counts) {
    IProfile profile("SV.INI");
    EXPECT_EQ(profile.numberOfApplications(), 0u);
    write(profile, "A", "One");
    write(profile, "A", "Two");
    write(profile, "B", "Two");
    EXPECT_EQ(profile.numberOfApplications(), 2u);
    EXPECT_EQ(profile.numberOfKeys("Two"), 2u);
    EXPECT_EQ(profile.numberOfKeys("None"), 0u);
    expectParameterError(raised([&] { profile.numberOfKeys(); }),
                         "IProfile::numberOfKeys(const char*) const", 1148);
    profile.setDefaultApplication("One");
    EXPECT_EQ(profile.numberOfKeys(), 1u);
}

TEST_F(CursorTest, DeleteElementWithApplication) {
    IProfile profile("SV.INI");
    for (const char* k : {"A", "B", "C"}) write(profile, k, "Whole");
    write(profile, "A", "Kept");
    raw().put(kLocalMachine, kProfile + "\\Partly\\Untyped");
    write(profile, "A", "Partly");

    EXPECT_EQ(&profile.deleteElementWithApplication("Whole"), &profile);
    EXPECT_FALSE(raw().exists(kLocalMachine, kProfile + "\\Whole"));
    profile.deleteElementWithApplication("Partly");
    EXPECT_EQ(raw().subkeys(kLocalMachine, kProfile + "\\Partly"),
              std::vector<std::string>{"Untyped"});
    profile.deleteElementWithApplication("Missing");  // no error, nothing made
    EXPECT_FALSE(raw().exists(kLocalMachine, kProfile + "\\Missing"));
    EXPECT_TRUE(profile.containsKey("A", "Kept"));

    expectParameterError(raised([&] { profile.deleteElementWithApplication(); }),
                         "IProfile::deleteElementWithApplication(const char*)", 1036);
    profile.setDefaultApplication("Kept");
    profile.deleteElementWithApplication();
    EXPECT_FALSE(profile.containsApplication("Kept"));
}

TEST_F(CursorTest, RemoveProfileWithoutHiveWord) {
    {
        IProfile profile("SV.INI");
        write(profile, "A", "One");
        write(profile, "B", "Two");
    }
    IProfile::removeProfile("SV.INI");
    EXPECT_FALSE(raw().exists(kLocalMachine, kProfile));
    EXPECT_TRUE(raw().exists(kLocalMachine, "Software"));
    // A missing profile is made and removed again.
    IProfile::removeProfile("Never.INI");
    EXPECT_FALSE(raw().exists(kLocalMachine, "Software\\Never.INI"));
    expectParameterError(raised([] { IProfile::removeProfile(nullptr); }),
                         "IProfile::IProfile(const char*)", 471);
}

TEST_F(CursorTest, RemoveProfileWithHiveWordEmptiesItsKey) {
    IProfile profile("HKEY_CURRENT_USER\\Software\\Suite");
    write(profile, "A", "One");
    raw().put(kCurrentUser, "Software\\Suite\\Two\\Untyped");
    IProfile::removeProfile("HKEY_CURRENT_USER\\Software\\Suite");
    EXPECT_EQ(raw().subkeys(kCurrentUser, "Software\\Suite"), std::vector<std::string>{"Two"});
}

TEST_F(CursorTest, RemoveProfileNeverEmptiesTheSoftwareKeys) {
    IProfile suite("SV.INI");
    write(suite, "A");
    IProfile machine = IProfile::localMachineProfile();
    machine.addOrReplaceElementWithKey("Typed", IString("v"), "Vendor");
    IProfile user = IProfile::currentUserProfile();
    user.addOrReplaceElementWithKey("Typed", IString("v"), "Vendor");
    // Every spelling that the store resolves to one of the Software keys, or
    // to the root of their hive (whose profile holds Software).
    struct Case {
        const char* name;
        const char* reaches;  // an application the name's profile holds
    } cases[] = {
        {"HKEY_LOCAL_MACHINE\\Software", "Vendor"},   {"HKEY_CURRENT_USER\\Software", "Vendor"},
        {"HKEY_LOCAL_MACHINE\\Software", "Vendor"},   {"", "Vendor"},
        {"HKEY_LOCAL_MACHINE\\\\Software", "Vendor"}, {"HKEY_CURRENT_USER\\\\Software", "Vendor"},
        {"HKEY_LOCAL_MACHINE\\\\SOFTWARE", "Vendor"}, {"HKEY_LOCAL_MACHINE\\SOFTWARE", "Vendor"},
        {"HKEY_CURRENT_USER\\software", "Vendor"},    {"HKEY_LOCAL_MACHINE\\Software\\", "Vendor"},
        {"HKEY_CURRENT_USER\\Software\\", "Vendor"},  {"HKEY_LOCAL_MACHINE\\\\", "Software"},
        {"HKEY_CURRENT_USER\\\\", "Software"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("\"") + c.name + "\"");
        // The name does reach the protected key.
        EXPECT_TRUE(IProfile(c.name).containsApplication(c.reaches));
        IProfile::removeProfile(c.name);
        EXPECT_TRUE(machine.containsKey("Typed", "Vendor"));
        EXPECT_TRUE(user.containsKey("Typed", "Vendor"));
        EXPECT_TRUE(suite.containsKey("A", "App"));
    }
    // Names that only look alike reach other keys and are removed as usual.
    IProfile other("HKEY_LOCAL_MACHINE\\Software\\\\");
    write(other, "B");
    IProfile::removeProfile("HKEY_LOCAL_MACHINE\\Software\\\\");
    EXPECT_FALSE(other.containsApplication("App"));
    EXPECT_TRUE(machine.containsKey("Typed", "Vendor"));
}

}  // namespace
