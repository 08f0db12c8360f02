// The command line: verb forms, letter case, rejected verbs, missing and
// extra arguments; exit status 0 in every case.
#include <algorithm>

#include "tests/harness/vrkini_fixture.hpp"

namespace vrk::test {
namespace {

const std::string kUpdateStart = "+addOrReplace(const IString&,const IString&,const IString&)(92)";
const std::string kDeleteStart = "+deleteProfile()(60)";
const std::string kRejected = ">Parameter isn't -u[pdate]";

class Dispatch : public VrkiniTest {
protected:
    void SetUp() override {
        VrkiniTest::SetUp();
        if (HasFatalFailure()) return;
        importReg(ProfileReg()
                      .entry("CobolPopulate", "CompilerSelectedOptions", "NOC NOEXIT ADATA")
                      .entry("Miscellaneous", "AddedSQLQuerySamples", "Yes")
                      .text());
    }
    // The second trace line of a run: what the dispatcher chose.
    static std::string choice(const ProgramRun& run) {
        const std::vector<std::string> lines = splitLines(run.standardError);
        return lines.size() >= 2 ? lines[1] : "";
    }
};

TEST_F(Dispatch, VerbFormsInAnyLetterCase) {
    static const struct {
        const char* verb;
        bool update;
    } cases[] = {
        {"-u", true},       {"-U", true},     {"-up", true},     {"-UpD", true},
        {"-upda", true},    {"-UPDAT", true}, {"-UPDATE", true}, {"-update", true},
        {"-uPdAtE", true},  {"-d", false},    {"-D", false},     {"-de", false},
        {"-DEL", false},    {"-dele", false}, {"-DeLeT", false}, {"-DELETE", false},
        {"-delete", false},
    };
    for (const auto& c : cases) {
        const ProgramRun run = runVrkini({c.verb}, Trace::noPrefixStderr);
        EXPECT_EQ(run.exitStatus, 0) << c.verb;
        const std::vector<std::string> lines = splitLines(run.standardError);
        ASSERT_GE(lines.size(), 2u) << c.verb;
        EXPECT_EQ(lines[0], ">IApplication::current().argc()=2 ") << c.verb;
        EXPECT_EQ(lines[1], c.update ? kUpdateStart : kDeleteStart) << c.verb;
        if (c.update) {
            EXPECT_NE(run.standardOutput.find("already has the correct value."), std::string::npos)
                << c.verb;
            // Without an installation directory there is no query step.
            EXPECT_EQ(run.standardError.find("removeCannedQueries"), std::string::npos) << c.verb;
        } else {
            EXPECT_EQ(run.standardOutput, "") << c.verb;
        }
    }
}

TEST_F(Dispatch, RejectedVerbsTouchNothing) {
    static const char* const cases[] = {
        "",   "-",  "u",   "update", "UPDATE",   "-UPDATES", "-DELETED", "--u",
        "-x", "/u", "-U ", " -U",    "-UPDATEX", "-ud",      "d",        "-upd8",
    };
    const std::string before = profileListing();
    ASSERT_NE(before.find("CompilerSelectedOptions"), std::string::npos);
    for (const char* verb : cases) {
        const ProgramRun run = runVrkini({verb, "C:\\SELVARINE"}, Trace::noPrefixStderr);
        EXPECT_EQ(run.exitStatus, 0) << "[" << verb << "]";
        EXPECT_EQ(run.standardOutput, "") << "[" << verb << "]";
        EXPECT_EQ(splitLines(run.standardError),
                  (std::vector<std::string>{">IApplication::current().argc()=3 ", kRejected}))
            << "[" << verb << "]";
    }
    EXPECT_EQ(profileListing(), before);
}

TEST_F(Dispatch, NoArgument) {
    const ProgramRun run = runVrkini({}, Trace::noPrefixStderr);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.standardOutput, "");
    EXPECT_EQ(splitLines(run.standardError),
              (std::vector<std::string>{">IApplication::current().argc()=1 ",
                                        ">No parameters specified"}));
}

TEST_F(Dispatch, TracingOffMeansSilence) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, std::vector<std::string>{"-x"},
          std::vector<std::string>{"-DELETE"}}) {
        const ProgramRun run = runVrkini(args);
        EXPECT_EQ(run.exitStatus, 0);
        EXPECT_EQ(run.standardOutput, "");
        EXPECT_EQ(run.standardError, "");
    }
}

TEST_F(Dispatch, InstallationDirectoryIsPassedAsTyped) {
    importReg(ProfileReg()
                  .entry("SQLQueryFolder", "Q", "c:\\Selvarine\\SAMPLES\\QUERY\\VRKQDI.QRY")
                  .text());
    // The candidate is upper-cased for the comparison only; the trace shows
    // the stored path upper-cased and the argument is not otherwise changed.
    const ProgramRun run =
        runVrkini({"-u", "c:\\Selvarine", "third", "fourth"}, Trace::noPrefixStderr);
    EXPECT_EQ(run.exitStatus, 0);
    const std::vector<std::string> lines = splitLines(run.standardError);
    EXPECT_EQ(lines.front(), ">IApplication::current().argc()=5 ");
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "  >Found a query that should be deleted: queryName=Q "
                        "queryFile=C:\\SELVARINE\\SAMPLES\\QUERY\\VRKQDI.QRY "),
              lines.end())
        << joinLines(lines);
    EXPECT_EQ(element("SQLQueryFolder", "Q"), std::nullopt);
}

TEST_F(Dispatch, DeleteIgnoresFurtherArguments) {
    const std::string before = profileListing();
    const ProgramRun run = runVrkini({"-d", "C:\\SELVARINE"}, Trace::noPrefixStderr);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(choice(run), kDeleteStart);
    EXPECT_EQ(run.standardError.find("removeCannedQueries"), std::string::npos);
    EXPECT_EQ(profileListing(), before);
}

}  // namespace
}  // namespace vrk::test
