// The step operations in-process: the change test, empty values, refused
// writes and reads through the fault-injecting registry, and key handles.
#include <algorithm>

#include "diag/iexc.hpp"
#include "tool/vrkini/steps.hpp"
#include "tool/vrkini/steps_test_support.hpp"

namespace vrk::test {
namespace {

using vrk::reg::RegCall;

const char* const kScopeEnd = "-addOrReplace(const IString&,const IString&,const IString&)";

using Steps = StepsTest;

TEST_F(Steps, NeedsReplacement) {
    put("App", "Filled", "x");
    put("App", "Empty", "");
    IProfile prof("SV.INI");
    static const struct {
        const char* application;
        const char* key;
        const char* oldValue;
        const char* newValue;
        int answer;
    } cases[] = {
        {"App", "Filled", "x", "x", 0},
        {"App", "Filled", "x", "X", 1},
        {"App", "Filled", "x", "x ", 1},
        {"App", "Filled", "", "x", 1},
        {"App", "Filled", "x", "", 1},
        {"App", "Empty", "", "", 0},
        {"App", "Absent", "", "", 1},
        {"NoSuchApp", "Absent", "", "", 1},
        // Equal non-empty values are never written, present or not.
        {"NoSuchApp", "Absent", "y", "y", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(needsReplacement(prof, c.application, c.key, c.oldValue, c.newValue), c.answer)
            << c.application << "\\" << c.key << " [" << c.oldValue << "] [" << c.newValue << "]";
}

TEST_F(Steps, EmptyValueIsWrittenOnlyWhenTheEntryIsAbsent) {
    put("App", "Empty", "");
    startCapture();
    EXPECT_EQ(addOrReplace("App", "Empty", ""), 0);
    EXPECT_EQ(addOrReplace("App", "Absent", ""), 1);
    const std::vector<std::string> out = stopCapture();
    EXPECT_TRUE(
        hasLineStartingWith(out, "appName=App keyName=Empty already has the correct value."));
    const auto changed =
        std::find(out.begin(), out.end(), "appName=App keyName=Absent was changed:");
    ASSERT_NE(changed, out.end());
    ASSERT_LE(changed + 3, out.end());
    EXPECT_EQ(changed[1], "  from \"\"");
    EXPECT_EQ(changed[2], "  to \"\"");
    EXPECT_TRUE(has("App", "Absent"));
    EXPECT_EQ(get("App", "Absent"), "");
}

TEST_F(Steps, RefusedOptionWriteIsReportedAndRepairedByTheNextRun) {
    put("CobolPopulate", "CompilerSelectedOptions", "NOC");
    put("CobolPopulate", "LastProgram", "PAYROLL");
    faults_->failCall(RegCall::setValueEx, 1, vrk::reg::kAccessDenied, true);
    startCapture();
    const int result = addOrReplace("CobolPopulate", "CompilerSelectedOptions", "NOC NOEXIT ADATA");
    const std::vector<std::string> out = stopCapture();
    EXPECT_EQ(result, 0);
    // No change report, and the trace ends with the step's own verdict.
    EXPECT_FALSE(hasLineStartingWith(out, "appName="));
    EXPECT_FALSE(hasLineStartingWith(out, "  >appName="));
    ASSERT_GE(out.size(), 2u);
    EXPECT_EQ(out[out.size() - 2], "  >No Selvarine profile was found");
    EXPECT_EQ(out.back(), kScopeEnd);
    EXPECT_TRUE(hasLineStartingWith(out, "    >      RegSetValueEx:") ||
                hasLineStartingWith(out, "  >      RegSetValueEx:"));
    EXPECT_EQ(get("CobolPopulate", "LastProgram"), "PAYROLL");
    // The refused replace left the old value whole where the store makes it
    // one change; the Windows registry has already removed the old value.
    if (vrk::reg::platformRegistryHasBatches())
        EXPECT_EQ(get("CobolPopulate", "CompilerSelectedOptions"), "NOC");
    else
        EXPECT_FALSE(has("CobolPopulate", "CompilerSelectedOptions"));

    faults_->clearFaults();
    startCapture();
    EXPECT_EQ(addOrReplace("CobolPopulate", "CompilerSelectedOptions", "NOC NOEXIT ADATA"), 1);
    const std::vector<std::string> again = stopCapture();
    EXPECT_TRUE(hasLineStartingWith(
        again, "appName=CobolPopulate keyName=CompilerSelectedOptions was changed:"));
    EXPECT_EQ(get("CobolPopulate", "CompilerSelectedOptions"), "NOC NOEXIT ADATA");
}

TEST_F(Steps, RefusedDirectoryWriteIsReportedAndRepairedByTheNextRun) {
    put("WorkStation", "QueryReport", "C:\\GONE\n");
    faults_->failCall(RegCall::setValueEx, 1, vrk::reg::kAccessDenied, true);
    startCapture();
    const int result = validateDirectory("WorkStation", "QueryReport");
    const std::vector<std::string> out = stopCapture();
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(hasLineStartingWith(out, "appName="));
    EXPECT_FALSE(hasLineStartingWith(out, ">appName="));
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out.back(), ">No Selvarine profile was found");
    if (vrk::reg::platformRegistryHasBatches())
        EXPECT_EQ(get("WorkStation", "QueryReport"), "C:\\GONE\n");
    else
        EXPECT_FALSE(has("WorkStation", "QueryReport"));  // removed before the refused write

    faults_->clearFaults();
    startCapture();
    EXPECT_EQ(validateDirectory("WorkStation", "QueryReport"), 1);
    stopCapture();
    const std::string value = get("WorkStation", "QueryReport");
    EXPECT_EQ(value.substr(0, 4), ".\n.\n");
    startCapture();
    EXPECT_EQ(validateDirectory("WorkStation", "QueryReport"), 0);
    stopCapture();
    EXPECT_EQ(get("WorkStation", "QueryReport"), value);
}

TEST_F(Steps, RefusedOpenOfTheProfileWritesNothing) {
    put("CobolPopulate", "CompilerSelectedOptions", "NOC");
    // Every create-or-open is refused: the existence test cannot even open
    // the local-machine profile.
    faults_->failCall(RegCall::createKeyEx, 1, vrk::reg::kAccessDenied, true);
    const unsigned writesBefore = faults_->calls(RegCall::setValueEx);
    startCapture();
    EXPECT_EQ(addOrReplace("CobolPopulate", "CompilerSelectedOptions", "NOC NOEXIT ADATA"), 0);
    EXPECT_EQ(validateDirectory("WorkStation", "QueryReport"), 0);
    EXPECT_EQ(removeCannedQueries("C:\\SV"), 0);
    deleteProfile();
    const std::vector<std::string> out = stopCapture();
    EXPECT_EQ(faults_->calls(RegCall::setValueEx), writesBefore);
    EXPECT_EQ(std::count(out.begin(), out.end(), "  >No Selvarine profile was found"), 2);
    EXPECT_EQ(std::count(out.begin(), out.end(), ">No Selvarine profile was found"), 1);
    EXPECT_FALSE(hasLineStartingWith(out, "appName="));
    faults_->clearFaults();
    EXPECT_EQ(get("CobolPopulate", "CompilerSelectedOptions"), "NOC");
}

TEST_F(Steps, UnreadableQueryEndsTheRemoval) {
    put("SQLQueryFolder", "A", "C:\\SV\\SAMPLES\\QUERY\\VRKQD2CD.QRY");
    put("SQLQueryFolder", "B", "C:\\SV\\SAMPLES\\QUERY\\VRKQD2CN.QRY");
    put("SQLQueryFolder", "C", "C:\\SV\\SAMPLES\\QUERY\\VRKQD2DC.QRY");
    put("Miscellaneous", "AddedSQLQuerySamples", "Yes");
    // Every value read is refused once the first query is gone: the walk
    // stops at the second query.
    class FailAfterFirstDelete : public vrk::reg::ForwardingRegistry {
    public:
        using ForwardingRegistry::ForwardingRegistry;
        long deleteKey(vrk::reg::Key key, const char* subKey) override {
            deleted = true;
            return ForwardingRegistry::deleteKey(key, subKey);
        }
        long queryValueEx(vrk::reg::Key key, const char* name, std::uint32_t* type,
                          unsigned char* data, std::uint32_t* size) override {
            if (deleted) return vrk::reg::kRegistryIoFailed;
            return ForwardingRegistry::queryValueEx(key, name, type, data, size);
        }
        bool deleted = false;
    } failing(*store_);
    vrk::reg::setRegistry(&failing);
    startCapture();
    EXPECT_EQ(removeCannedQueries("C:\\SV"), 0);
    const std::vector<std::string> out = stopCapture();
    vrk::reg::setRegistry(faults_.get());
    EXPECT_TRUE(std::find(out.begin(), out.end(),
                          "  >Found a query that should be deleted: queryName=A "
                          "queryFile=C:\\SV\\SAMPLES\\QUERY\\VRKQD2CD.QRY ") != out.end());
    ASSERT_GE(out.size(), 2u);
    EXPECT_EQ(out[out.size() - 2], "  >No Selvarine profile was found");
    EXPECT_EQ(out.back(), "-removeCannedQueries(const IString&)");
    EXPECT_FALSE(hasLineStartingWith(out, "  >Need to delete ticky mark"));
    EXPECT_FALSE(has("SQLQueryFolder", "A"));
    EXPECT_TRUE(has("SQLQueryFolder", "B"));
    EXPECT_TRUE(has("SQLQueryFolder", "C"));
    EXPECT_TRUE(has("Miscellaneous", "AddedSQLQuerySamples"));
}

TEST_F(Steps, DirectoryThatLostCharactersMatchesNoQuery) {
    // "C:\????" is how a directory such as "C:\Фффф" reads on a code page
    // without Cyrillic letters; another directory given as "C:\Жжжж" reads
    // the same and must not take its queries.
    put("SQLQueryFolder", "A", "C:\\????\\SAMPLES\\QUERY\\VRKQD2CD.QRY");
    put("Miscellaneous", "AddedSQLQuerySamples", "Yes");
    startCapture();
    EXPECT_EQ(removeCannedQueries("C:\\????", false), 0);
    const std::vector<std::string> out = stopCapture();
    EXPECT_TRUE(has("SQLQueryFolder", "A"));
    EXPECT_TRUE(has("Miscellaneous", "AddedSQLQuerySamples"));
    const std::vector<std::string> expected = {
        "+removeCannedQueries(const IString&)(124)",
        "  >The installation directory was given with characters that this system's code page "
        "lacks, so no query matches it: installDirectory=C:\\???? ",
        "  >The following query should NOT be deleted: queryName=A "
        "queryFile=C:\\????\\SAMPLES\\QUERY\\VRKQD2CD.QRY ",
        "  >No need to delete ticky mark",
        "-removeCannedQueries(const IString&)",
    };
    std::vector<std::string> traced;
    for (const std::string& line : out)
        if (line.find("profile()") == std::string::npos) traced.push_back(line);
    EXPECT_EQ(traced, expected);

    // The same directory given exactly takes the query.
    EXPECT_EQ(removeCannedQueries("C:\\????", true), 0);
    EXPECT_FALSE(has("SQLQueryFolder", "A"));
}

TEST_F(Steps, MissingProfileRaisesTheStateAssertionAndCreatesNothing) {
    try {
        (void)profile();
        FAIL() << "profile() returned without a profile";
    } catch (const IInvalidRequest& e) {
        EXPECT_EQ(e.errorId(), 1u);
        ASSERT_GE(e.numberOfLocations(), 1u);
        const ISourceLocation* where = e.locationWithIndex(e.numberOfLocations() - 1);
        ASSERT_NE(where, nullptr);
        EXPECT_STREQ(where->fileName(), "vrkini");
        EXPECT_STREQ(where->functionName(), "profile()");
        EXPECT_EQ(where->lineNumber(), 54u);
        EXPECT_STREQ(e.errorCodeGroup(), "Other Error Group");
    }
    EXPECT_FALSE(IProfile::localMachineProfile().containsApplication("SV.INI"));
}

TEST_F(Steps, ProfileIsFoundInAnyLetterCase) {
    IProfile("sv.ini").addOrReplaceElementWithKey("K", "v", "App");
    EXPECT_EQ(IString(profile().name()), IString("SV.INI"));
}

TEST_F(Steps, EveryStepClosesTheKeysItOpens) {
    put("CobolPopulate", "CompilerSelectedOptions", "NOC");
    put("WorkStation", "PopulateReport", "C:\\GONE\n");
    put("SQLQueryFolder", "A", "C:\\SV\\SAMPLES\\QUERY\\VRKQD2CD.QRY");
    put("SQLQueryFolder", "B", "D:\\MINE.QRY");
    put("Miscellaneous", "AddedSQLQuerySamples", "Yes");
    const std::size_t before = counting_->openHandles();
    startCapture();
    addOrReplace("CobolPopulate", "CompilerSelectedOptions", "NOC NOEXIT ADATA");
    EXPECT_EQ(counting_->openHandles(), before);
    addOrReplace("CobolPopulate", "Absent", "x");
    EXPECT_EQ(counting_->openHandles(), before);
    validateDirectory("WorkStation", "PopulateReport");
    EXPECT_EQ(counting_->openHandles(), before);
    validateDirectory("NoSuchApp", "Absent");
    EXPECT_EQ(counting_->openHandles(), before);
    removeCannedQueries("C:\\SV");
    EXPECT_EQ(counting_->openHandles(), before);
    deleteProfile();
    EXPECT_EQ(counting_->openHandles(), before);
    stopCapture();
}

}  // namespace
}  // namespace vrk::test
