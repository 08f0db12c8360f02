// The two option-value entries of "CobolPopulate": already correct, stale,
// absent, empty, and taken as text up to a zero byte.
#include <algorithm>

#include "tests/harness/vrkini_fixture.hpp"

namespace vrk::test {
namespace {

const std::string kScope = "addOrReplace(const IString&,const IString&,const IString&)";
const std::string kOptions = "NOC NOEXIT ADATA";
const std::string kCommandFiles = "vrklpgm.cmd\nvrklpgm.cmd\n";

// The trace lines of the nth (0-based) addOrReplace scope.
std::vector<std::string> scopeBlock(const std::vector<std::string>& lines, int n) {
    auto begin = lines.begin();
    for (int i = 0; i <= n; ++i) {
        begin = std::find(i == 0 ? lines.begin() : begin + 1, lines.end(), "+" + kScope + "(92)");
        if (begin == lines.end()) return {};
    }
    auto end = std::find(begin, lines.end(), "-" + kScope);
    return std::vector<std::string>(begin, end == lines.end() ? end : end + 1);
}

// Trace text with line feeds, as the trace writes it at indentation 2.
std::vector<std::string> traced(const std::string& text) {
    std::vector<std::string> out;
    std::string::size_type start = 0;
    for (;;) {
        const auto lf = text.find('\n', start);
        out.push_back("  >" + text.substr(start, lf == std::string::npos ? lf : lf - start));
        if (lf == std::string::npos) break;
        start = lf + 1;
    }
    return out;
}

std::vector<std::string> cat(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

std::string escaped(const std::string& value) {
    std::string out;
    for (char c : value) out += (c == '\n') ? std::string("\\x0A") : std::string(1, c);
    return out;
}

struct StoredValue {
    enum Kind { absentApplication, absentKey, string, binary } kind;
    std::string value;
};

struct Case {
    const char* name;
    const char* key;  // "CompilerSelectedOptions" or "Cmdfile"
    StoredValue stored;
    bool written;
    std::string oldText;  // the old value as the tool reads it
};

class OptionUpdate : public VrkiniTest {
protected:
    void load(const Case& c) {
        ProfileReg reg;
        reg.entry("WorkStation", "PopulateReport", ".\n");
        const std::string other =
            std::string(c.key) == "Cmdfile" ? "CompilerSelectedOptions" : "Cmdfile";
        if (c.stored.kind != StoredValue::absentApplication)
            reg.entry("CobolPopulate", other, "unrelated");
        if (c.stored.kind == StoredValue::string)
            reg.stringEntry("CobolPopulate", c.key, c.stored.value);
        if (c.stored.kind == StoredValue::binary)
            reg.binaryEntry("CobolPopulate", c.key, c.stored.value);
        importReg(reg.text());
    }
};

TEST_F(OptionUpdate, Cases) {
    const Case cases[] = {
        {"options already correct",
         "CompilerSelectedOptions",
         {StoredValue::string, kOptions},
         false,
         kOptions},
        {"options in small letters",
         "CompilerSelectedOptions",
         {StoredValue::string, "noc noexit adata"},
         true,
         "noc noexit adata"},
        {"options in another order",
         "CompilerSelectedOptions",
         {StoredValue::string, "ADATA NOC NOEXIT"},
         true,
         "ADATA NOC NOEXIT"},
        {"options with one blank more",
         "CompilerSelectedOptions",
         {StoredValue::string, "NOC  NOEXIT ADATA"},
         true,
         "NOC  NOEXIT ADATA"},
        {"options with a trailing blank",
         "CompilerSelectedOptions",
         {StoredValue::string, "NOC NOEXIT ADATA "},
         true,
         "NOC NOEXIT ADATA "},
        {"options empty", "CompilerSelectedOptions", {StoredValue::binary, ""}, true, ""},
        {"options read up to a zero byte",
         "CompilerSelectedOptions",
         {StoredValue::binary, kOptions + std::string(1, '\0') + "junk"},
         false,
         kOptions},
        {"options key absent", "CompilerSelectedOptions", {StoredValue::absentKey, ""}, true, ""},
        {"options application absent",
         "CompilerSelectedOptions",
         {StoredValue::absentApplication, ""},
         true,
         ""},
        {"command files already correct",
         "Cmdfile",
         {StoredValue::binary, kCommandFiles},
         false,
         kCommandFiles},
        {"command files one line",
         "Cmdfile",
         {StoredValue::binary, "vrklpgm.cmd\n"},
         true,
         "vrklpgm.cmd\n"},
        {"command files with CR LF",
         "Cmdfile",
         {StoredValue::binary, "vrklpgm.cmd\r\nvrklpgm.cmd\r\n"},
         true,
         "vrklpgm.cmd\r\nvrklpgm.cmd\r\n"},
        {"command files as one string",
         "Cmdfile",
         {StoredValue::string, "vrklpgm.cmd"},
         true,
         "vrklpgm.cmd"},
        {"command files key absent", "Cmdfile", {StoredValue::absentKey, ""}, true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        load(c);
        const bool isOptions = std::string(c.key) == "CompilerSelectedOptions";
        const std::string newValue = isOptions ? kOptions : kCommandFiles;
        const std::string label = std::string("appName=CobolPopulate keyName=") + c.key + " ";

        const ProgramRun run = runVrkini({"-UPDATE"}, Trace::noPrefixStderr);
        EXPECT_EQ(run.exitStatus, 0);
        const std::vector<std::string> block =
            scopeBlock(splitLines(run.standardError), isOptions ? 0 : 1);

        std::vector<std::string> read;
        if (c.stored.kind == StoredValue::absentApplication ||
            c.stored.kind == StoredValue::absentKey)
            read =
                cat({missingEntryReport(2, c.stored.kind == StoredValue::absentApplication),
                     {"  >The Selvarine profile doesn't contain the requested app/key " + label}});
        else
            read = traced("The options in the profile are: oldOptions=" + c.oldText + " ");
        std::vector<std::string> expectedBlock =
            cat({{"+" + kScope + "(92)", "  +profile()(34)", "  -profile()"}, read});
        if (c.written)
            expectedBlock = cat({expectedBlock, traced(label + "newValue=" + newValue + " ")});
        expectedBlock.push_back("-" + kScope);
        EXPECT_EQ(block, expectedBlock) << joinLines(block);

        const std::vector<std::string> out = splitLines(run.standardOutput);
        const auto report = std::find_if(
            out.begin(), out.end(), [&](const std::string& l) { return l.rfind(label, 0) == 0; });
        ASSERT_NE(report, out.end());
        if (c.written) {
            ASSERT_LE(report + 3, out.end());
            EXPECT_EQ(*report, label + "was changed:");
            EXPECT_EQ(report[1], "  from \"" + escaped(c.oldText) + "\"");
            EXPECT_EQ(report[2], "  to \"" + escaped(newValue) + "\"");
            EXPECT_EQ(element("CobolPopulate", c.key), newValue);
            EXPECT_EQ(dataType("CobolPopulate", c.key), isOptions ? "String" : "Binary");
        } else {
            EXPECT_EQ(*report, label + "already has the correct value.");
            EXPECT_EQ(element("CobolPopulate", c.key), c.stored.value);
        }
    }
}

TEST_F(OptionUpdate, CommandFileReportShowsEscapedLineFeeds) {
    importReg(ProfileReg().entry("CobolPopulate", "Cmdfile", "old.cmd").text());
    const ProgramRun run = runVrkini({"-u"});
    const std::vector<std::string> out = splitLines(run.standardOutput);
    const auto report =
        std::find(out.begin(), out.end(), "appName=CobolPopulate keyName=Cmdfile was changed:");
    ASSERT_NE(report, out.end());
    ASSERT_LE(report + 3, out.end());
    EXPECT_EQ(report[1], "  from \"old.cmd\"");
    EXPECT_EQ(report[2], "  to \"vrklpgm.cmd\\x0Avrklpgm.cmd\\x0A\"");
}

TEST_F(OptionUpdate, OtherEntriesOfTheApplicationStay) {
    importReg(ProfileReg()
                  .entry("CobolPopulate", "CompilerSelectedOptions", "NOC")
                  .entry("CobolPopulate", "LastProgram", "PAYROLL")
                  .untypedEntry("CobolPopulate", "Scratch")
                  .text());
    ASSERT_EQ(runVrkini({"-u"}).exitStatus, 0);
    EXPECT_EQ(element("CobolPopulate", "LastProgram"), "PAYROLL");
    EXPECT_EQ(keysOf("CobolPopulate"),
              (std::vector<std::string>{"Cmdfile", "CompilerSelectedOptions", "LastProgram"}));
}

}  // namespace
}  // namespace vrk::test
