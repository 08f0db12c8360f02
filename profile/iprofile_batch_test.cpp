// Writes refused half-way on a store with batches (the SQLite store): the
// replace is one change of the store, so the element stays as it was.
#include "profile/profile_fault_test_support.hpp"

namespace {

using namespace profiletest;
using vrk::reg::kLocalMachine;
using vrk::reg::RegCall;

using BatchFailureTest = FaultyStoreTest;


// Each row makes one registry call of a write fail. The replace is one
// change of the store: a refused write leaves the element as it was, and a
// first write leaves nothing behind, not even its application.
TEST_F(BatchFailureTest, WriteRefusedHalfWayLeavesTheElementAsItWas) {
    const std::string big(16001, '\n');
    struct Case {
        const char* label;
        std::function<void(IProfile&)> write;
        unsigned failingSet;  // which setValueEx call of the write fails
        const char* function;
        unsigned long line;
    } cases[] = {
        {"string DataType",
         [](IProfile& p) { p.addOrReplaceElementWithKey("K", IString("abc"), "App"); }, 1,
         "IRegWriteString(HKEY,IString)", 362},
        {"string Data",
         [](IProfile& p) { p.addOrReplaceElementWithKey("K", IString("abc"), "App"); }, 2,
         "IRegWriteString(HKEY,IString)", 366},
        {"integer DataType", [](IProfile& p) { p.addOrReplaceElementWithKey("K", 9L, "App"); }, 1,
         "IRegWriteInteger(HKEY,long)", 396},
        {"integer Data", [](IProfile& p) { p.addOrReplaceElementWithKey("K", 9L, "App"); }, 2,
         "IRegWriteInteger(HKEY,long)", 401},
        {"binary DataType",
         [&](IProfile& p) { p.addOrReplaceElementWithKey("K", bytesOf(big), "App"); }, 1,
         "IRegWriteBinary(HKEY,IString)", 428},
        {"binary first chunk",
         [&](IProfile& p) { p.addOrReplaceElementWithKey("K", bytesOf(big), "App"); }, 2,
         "IRegWriteBinary(HKEY,IString)", 458},
        {"binary second chunk",
         [&](IProfile& p) { p.addOrReplaceElementWithKey("K", bytesOf(big), "App"); }, 3,
         "IRegWriteBinary(HKEY,IString)", 458},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        IProfile profile("SV.INI");
        // Replacing an element that exists: the old one stays, whole.
        profile.addOrReplaceElementWithKey("K", IString("old value"), "App");
        faults_->failCall(RegCall::setValueEx, c.failingSet, kInjected);
        auto r = raised([&] { c.write(profile); });
        expectAccessError(r, "RegSetValueEx", c.function, c.line);
        EXPECT_EQ(r->errorId, static_cast<unsigned long>(kInjected));
        faults_->clearFaults();
        EXPECT_EQ(stringOf(profile.elementWithKey("K", "App")), "old value");
        EXPECT_EQ(raw().valueNames(kLocalMachine, kApp + "\\K"),
                  (std::vector<std::string>{"Data", "DataType"}));

        // A first write of the key: nothing of it stays.
        profile.deleteElementWithKey("K", "App");
        faults_->failCall(RegCall::setValueEx, c.failingSet, kInjected);
        EXPECT_TRUE(raised([&] { c.write(profile); }));
        faults_->clearFaults();
        EXPECT_FALSE(raw().exists(kLocalMachine, kApp));
    }
}

TEST_F(BatchFailureTest, RefusedCommitLeavesNothingAndIsReported) {
    IProfile profile("SV.INI");
    profile.addOrReplaceElementWithKey("K", IString("old"), "App");
    faults_->failCall(RegCall::commitBatch, 1, kInjected);
    auto r = raised([&] { profile.addOrReplaceElementWithKey("K", IString("new"), "App"); });
    expectAccessError(
        r, "RegFlushKey",
        "IProfile::addOrReplaceElementWithKey(const char*,const IString&,const char*)", 931);
    EXPECT_EQ(r->errorId, static_cast<unsigned long>(kInjected));
    EXPECT_EQ(stringOf(profile.elementWithKey("K", "App")), "old");

    faults_->failCall(RegCall::commitBatch, 1, kInjected);
    r = raised([&] { profile.addOrReplaceElementWithKey("N", 7L, "App"); });
    expectAccessError(r, "RegFlushKey",
                      "IProfile::addOrReplaceElementWithKey(const char*,long,const char*)", 970);
    EXPECT_FALSE(profile.containsKey("N", "App"));
}

}  // namespace
