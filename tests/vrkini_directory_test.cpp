// The directory-valued entries: a list whose first line is the current
// directory, repaired with two "." lines when that directory is gone.
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "diag/imessage.hpp"
#include "tests/harness/vrkini_fixture.hpp"

namespace vrk::test {
namespace {

namespace fs = std::filesystem;

const std::string kLabel = "appName=WorkStation keyName=PopulateReport ";

// The trace lines of the first directory validation: from the first
// unindented "+profile()(34)" to the next one.
std::vector<std::string> firstValidation(const std::vector<std::string>& lines) {
    const auto begin = std::find(lines.begin(), lines.end(), "+profile()(34)");
    if (begin == lines.end()) return {};
    const auto end = std::find(begin + 1, lines.end(), "+profile()(34)");
    return std::vector<std::string>(begin, end);
}

std::vector<std::string> traced(const std::string& text) {
    std::vector<std::string> out;
    std::string::size_type start = 0;
    for (;;) {
        const auto lf = text.find('\n', start);
        out.push_back(">" + text.substr(start, lf == std::string::npos ? lf : lf - start));
        if (lf == std::string::npos) break;
        start = lf + 1;
    }
    return out;
}

void append(std::vector<std::string>& to, const std::vector<std::string>& lines) {
    to.insert(to.end(), lines.begin(), lines.end());
}

std::string escaped(const std::string& value) {
    std::string out;
    for (char c : value) out += (c == '\n') ? std::string("\\x0A") : std::string(1, c);
    return out;
}

struct Case {
    const char* name;
    std::string stored;  // the entry's value (absent when absent is set)
    bool absent;
    bool valid;  // the current directory exists
    void (*prepare)(const std::string& workDir);
};

void nothing(const std::string&) {}

class DirectoryValidation : public VrkiniTest {
protected:
    // Runs -UPDATE on a profile holding the one entry and checks trace,
    // report and the stored value of WorkStation\PopulateReport.
    void check(const Case& c) {
        SCOPED_TRACE(c.name);
        ProfileReg reg;
        reg.entry("Miscellaneous", "Language", "ENU");
        if (!c.absent) reg.binaryEntry("WorkStation", "PopulateReport", c.stored);
        importReg(reg.text());
        c.prepare(workDir_);

        const ProgramRun run = runVrkini({"-UPDATE"}, Trace::noPrefixStderr);
        EXPECT_EQ(run.exitStatus, 0);
        const std::vector<std::string> block = firstValidation(splitLines(run.standardError));

        const std::string oldValue = c.absent ? "" : c.stored;
        const std::string newValue = c.valid ? oldValue : ".\n.\n" + oldValue;
        const auto lf = oldValue.find('\n');
        std::vector<std::string> expected = {"+profile()(34)", "-profile()"};
        if (c.absent) {
            append(expected, missingEntryReport(0, true));
        } else {
            append(expected,
                   traced("The directory list in the profile is: oldOptions=" + oldValue + " "));
            if (lf == std::string::npos)
                append(expected,
                       exceptionReport(0, "IInvalidRequest", "IBuffer::overflow()", "ibuffer0", 556,
                                       "51", "Norvel Class Library", ILibraryMessage(51).text()));
            else
                expected.push_back(">The current directory in the profile is: currentDir=" +
                                   oldValue.substr(0, lf) + " ");
        }
        if (c.absent || lf == std::string::npos)
            expected.push_back(">The Selvarine profile doesn't contain the requested app/key " +
                               kLabel);
        if (!c.valid) append(expected, traced(kLabel + "newValue=" + newValue + " "));
        EXPECT_EQ(block, expected) << joinLines(block);

        const std::vector<std::string> out = splitLines(run.standardOutput);
        const auto report = std::find_if(
            out.begin(), out.end(), [](const std::string& l) { return l.rfind(kLabel, 0) == 0; });
        ASSERT_NE(report, out.end());
        if (c.valid) {
            EXPECT_EQ(*report, kLabel + "already has a valid directory.");
        } else {
            ASSERT_LE(report + 3, out.end());
            EXPECT_EQ(*report, kLabel + "was changed:");
            EXPECT_EQ(report[1], "  from \"" + escaped(oldValue) + "\"");
            EXPECT_EQ(report[2], "  to \"" + escaped(newValue) + "\"");
        }
        EXPECT_EQ(element("WorkStation", "PopulateReport"), newValue);
    }
};

TEST_F(DirectoryValidation, Cases) {
    const std::string absolute = fs::temp_directory_path().string();
    const Case cases[] = {
        {"working directory", ".\n", false, true, nothing},
        {"already repaired", ".\n.\nC:\\GONE\n", false, true, nothing},
        {"parent directory, more lines", "..\nC:\\A\nC:\\B\n", false, true, nothing},
        {"absolute existing directory", absolute + "\n", false, true, nothing},
        {"Windows path that does not exist here", "C:\\SELVARINE\\REPORTS\n", false, false,
         nothing},
        {"relative directory that exists", "reports\n", false, true,
         [](const std::string& w) { fs::create_directory(w + "/reports"); }},
        {"relative directory that is gone", "reports\n", false, false, nothing},
        {"a file, not a directory", "report.txt\nC:\\X\n", false, false,
         [](const std::string& w) { std::ofstream(w + "/report.txt") << "x"; }},
        {"star wildcard, even when such a directory exists", "*\n", false, false,
         [](const std::string& w) { fs::create_directory(w + "/*"); }},
        {"question-mark wildcard, even when such a directory exists", "rep?rts\n", false, false,
         [](const std::string& w) { fs::create_directory(w + "/rep?rts"); }},
        {"trailing blank", ". \n", false, false, nothing},
        {"carriage return before the line feed", ".\r\n.\r\n", false, false, nothing},
        {"starts with a line feed", "\nC:\\X\n", false, false, nothing},
        {"no line feed", ".", false, false, nothing},
        {"empty value", "", false, false, nothing},
        {"entry absent", "", true, false, nothing},
    };
    for (const Case& c : cases) {
        TearDown();
        SetUp();
        check(c);
    }
}

TEST_F(DirectoryValidation, RepairIsAppliedOnce) {
    importReg(ProfileReg().binaryEntry("Query", "DirForQuery", "C:\\GONE\n").text());
    ASSERT_EQ(runVrkini({"-u"}).exitStatus, 0);
    EXPECT_EQ(element("Query", "DirForQuery"), ".\n.\nC:\\GONE\n");
    const ProgramRun again = runVrkini({"-u"});
    EXPECT_NE(again.standardOutput.find(
                  "appName=Query keyName=DirForQuery already has a valid directory.\n"),
              std::string::npos);
    EXPECT_EQ(element("Query", "DirForQuery"), ".\n.\nC:\\GONE\n");
}

TEST_F(DirectoryValidation, EveryEntryInOrderAndAbsentOnesCreated) {
    importReg(ProfileReg().entry("Miscellaneous", "Language", "ENU").text());
    const ProgramRun run = runVrkini({"-u"});
    const char* const entries[][2] = {
        {"WorkStation", "PopulateReport"}, {"WorkStation", "QueryReport"},
        {"WorkStation", "ValidateReport"}, {"WorkStation", "WorkingDirectory"},
        {"Query", "DirForQuery"},          {"QTSGenerate", "DbdSource"},
        {"QTSGenerate", "PsbSource"},      {"CobolGenerate", "DestinationDir"},
    };
    std::vector<std::string> expected = {
        "appName=CobolPopulate keyName=CompilerSelectedOptions was changed:",
        "  from \"\"",
        "  to \"NOC NOEXIT ADATA\"",
        "appName=CobolPopulate keyName=Cmdfile was changed:",
        "  from \"\"",
        "  to \"vrklpgm.cmd\\x0Avrklpgm.cmd\\x0A\"",
    };
    for (const auto& e : entries) {
        expected.push_back(std::string("appName=") + e[0] + " keyName=" + e[1] + " was changed:");
        expected.push_back("  from \"\"");
        expected.push_back("  to \".\\x0A.\\x0A\"");
    }
    EXPECT_EQ(splitLines(run.standardOutput), expected);
    for (const auto& e : entries) EXPECT_EQ(element(e[0], e[1]), ".\n.\n") << e[0] << e[1];
}

}  // namespace
}  // namespace vrk::test
