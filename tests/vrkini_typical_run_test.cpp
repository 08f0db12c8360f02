// The typical installer run: "-UPDATE C:\SELVARINE" on the example profile,
// with tracing to standard output, checked line by line; then the profile
// afterwards, a second run that finds nothing to do, and the trace prefix.
#include <regex>

#include "tests/harness/vrkini_fixture.hpp"

namespace vrk::test {
namespace {

const std::string kAddOrReplace = "addOrReplace(const IString&,const IString&,const IString&)";

// Every line of the first run on the example profile, trace and change
// report interleaved as they reach standard output.
std::vector<std::string> firstRunLines() {
    return {
        ">IApplication::current().argc()=3 ",
        "+" + kAddOrReplace + "(92)",
        "  +profile()(34)",
        "  -profile()",
        "  >The options in the profile are: oldOptions=NOC NOEXIT ",
        "  >appName=CobolPopulate keyName=CompilerSelectedOptions newValue=NOC NOEXIT ADATA ",
        "appName=CobolPopulate keyName=CompilerSelectedOptions was changed:",
        "  from \"NOC NOEXIT\"",
        "  to \"NOC NOEXIT ADATA\"",
        "-" + kAddOrReplace,
        "+" + kAddOrReplace + "(92)",
        "  +profile()(34)",
        "  -profile()",
        "  >The options in the profile are: oldOptions=vrklpgm.cmd",
        "  >vrklpgm.cmd",
        "  > ",
        "appName=CobolPopulate keyName=Cmdfile already has the correct value.",
        "-" + kAddOrReplace,
        // WorkStation PopulateReport: "." is the working directory.
        "+profile()(34)",
        "-profile()",
        ">The directory list in the profile is: oldOptions=.",
        ">C:\\SELVARINE\\REPORTS",
        "> ",
        ">The current directory in the profile is: currentDir=. ",
        "appName=WorkStation keyName=PopulateReport already has a valid directory.",
        // WorkStation QueryReport: gone, repaired.
        "+profile()(34)",
        "-profile()",
        ">The directory list in the profile is: oldOptions=C:\\SELVARINE\\REPORTS\\QUERY",
        ">C:\\SELVARINE\\REPORTS",
        "> ",
        ">The current directory in the profile is: currentDir=C:\\SELVARINE\\REPORTS\\QUERY ",
        ">appName=WorkStation keyName=QueryReport newValue=.",
        ">.",
        ">C:\\SELVARINE\\REPORTS\\QUERY",
        ">C:\\SELVARINE\\REPORTS",
        "> ",
        "appName=WorkStation keyName=QueryReport was changed:",
        "  from \"C:\\SELVARINE\\REPORTS\\QUERY\\x0AC:\\SELVARINE\\REPORTS\\x0A\"",
        "  to \".\\x0A.\\x0AC:\\SELVARINE\\REPORTS\\QUERY\\x0AC:\\SELVARINE\\REPORTS\\x0A\"",
        // WorkStation ValidateReport: repaired by an earlier run.
        "+profile()(34)",
        "-profile()",
        ">The directory list in the profile is: oldOptions=.",
        ">.",
        ">C:\\SELVARINE\\REPORTS",
        "> ",
        ">The current directory in the profile is: currentDir=. ",
        "appName=WorkStation keyName=ValidateReport already has a valid directory.",
        // WorkStation WorkingDirectory: gone, repaired.
        "+profile()(34)",
        "-profile()",
        ">The directory list in the profile is: oldOptions=C:\\SELVARINE\\WORK",
        ">D:\\PROJECTS\\PAYROLL",
        "> ",
        ">The current directory in the profile is: currentDir=C:\\SELVARINE\\WORK ",
        ">appName=WorkStation keyName=WorkingDirectory newValue=.",
        ">.",
        ">C:\\SELVARINE\\WORK",
        ">D:\\PROJECTS\\PAYROLL",
        "> ",
        "appName=WorkStation keyName=WorkingDirectory was changed:",
        "  from \"C:\\SELVARINE\\WORK\\x0AD:\\PROJECTS\\PAYROLL\\x0A\"",
        "  to \".\\x0A.\\x0AC:\\SELVARINE\\WORK\\x0AD:\\PROJECTS\\PAYROLL\\x0A\"",
        // Query DirForQuery: valid.
        "+profile()(34)",
        "-profile()",
        ">The directory list in the profile is: oldOptions=.",
        ">C:\\SELVARINE\\SAMPLES\\QUERY",
        "> ",
        ">The current directory in the profile is: currentDir=. ",
        "appName=Query keyName=DirForQuery already has a valid directory.",
        // QTSGenerate DbdSource: gone, repaired.
        "+profile()(34)",
        "-profile()",
        ">The directory list in the profile is: oldOptions=D:\\IMS\\DBDSRC",
        "> ",
        ">The current directory in the profile is: currentDir=D:\\IMS\\DBDSRC ",
        ">appName=QTSGenerate keyName=DbdSource newValue=.",
        ">.",
        ">D:\\IMS\\DBDSRC",
        "> ",
        "appName=QTSGenerate keyName=DbdSource was changed:",
        "  from \"D:\\IMS\\DBDSRC\\x0A\"",
        "  to \".\\x0A.\\x0AD:\\IMS\\DBDSRC\\x0A\"",
        // QTSGenerate PsbSource: ".." exists.
        "+profile()(34)",
        "-profile()",
        ">The directory list in the profile is: oldOptions=..",
        ">D:\\IMS\\PSBSRC",
        "> ",
        ">The current directory in the profile is: currentDir=.. ",
        "appName=QTSGenerate keyName=PsbSource already has a valid directory.",
        // CobolGenerate DestinationDir: gone, repaired.
        "+profile()(34)",
        "-profile()",
        ">The directory list in the profile is: oldOptions=D:\\PROJECTS\\PAYROLL\\COBOL",
        ">.",
        "> ",
        ">The current directory in the profile is: currentDir=D:\\PROJECTS\\PAYROLL\\COBOL ",
        ">appName=CobolGenerate keyName=DestinationDir newValue=.",
        ">.",
        ">D:\\PROJECTS\\PAYROLL\\COBOL",
        ">.",
        "> ",
        "appName=CobolGenerate keyName=DestinationDir was changed:",
        "  from \"D:\\PROJECTS\\PAYROLL\\COBOL\\x0A.\\x0A\"",
        "  to \".\\x0A.\\x0AD:\\PROJECTS\\PAYROLL\\COBOL\\x0A.\\x0A\"",
        // The sample queries, in the store's order of key names.
        "+removeCannedQueries(const IString&)(124)",
        "  +profile()(34)",
        "  -profile()",
        "  >Found a query that should be deleted: queryName=Customers by Region "
        "queryFile=C:\\SELVARINE\\SAMPLES\\QUERY\\VRKQD2CD.QRY ",
        "  >Found a query that should be deleted: queryName=Employee Address List "
        "queryFile=C:\\SELVARINE\\SAMPLES\\QUERY\\VRKQDAM.QRY ",
        "  >The following query should NOT be deleted: queryName=Monthly Payroll "
        "queryFile=D:\\PROJECTS\\PAYROLL\\MONTHLY.QRY ",
        "  >Found a query that should be deleted: queryName=Order Totals "
        "queryFile=C:\\SELVARINE\\SAMPLES\\QUERY\\VRKQIS5G.QRY ",
        "  >The following query should NOT be deleted: queryName=Payroll Copy of Sample "
        "queryFile=D:\\PROJECTS\\PAYROLL\\VRKQD2CD.QRY ",
        "  >The following query should NOT be deleted: queryName=Region Summary "
        "queryFile=C:\\SELVARINE\\SAMPLES\\QUERY\\REGIONS.QRY ",
        "  >Found a query that should be deleted: queryName=Table Index Check "
        "queryFile=C:\\SELVARINE\\SAMPLES\\QUERY\\VRKQTDCD.QRY ",
        "  >Need to delete ticky mark",
        "-removeCannedQueries(const IString&)",
    };
}

bool isTraceLine(const std::string& line) {
    const auto first = line.find_first_not_of(' ');
    return first != std::string::npos && std::string("+->").find(line[first]) != std::string::npos;
}

class TypicalRun : public VrkiniTest {
protected:
    void SetUp() override {
        VrkiniTest::SetUp();
        if (HasFatalFailure()) return;
        importRegFile(sourceDirectory() + "/examples/sv-ini.reg");
    }
};

TEST_F(TypicalRun, EveryLineOfTheUpdateRunInOrder) {
    const ProgramRun run = runVrkini({"-UPDATE", "C:\\SELVARINE"}, Trace::noPrefixStdout);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.standardError, "");
    const std::vector<std::string> expected = firstRunLines();
    const std::vector<std::string> actual = splitLines(run.standardOutput);
    EXPECT_EQ(actual, expected) << "actual:\n" << joinLines(actual);
    EXPECT_EQ(run.standardOutput.back(), '\n');
}

TEST_F(TypicalRun, ProfileAfterTheRun) {
    ASSERT_EQ(runVrkini({"-UPDATE", "C:\\SELVARINE"}).exitStatus, 0);

    EXPECT_EQ(element("CobolPopulate", "CompilerSelectedOptions"), "NOC NOEXIT ADATA");
    EXPECT_EQ(dataType("CobolPopulate", "CompilerSelectedOptions"), "String");
    EXPECT_EQ(element("CobolPopulate", "Cmdfile"), "vrklpgm.cmd\nvrklpgm.cmd\n");
    EXPECT_EQ(dataType("CobolPopulate", "Cmdfile"), "Binary");
    EXPECT_EQ(element("CobolPopulate", "LastProgram"), "PAYROLL");

    static const struct {
        const char* application;
        const char* key;
        const char* value;
    } directories[] = {
        {"WorkStation", "PopulateReport", ".\nC:\\SELVARINE\\REPORTS\n"},
        {"WorkStation", "QueryReport",
         ".\n.\nC:\\SELVARINE\\REPORTS\\QUERY\nC:\\SELVARINE\\REPORTS\n"},
        {"WorkStation", "ValidateReport", ".\n.\nC:\\SELVARINE\\REPORTS\n"},
        {"WorkStation", "WorkingDirectory", ".\n.\nC:\\SELVARINE\\WORK\nD:\\PROJECTS\\PAYROLL\n"},
        {"Query", "DirForQuery", ".\nC:\\SELVARINE\\SAMPLES\\QUERY\n"},
        {"QTSGenerate", "DbdSource", ".\n.\nD:\\IMS\\DBDSRC\n"},
        {"QTSGenerate", "PsbSource", "..\nD:\\IMS\\PSBSRC\n"},
        {"CobolGenerate", "DestinationDir", ".\n.\nD:\\PROJECTS\\PAYROLL\\COBOL\n.\n"},
    };
    for (const auto& d : directories) {
        EXPECT_EQ(element(d.application, d.key), d.value) << d.application << "\\" << d.key;
        EXPECT_EQ(dataType(d.application, d.key), "Binary") << d.application << "\\" << d.key;
    }

    EXPECT_EQ(
        keysOf("SQLQueryFolder"),
        (std::vector<std::string>{"Monthly Payroll", "Payroll Copy of Sample", "Region Summary"}));
    EXPECT_EQ(keysOf("Miscellaneous"), (std::vector<std::string>{"Language"}));
    EXPECT_EQ(element("WorkStation", "UserName"), "ADMIN");
}

TEST_F(TypicalRun, SecondRunFindsNothingToDo) {
    ASSERT_EQ(runVrkini({"-UPDATE", "C:\\SELVARINE"}).exitStatus, 0);
    const ProgramRun again = runVrkini({"-UPDATE", "C:\\SELVARINE"}, Trace::noPrefixStderr);
    EXPECT_EQ(again.exitStatus, 0);
    EXPECT_EQ(
        splitLines(again.standardOutput),
        (std::vector<std::string>{
            "appName=CobolPopulate keyName=CompilerSelectedOptions already has the correct value.",
            "appName=CobolPopulate keyName=Cmdfile already has the correct value.",
            "appName=WorkStation keyName=PopulateReport already has a valid directory.",
            "appName=WorkStation keyName=QueryReport already has a valid directory.",
            "appName=WorkStation keyName=ValidateReport already has a valid directory.",
            "appName=WorkStation keyName=WorkingDirectory already has a valid directory.",
            "appName=Query keyName=DirForQuery already has a valid directory.",
            "appName=QTSGenerate keyName=DbdSource already has a valid directory.",
            "appName=QTSGenerate keyName=PsbSource already has a valid directory.",
            "appName=CobolGenerate keyName=DestinationDir already has a valid directory.",
        }));
    const std::vector<std::string> trace = splitLines(again.standardError);
    const std::vector<std::string> tail = {
        "  >The following query should NOT be deleted: queryName=Monthly Payroll "
        "queryFile=D:\\PROJECTS\\PAYROLL\\MONTHLY.QRY ",
        "  >The following query should NOT be deleted: queryName=Payroll Copy of Sample "
        "queryFile=D:\\PROJECTS\\PAYROLL\\VRKQD2CD.QRY ",
        "  >The following query should NOT be deleted: queryName=Region Summary "
        "queryFile=C:\\SELVARINE\\SAMPLES\\QUERY\\REGIONS.QRY ",
        "  >No need to delete ticky mark",
        "-removeCannedQueries(const IString&)",
    };
    ASSERT_GE(trace.size(), tail.size());
    EXPECT_EQ(std::vector<std::string>(trace.end() - tail.size(), trace.end()), tail)
        << joinLines(trace);
}

TEST_F(TypicalRun, TracingOffLeavesOnlyTheChangeReport) {
    const ProgramRun run = runVrkini({"-UPDATE", "C:\\SELVARINE"});
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.standardError, "");
    std::vector<std::string> report;
    for (const std::string& line : firstRunLines())
        if (!isTraceLine(line)) report.push_back(line);
    EXPECT_EQ(splitLines(run.standardOutput), report);
}

TEST_F(TypicalRun, TraceWithPrefixNumbersEveryLine) {
    const ProgramRun run = runVrkini({"-UPDATE", "C:\\SELVARINE"}, Trace::prefixStderr);
    EXPECT_EQ(run.exitStatus, 0);
    const std::vector<std::string> lines = splitLines(run.standardError);
    std::vector<std::string> expected;
    for (const std::string& line : firstRunLines())
        if (isTraceLine(line)) expected.push_back(line);
    ASSERT_EQ(lines.size(), expected.size()) << joinLines(lines);

    // "<sequence, 8 digits> <process id, 6 digits>:<slot, 2 digits> " then
    // the line as it reads without the prefix. A text with line feeds goes
    // out as one numbered line whose continuations repeat its prefix.
    const std::regex prefix(R"(^(\d{8}) (\d{6}):(\d{2}) (.*)$)");
    char pid[16];
    std::snprintf(pid, sizeof pid, "%06ld", run.processId % 1000000);
    std::string slot;
    long previous = -1;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[i], m, prefix)) << lines[i];
        const long sequence = std::stol(m[1].str());
        if (i == 0) {
            EXPECT_EQ(sequence, 0);
        }
        EXPECT_TRUE(sequence == previous || sequence == previous + 1) << lines[i];
        if (expected[i] == "  >vrklpgm.cmd") {
            EXPECT_EQ(sequence, previous) << lines[i];
        }
        previous = sequence;
        EXPECT_EQ(m[2].str(), pid) << lines[i];
        if (i == 0) slot = m[3].str();
        EXPECT_EQ(m[3].str(), slot) << lines[i];
        EXPECT_EQ(m[4].str(), expected[i]);
    }
}

}  // namespace
}  // namespace vrk::test
