// Runs without the suite's profile, and the -DELETE verb.
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "tests/harness/vrkini_fixture.hpp"

namespace vrk::test {
namespace {

namespace fs = std::filesystem;

const std::string kAddOrReplace = "addOrReplace(const IString&,const IString&,const IString&)";

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// What -UPDATE with an installation directory writes when there is no profile.
std::vector<std::string> updateWithoutProfile() {
    std::vector<std::string> lines = {">IApplication::current().argc()=3 "};
    for (int i = 0; i < 2; ++i) {
        lines = lines + std::vector<std::string>{"+" + kAddOrReplace + "(92)", "  +profile()(34)"} +
                missingProfileReport(4) +
                std::vector<std::string>{"  -profile()", "  >No Selvarine profile was found",
                                         "-" + kAddOrReplace};
    }
    for (int i = 0; i < 8; ++i) {
        lines = lines + std::vector<std::string>{"+profile()(34)"} + missingProfileReport(2) +
                std::vector<std::string>{"-profile()", ">No Selvarine profile was found"};
    }
    return lines +
           std::vector<std::string>{"+removeCannedQueries(const IString&)(124)",
                                    "  +profile()(34)"} +
           missingProfileReport(4) +
           std::vector<std::string>{"  -profile()", "  >No Selvarine profile was found",
                                    "-removeCannedQueries(const IString&)"};
}

using NoProfile = VrkiniTest;

TEST_F(NoProfile, EveryStepReportsTheMissingProfileAndNothingIsCreated) {
    // An empty store, and one whose local-machine profile holds other
    // applications but not "SV.INI".
    for (bool otherApplications : {false, true}) {
        if (otherApplications)
            importReg(
                "Windows Registry Editor Version 5.00\n\n"
                "[HKEY_LOCAL_MACHINE\\Software\\Other\\App\\Key]\n"
                "\"DataType\"=\"String\"\n\"Data\"=\"x\"\n\n"
                "[HKEY_LOCAL_MACHINE\\Software\\SV.INI.OLD]\n\n");
        const ProgramRun run = runVrkini({"-UPDATE", "C:\\SELVARINE"}, Trace::noPrefixStderr);
        EXPECT_EQ(run.exitStatus, 0);
        EXPECT_EQ(run.standardOutput, "");
        const std::vector<std::string> lines = splitLines(run.standardError);
        EXPECT_EQ(lines, updateWithoutProfile()) << joinLines(lines);
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "  >No Selvarine profile was found") +
                      std::count(lines.begin(), lines.end(), ">No Selvarine profile was found"),
                  11);
        EXPECT_FALSE(profileExists());
    }
}

TEST_F(NoProfile, DeleteStaysSilentAndKeepsTheFile) {
    std::ofstream(workDir_ + "/SV.INI") << "[CobolPopulate]\n";
    const ProgramRun run = runVrkini({"-DELETE"}, Trace::noPrefixStderr);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.standardOutput, "");
    const std::vector<std::string> expected =
        std::vector<std::string>{">IApplication::current().argc()=2 ", "+deleteProfile()(60)",
                                 "  +profile()(34)"} +
        missingProfileReport(4) + std::vector<std::string>{"  -profile()", "-deleteProfile()"};
    EXPECT_EQ(splitLines(run.standardError), expected);
    EXPECT_TRUE(fs::exists(workDir_ + "/SV.INI"));
    EXPECT_FALSE(profileExists());
}

class DeleteVerb : public VrkiniTest {
protected:
    void SetUp() override {
        VrkiniTest::SetUp();
        if (HasFatalFailure()) return;
        importReg(ProfileReg().entry("CobolPopulate", "CompilerSelectedOptions", "NOC").text());
    }
    std::vector<std::string> expectedTrace(bool removed) {
        std::vector<std::string> lines = {">IApplication::current().argc()=2 ",
                                          "+deleteProfile()(60)", "  +profile()(34)",
                                          "  -profile()", "  >About to remove file::name=SV.INI "};
        if (!removed) lines.push_back("  >Could not remove file!");
        lines.push_back("-deleteProfile()");
        return lines;
    }
};

TEST_F(DeleteVerb, RemovesTheFileAndKeepsTheProfile) {
    std::ofstream(workDir_ + "/SV.INI") << "[CobolPopulate]\n";
    std::ofstream(workDir_ + "/sv.ini.bak") << "kept\n";
    const std::string before = profileListing();
    const ProgramRun run = runVrkini({"-DELETE"}, Trace::noPrefixStderr);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.standardOutput, "");
    EXPECT_EQ(splitLines(run.standardError), expectedTrace(true));
    EXPECT_FALSE(fs::exists(workDir_ + "/SV.INI"));
    EXPECT_TRUE(fs::exists(workDir_ + "/sv.ini.bak"));
    EXPECT_EQ(profileListing(), before);

    // A later update still finds the profile.
    const ProgramRun update = runVrkini({"-u"});
    EXPECT_NE(update.standardOutput.find("keyName=CompilerSelectedOptions was changed:"),
              std::string::npos);
}

TEST_F(DeleteVerb, FileThatCannotBeRemoved) {
    static const struct {
        const char* what;
        void (*make)(const std::string& path);
    } cases[] = {
        {"no such file", [](const std::string&) {}},
        {"an empty directory of that name", [](const std::string& p) { fs::create_directory(p); }},
        {"a directory holding a file",
         [](const std::string& p) {
             fs::create_directory(p);
             std::ofstream(p + "/inside") << "x";
         }},
        {"a read-only file",
         [](const std::string& p) {
             std::ofstream(p) << "x";
             ::chmod(p.c_str(), 0444);
         }},
    };
    for (const auto& c : cases) {
        const std::string path = workDir_ + "/SV.INI";
        fs::remove_all(path);
        c.make(path);
        const bool existed = fs::exists(path);
        const ProgramRun run = runVrkini({"-d"}, Trace::noPrefixStderr);
        EXPECT_EQ(run.exitStatus, 0) << c.what;
        EXPECT_EQ(splitLines(run.standardError), expectedTrace(false)) << c.what;
        EXPECT_EQ(fs::exists(path), existed) << c.what;
        std::error_code ec;
        fs::permissions(path, fs::perms::owner_all, ec);
    }
}

TEST_F(DeleteVerb, FileInAnotherLetterCaseIsNotTheProfileFile) {
    // File names are case-sensitive here: only "SV.INI" itself is removed.
    std::ofstream(workDir_ + "/sv.ini") << "x";
    const ProgramRun run = runVrkini({"-DELETE"}, Trace::noPrefixStderr);
    EXPECT_EQ(splitLines(run.standardError), expectedTrace(false));
    EXPECT_TRUE(fs::exists(workDir_ + "/sv.ini"));
}

}  // namespace
}  // namespace vrk::test
