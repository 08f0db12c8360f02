// Registry failures: the reports they raise, that a write refused half-way
// leaves the store as it was, and that no key handle below a profile's key stays
// open after any operation, whether it succeeds or fails.
#include "platform/error_text.hpp"
#include "profile/profile_fault_test_support.hpp"

namespace {

using namespace profiletest;
using vrk::reg::CountingRegistry;
using vrk::reg::Key;
using vrk::reg::kLocalMachine;
using vrk::reg::RegCall;

using FailureTest = FaultyStoreTest;

TEST_F(FailureTest, MissingKeyReport) {
    IProfile profile("SV.INI");
    profile.addOrReplaceElementWithKey("Present", IString("x"), "App");
    auto r = raised([&] { profile.elementWithKey("Absent", "App"); });
    ASSERT_TRUE(r);
    EXPECT_EQ(r->name, "IAccessError");
    EXPECT_EQ(r->text, "RegOpenKey:No error text is available.");
    EXPECT_EQ(r->group, "Presentation System");
    EXPECT_EQ(r->errorId, 2u);
    EXPECT_TRUE(r->recoverable);
    EXPECT_EQ(r->file, "iprofile");
    EXPECT_EQ(r->function, "IProfile::elementWithKey(const char*,const char*) const");
    EXPECT_EQ(r->line, 762u);
}

TEST_F(FailureTest, ConstructorRefusedCreateOrOpen) {
    faults_->failCall(RegCall::createKeyEx, 1, vrk::reg::kAccessDenied);
    auto r = raised([] { IProfile::localMachineProfile(); });
    expectAccessError(r, "RegCreateKeyEx", "IRegOpenKey(HKEY,const char*)", 117);
    EXPECT_EQ(r->errorId, static_cast<unsigned long>(vrk::reg::kAccessDenied));

    // The second level of a two-level path.
    faults_->failCall(RegCall::createKeyEx, 2, vrk::reg::kAccessDenied);
    r = raised([] { IProfile("HKEY_USERS\\X\\Y"); });
    expectAccessError(r, "RegCreateKeyEx", "IRegOpenKey(HKEY,const char*)", 117);
}

TEST_F(FailureTest, ABatchTheStoreWillNotBeginLeavesTheCallsOnTheirOwn) {
    IProfile profile("SV.INI");
    faults_->failCall(RegCall::beginBatch, 1, kInjected);
    profile.addOrReplaceElementWithKey("K", IString("v"), "App");
    EXPECT_EQ(stringOf(profile.elementWithKey("K", "App")), "v");
    EXPECT_EQ(faults_->calls(RegCall::commitBatch), 0u);
    EXPECT_EQ(faults_->calls(RegCall::rollbackBatch), 0u);
}

// What a write interrupted elsewhere (another program, a store without
// batches) can leave, and how it reads.
TEST_F(FailureTest, ReadingHalfWrittenElements) {
    IProfile profile("SV.INI");
    raw().put(kLocalMachine, kApp + "\\S", "DataType", vrk::reg::kRegSz, "String");
    expectAccessError(raised([&] { profile.elementWithKey("S", "App"); }), "RegQueryValueEx",
                      "IRegGetString(HKEY)", 237);

    raw().put(kLocalMachine, kApp + "\\N", "DataType", vrk::reg::kRegSz, "Integer");
    expectAccessError(raised([&] { profile.integerWithKey("N", "App"); }), "RegQueryValueEx",
                      "IRegGetInteger(HKEY)", 289);

    // A binary element with missing later chunks reads as its leading chunks.
    std::string big(40000, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i % 251);
    profile.addOrReplaceElementWithKey("B", bytesOf(big), "App");
    Key bKey{};
    ASSERT_EQ(
        store().openKeyEx(kLocalMachine, (kApp + "\\B").c_str(), vrk::reg::kKeyReadWrite, &bKey),
        vrk::reg::kSuccess);
    ASSERT_EQ(store().deleteValue(bKey, "1"), vrk::reg::kSuccess);
    store().closeKey(bKey);
    EXPECT_EQ(stringOf(profile.elementWithKey("B", "App")), big.substr(0, 16000));
}

TEST_F(FailureTest, ReadFailuresOfValues) {
    IProfile profile("SV.INI");
    profile.addOrReplaceElementWithKey("S", IString("abc"), "App");
    profile.addOrReplaceElementWithKey("N", 5L, "App");
    // The type is read first; the next query is the value's.
    faults_->failCall(RegCall::queryValueEx, 2, kInjected);
    auto r = raised([&] { profile.elementWithKey("S", "App"); });
    expectAccessError(r, "RegQueryValueEx", "IRegGetString(HKEY)", 237);
    EXPECT_EQ(r->errorId, static_cast<unsigned long>(kInjected));
    faults_->failCall(RegCall::queryValueEx, 2, kInjected);
    expectAccessError(raised([&] { profile.integerWithKey("N", "App"); }), "RegQueryValueEx",
                      "IRegGetInteger(HKEY)", 289);
    // A failing type read is a missing type.
    faults_->failCall(RegCall::queryValueEx, 1, kInjected);
    expectAccessError(raised([&] { profile.elementWithKey("S", "App"); }), "RegQueryKey",
                      "IProfile::elementWithKey(const char*,const char*) const", 777);
}

TEST_F(FailureTest, EnumerationStopsAtFirstFailure) {
    IProfile profile("SV.INI");
    for (const char* k : {"A", "B", "C"})
        profile.addOrReplaceElementWithKey(k, IString("v"), "App");
    faults_->failCall(RegCall::enumKey, 3, vrk::reg::kMoreData);
    IProfile::Cursor keys(profile, "App");
    EXPECT_EQ(walk(profile, keys), (std::vector<std::string>{"A", "B"}));
}

// A store that explains its failures, as our SQLite store does (the file,
// how long it stayed busy and who held it).
class ExplainingFaults : public vrk::reg::FaultInjectingRegistry {
public:
    using FaultInjectingRegistry::FaultInjectingRegistry;
    const char* lastFailureDetail() const override { return detail.c_str(); }
    std::string detail;
};

std::string systemText(unsigned long error) {
    char text[256];
    return vrk::platform::systemErrorMessage(error, text, sizeof text) ? text : "";
}

// What the store says about a failure is the report's second text, after
// the call's; a missing key or a missing type are answers, not failures, and
// carry nothing more.
TEST_F(FailureTest, AStoreFailureCarriesTheStoresReason) {
    ExplainingFaults explaining(store());
    explaining.detail = "/store/registry.db: the store stayed busy for 30.0 s";
    install(explaining);
    IProfile profile("SV.INI");
    profile.addOrReplaceElementWithKey("S", IString("abc"), "App");

    explaining.failCall(RegCall::setValueEx, 1, kInjected);
    auto r = raised([&] { profile.addOrReplaceElementWithKey("T", IString("new"), "App"); });
    expectAccessError(r, "RegSetValueEx", "IRegWriteString(HKEY,IString)", 362);
    EXPECT_EQ(r->errorId, static_cast<unsigned long>(kInjected));
    EXPECT_EQ(r->reason, "Error 1016: " + systemText(1016) + " (" + explaining.detail + ")");
    explaining.clearFaults();

    explaining.failCall(RegCall::queryValueEx, 2, vrk::reg::kBadDb);
    r = raised([&] { profile.elementWithKey("S", "App"); });
    expectAccessError(r, "RegQueryValueEx", "IRegGetString(HKEY)", 237);
    EXPECT_EQ(r->reason, "Error 1009: " + systemText(1009) + " (" + explaining.detail + ")");

    r = raised([&] { profile.elementWithKey("Absent", "App"); });
    expectAccessError(r, "RegOpenKey", "IProfile::elementWithKey(const char*,const char*) const",
                      762);
    EXPECT_EQ(r->reason, "");
}

// A listing that a failure of the store cuts short is not taken for the
// whole list: the cursor raises, naming the call, with the store's reason
// (a corrupt store must not look like a profile without the application).
TEST_F(FailureTest, AStoreFailureDuringAListingIsRaised) {
    IProfile profile("SV.INI");
    for (const char* k : {"A", "B", "C"})
        profile.addOrReplaceElementWithKey(k, IString("v"), "App");
    const struct {
        RegCall call;
        unsigned nth;
        bool keys;
        const char* callName;
        const char* function;
        unsigned long line;
    } cases[] = {
        {RegCall::enumKey, 2, true, "RegEnumKey",
         "IProfile::Cursor::Cursor(const IProfile&,const char*)", 1290},
        {RegCall::openKeyEx, 1, true, "RegOpenKeyEx",
         "IProfile::Cursor::Cursor(const IProfile&,const char*)", 1290},
        {RegCall::enumKey, 1, false, "RegEnumKey", "IProfile::Cursor::Cursor(const IProfile&)",
         1282},
    };
    for (const auto& c : cases) {
        faults_->failCall(c.call, c.nth, vrk::reg::kBadDb);
        auto r = raised([&] {
            if (c.keys) {
                IProfile::Cursor keys(profile, "App");
            } else {
                IProfile::Cursor applications(profile);
            }
        });
        expectAccessError(r, c.callName, c.function, c.line);
        EXPECT_EQ(r->errorId, static_cast<unsigned long>(vrk::reg::kBadDb));
        EXPECT_EQ(r->reason.rfind("Error 1009: ", 0), 0u) << r->reason;
        faults_->clearFaults();
    }
    faults_->failCall(RegCall::enumKey, 1, vrk::reg::kBadDb);
    auto r = raised([] { (void)IProfile::localMachineProfile().containsApplication("SV.INI"); });
    ASSERT_TRUE(r);
    EXPECT_EQ(r->errorId, static_cast<unsigned long>(vrk::reg::kBadDb));
}

// Removes the application "App" of the profile "SV.INI" just before a key
// "K" is created in it, as a second writer does that has just deleted what
// was the application's last key at that moment.
class RemovingApplicationRegistry : public vrk::reg::ForwardingRegistry {
public:
    using ForwardingRegistry::ForwardingRegistry;
    long createKeyEx(Key parent, const char* subKey, std::uint32_t options, std::uint32_t access,
                     Key* result, std::uint32_t* disposition) override {
        if (removals > 0 && std::string(subKey) == "K") {
            --removals;
            Key profile{};
            target().createKeyEx(kLocalMachine, "Software\\SV.INI", 0, vrk::reg::kKeyReadWrite,
                                 &profile, nullptr);
            if (target().deleteKey(profile, "App") == vrk::reg::kSuccess) ++removed;
            target().closeKey(profile);
        }
        return ForwardingRegistry::createKeyEx(parent, subKey, options, access, result,
                                               disposition);
    }
    int removals = 0;
    int removed = 0;
};

TEST_F(FailureTest, WriteSurvivesConcurrentRemovalOfItsApplication) {
    RemovingApplicationRegistry racing(store());
    CountingRegistry counting(racing);
    install(counting);
    IProfile profile("SV.INI");
    racing.removals = 1;
    profile.addOrReplaceElementWithKey("K", IString("v"), "App");
    EXPECT_EQ(racing.removed, 1);
    EXPECT_EQ(stringOf(profile.elementWithKey("K", "App")), "v");
    EXPECT_EQ(counting.openHandles(), 1u);

    // A store that keeps removing it: the write gives up after a few tries.
    profile.deleteElementWithKey("K", "App");
    racing.removals = 1000;
    auto r = raised([&] { profile.addOrReplaceElementWithKey("K", 1L, "App"); });
    expectAccessError(r, "RegCreateKeyEx", "IRegOpenKey(HKEY,const char*)", 117);
    EXPECT_EQ(r->errorId, static_cast<unsigned long>(vrk::reg::kKeyDeleted));
    EXPECT_LT(racing.removed, 20);
    EXPECT_EQ(counting.openHandles(), 1u);
}

// Every handle opened below the profile's key is closed when an operation
// returns; the profile's own key is the only one left open per object.
class HandleTest : public FaultyStoreTest {
protected:
    void SetUp() override {
        FaultyStoreTest::SetUp();
        counting_ = std::make_unique<CountingRegistry>(*faults_);
        install(*counting_);
    }
    // Freed with the fixture, before the wrapper it counts the calls to.
    std::unique_ptr<CountingRegistry> counting_;
};

TEST_F(HandleTest, OnlyTheProfileKeyStaysOpen) {
    {
        IProfile profile("HKEY_USERS\\X\\Y\\Z");
        EXPECT_EQ(counting_->openHandles(), 1u);
        profile.setDefaultApplication("App");
        raw().put(vrk::reg::kUsers, "X\\Y/_Z\\App\\Untyped");
        const std::string big(20000, '\t');
        struct Step {
            const char* label;
            std::function<void()> run;
        } steps[] = {
            {"write string", [&] { profile.addOrReplaceElementWithKey("S", IString("abc")); }},
            {"replace string", [&] { profile.addOrReplaceElementWithKey("S", IString("def")); }},
            {"write binary", [&] { profile.addOrReplaceElementWithKey("B", bytesOf(big)); }},
            {"write integer", [&] { profile.addOrReplaceElementWithKey("N", 4L); }},
            {"read string", [&] { profile.elementWithKey("S"); }},
            {"read binary", [&] { profile.elementWithKey("B"); }},
            {"read integer", [&] { profile.integerWithKey("N"); }},
            {"count keys", [&] { profile.numberOfKeys(); }},
            {"count applications", [&] { profile.numberOfApplications(); }},
            {"contains application", [&] { profile.containsApplication("app"); }},
            {"contains key", [&] { profile.containsKey("s"); }},
            {"cursor",
             [&] {
                 IProfile::Cursor c(profile, "App");
                 walk(profile, c);
             }},
            {"delete key", [&] { profile.deleteElementWithKey("S"); }},
            {"delete application", [&] { profile.deleteElementWithApplication(); }},
            {"copy", [&] { IProfile copy(profile); }},
            {"assign",
             [&] {
                 IProfile other("Other.INI");
                 other = profile;
             }},
            {"remove profile", [] { IProfile::removeProfile("Removed.INI"); }},
            {"local machine", [] { IProfile::localMachineProfile().containsApplication("x"); }},
        };
        for (const Step& s : steps) {
            SCOPED_TRACE(s.label);
            s.run();
            EXPECT_EQ(counting_->openHandles(), 1u);
        }
    }
    EXPECT_EQ(counting_->openHandles(), 0u);
}

TEST_F(HandleTest, FailuresCloseWhatTheyOpened) {
    IProfile profile("SV.INI");
    profile.addOrReplaceElementWithKey("S", IString("abc"), "App");
    raw().put(kLocalMachine, kApp + "\\Untyped");
    const std::string big(40000, '\n');
    struct Step {
        const char* label;
        RegCall call;
        unsigned nth;  // 0: no fault
        std::function<void()> run;
    } steps[] = {
        {"missing application", RegCall::createKeyEx, 0,
         [&] { profile.elementWithKey("S", "None"); }},
        {"missing key", RegCall::createKeyEx, 0, [&] { profile.elementWithKey("X", "App"); }},
        {"no type", RegCall::createKeyEx, 0, [&] { profile.elementWithKey("Untyped", "App"); }},
        {"wrong type", RegCall::createKeyEx, 0, [&] { profile.integerWithKey("S", "App"); }},
        {"value read", RegCall::queryValueEx, 2, [&] { profile.elementWithKey("S", "App"); }},
        {"DataType write", RegCall::setValueEx, 1,
         [&] { profile.addOrReplaceElementWithKey("W", IString("v"), "App"); }},
        {"data write", RegCall::setValueEx, 2,
         [&] { profile.addOrReplaceElementWithKey("W", IString("v"), "App"); }},
        {"chunk write", RegCall::setValueEx, 3,
         [&] { profile.addOrReplaceElementWithKey("W", bytesOf(big), "App"); }},
        {"value key create", RegCall::createKeyEx, 2,
         [&] { profile.addOrReplaceElementWithKey("W", IString("v"), "App"); }},
        {"profile key in cursor", RegCall::createKeyEx, 2,
         [&] { IProfile::Cursor c(profile, "App"); }},
        {"application open in cursor", RegCall::createKeyEx, 3,
         [&] { IProfile::Cursor c(profile, "App"); }},
        {"entry open in cursor", RegCall::createKeyEx, 4,
         [&] { IProfile::Cursor c(profile, "App"); }},
        {"constructor second level", RegCall::createKeyEx, 2,
         [] { IProfile p("HKEY_USERS\\X\\Y"); }},
        {"delete missing application", RegCall::createKeyEx, 0,
         [&] { profile.deleteElementWithKey("S", "None"); }},
        {"parameter check", RegCall::createKeyEx, 0,
         [&] { profile.elementWithKey(nullptr, "App"); }},
        {"invalid cursor", RegCall::createKeyEx, 0,
         [&] {
             IProfile::Cursor c(profile, "None");
             profile.applicationOrKeyAt(c);
         }},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.label);
        if (s.nth != 0) faults_->failCall(s.call, s.nth, kInjected);
        EXPECT_THROW(s.run(), IException);
        faults_->clearFaults();
        EXPECT_EQ(counting_->openHandles(), 1u);
    }
}

}  // namespace
