// Removal of the suite's sample queries from "SQLQueryFolder" and of the
// marker entry "AddedSQLQuerySamples".
#include <algorithm>

#include "tests/harness/vrkini_fixture.hpp"

namespace vrk::test {
namespace {

const std::string kScope = "removeCannedQueries(const IString&)";

// The trace lines inside the removal scope after its profile() lines.
std::vector<std::string> removalLines(const ProgramRun& run) {
    const std::vector<std::string> lines = splitLines(run.standardError);
    auto begin = std::find(lines.begin(), lines.end(), "+" + kScope + "(124)");
    if (begin == lines.end()) return {};
    begin = std::find(begin, lines.end(), "  -profile()");
    if (begin == lines.end()) return {};
    const auto end = std::find(begin, lines.end(), "-" + kScope);
    return std::vector<std::string>(begin + 1, end);
}

std::string found(const std::string& name, const std::string& file) {
    return "  >Found a query that should be deleted: queryName=" + name + " queryFile=" + file +
           " ";
}
std::string kept(const std::string& name, const std::string& file) {
    return "  >The following query should NOT be deleted: queryName=" + name +
           " queryFile=" + file + " ";
}

using SampleQueries = VrkiniTest;

TEST_F(SampleQueries, WhichPathsMatch) {
    static const struct {
        const char* name;
        const char* installDirectory;
        const char* stored;
        bool deleted;
    } cases[] = {
        {"first table entry", "C:\\SELVARINE", "C:\\SELVARINE\\SAMPLES\\QUERY\\VRKQD2CD.QRY", true},
        {"last table entry", "C:\\SELVARINE", "C:\\SELVARINE\\SAMPLES\\QUERY\\VRKQIS5G.QRY", true},
        {"entry in the middle", "C:\\SELVARINE", "C:\\SELVARINE\\SAMPLES\\QUERY\\VRKQROC.QRY",
         true},
        {"stored in small letters", "C:\\SELVARINE", "c:\\selvarine\\samples\\query\\vrkqid7g.qry",
         true},
        {"directory typed in small letters", "c:\\selvarine",
         "C:\\SELVARINE\\SAMPLES\\QUERY\\VRKQMVU.QRY", true},
        {"another drive and directory", "D:\\APPS\\SV", "d:\\apps\\sv\\Samples\\Query\\VRKQDI.QRY",
         true},
        {"empty installation directory", "", "\\SAMPLES\\QUERY\\VRKQPG.QRY", true},
        {"trailing backslash on the directory", "C:\\SELVARINE\\",
         "C:\\SELVARINE\\SAMPLES\\QUERY\\VRKQD2CD.QRY", false},
        {"forward slashes", "C:\\SELVARINE", "C:/SELVARINE/SAMPLES/QUERY/VRKQD2CD.QRY", false},
        {"file not in the table", "C:\\SELVARINE", "C:\\SELVARINE\\SAMPLES\\QUERY\\VRKQXXXX.QRY",
         false},
        {"table name in another folder", "C:\\SELVARINE", "C:\\SELVARINE\\QUERIES\\VRKQD2CD.QRY",
         false},
        {"other installation directory", "C:\\SELVARINE", "C:\\SV\\SAMPLES\\QUERY\\VRKQD2CD.QRY",
         false},
        {"trailing blank", "C:\\SELVARINE", "C:\\SELVARINE\\SAMPLES\\QUERY\\VRKQD2CD.QRY ", false},
        {"name without extension", "C:\\SELVARINE", "C:\\SELVARINE\\SAMPLES\\QUERY\\VRKQD2CD",
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        importReg(ProfileReg()
                      .stringEntry("SQLQueryFolder", "Query", c.stored)
                      .stringEntry("SQLQueryFolder", "Zzz Own", "D:\\OWN.QRY")
                      .entry("Miscellaneous", "AddedSQLQuerySamples", "Yes")
                      .text());
        const ProgramRun run = runVrkini({"-UPDATE", c.installDirectory}, Trace::noPrefixStderr);
        EXPECT_EQ(run.exitStatus, 0);
        std::string upper = c.stored;
        for (char& ch : upper)
            if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 32);
        EXPECT_EQ(removalLines(run), (std::vector<std::string>{
                                         c.deleted ? found("Query", upper) : kept("Query", upper),
                                         kept("Zzz Own", "D:\\OWN.QRY"),
                                         c.deleted ? "  >Need to delete ticky mark"
                                                   : "  >No need to delete ticky mark",
                                     }));
        EXPECT_EQ(element("SQLQueryFolder", "Query").has_value(), !c.deleted);
        EXPECT_EQ(element("SQLQueryFolder", "Query").value_or(c.stored), c.stored);
        EXPECT_EQ(element("SQLQueryFolder", "Zzz Own"), "D:\\OWN.QRY");
        EXPECT_EQ(element("Miscellaneous", "AddedSQLQuerySamples").has_value(), !c.deleted);
    }
}

TEST_F(SampleQueries, ConsecutiveDeletionsSkipNothing) {
    ProfileReg reg;
    const char* const samples[] = {"VRKQD2CD", "VRKQD2CN", "VRKQD2DC", "VRKQD2FK", "VRKQD2IG"};
    for (int i = 0; i < 5; ++i)
        reg.stringEntry("SQLQueryFolder", std::string("A") + char('1' + i),
                        std::string("C:\\SV\\SAMPLES\\QUERY\\") + samples[i] + ".QRY");
    reg.stringEntry("SQLQueryFolder", "B Own", "C:\\SV\\MINE.QRY");
    reg.stringEntry("SQLQueryFolder", "C1", "C:\\SV\\SAMPLES\\QUERY\\VRKQDAM.QRY");
    reg.stringEntry("SQLQueryFolder", "C2", "C:\\SV\\SAMPLES\\QUERY\\VRKQDEA.QRY");
    importReg(reg.text());

    const ProgramRun run = runVrkini({"-u", "C:\\SV"}, Trace::noPrefixStderr);
    std::vector<std::string> expected;
    for (int i = 0; i < 5; ++i)
        expected.push_back(found(std::string("A") + char('1' + i),
                                 std::string("C:\\SV\\SAMPLES\\QUERY\\") + samples[i] + ".QRY"));
    expected.push_back(kept("B Own", "C:\\SV\\MINE.QRY"));
    expected.push_back(found("C1", "C:\\SV\\SAMPLES\\QUERY\\VRKQDAM.QRY"));
    expected.push_back(found("C2", "C:\\SV\\SAMPLES\\QUERY\\VRKQDEA.QRY"));
    // The marker entry is absent: nothing more to delete.
    expected.push_back("  >No need to delete ticky mark");
    EXPECT_EQ(removalLines(run), expected);
    EXPECT_EQ(keysOf("SQLQueryFolder"), std::vector<std::string>{"B Own"});
}

TEST_F(SampleQueries, LastQueryDeletedTakesTheFolderWithIt) {
    importReg(ProfileReg()
                  .stringEntry("SQLQueryFolder", "Only", "C:\\SV\\SAMPLES\\QUERY\\VRKQRS.QRY")
                  .entry("Miscellaneous", "addedsqlquerysamples", "1")
                  .entry("Miscellaneous", "Language", "ENU")
                  .text());
    const ProgramRun run = runVrkini({"-u", "C:\\SV"}, Trace::noPrefixStderr);
    // The marker's key name is found in any letter case.
    EXPECT_EQ(removalLines(run),
              (std::vector<std::string>{found("Only", "C:\\SV\\SAMPLES\\QUERY\\VRKQRS.QRY"),
                                        "  >Need to delete ticky mark"}));
    EXPECT_FALSE(applicationExists("SQLQueryFolder"));
    EXPECT_EQ(keysOf("Miscellaneous"), std::vector<std::string>{"Language"});
}

TEST_F(SampleQueries, NoFolderOrNoMatchKeepsTheMarker) {
    importReg(ProfileReg().entry("Miscellaneous", "AddedSQLQuerySamples", "Yes").text());
    ProgramRun run = runVrkini({"-u", "C:\\SV"}, Trace::noPrefixStderr);
    EXPECT_EQ(removalLines(run), std::vector<std::string>{"  >No need to delete ticky mark"});
    EXPECT_EQ(element("Miscellaneous", "AddedSQLQuerySamples"), "Yes");

    // An untyped subkey in the folder is no query and is not listed.
    importReg(ProfileReg().untypedEntry("SQLQueryFolder", "Broken").text());
    run = runVrkini({"-u", "C:\\SV"}, Trace::noPrefixStderr);
    EXPECT_EQ(removalLines(run), std::vector<std::string>{"  >No need to delete ticky mark"});
    EXPECT_EQ(element("Miscellaneous", "AddedSQLQuerySamples"), "Yes");
}

TEST_F(SampleQueries, UnreadableQueryEndsTheWalk) {
    // A typed entry without its "Data" value cannot be read: the walk ends
    // there, what was deleted before stays deleted, the marker stays.
    importReg(ProfileReg()
                  .stringEntry("SQLQueryFolder", "A Sample", "C:\\SV\\SAMPLES\\QUERY\\VRKQPU.QRY")
                  .raw("[HKEY_LOCAL_MACHINE\\Software\\SV.INI\\SQLQueryFolder\\B Broken]\n"
                       "\"DataType\"=\"String\"\n\n")
                  .stringEntry("SQLQueryFolder", "C Sample", "C:\\SV\\SAMPLES\\QUERY\\VRKQRA.QRY")
                  .entry("Miscellaneous", "AddedSQLQuerySamples", "Yes")
                  .text());
    const ProgramRun run = runVrkini({"-u", "C:\\SV"}, Trace::noPrefixStderr);
    const std::vector<std::string> lines = removalLines(run);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), found("A Sample", "C:\\SV\\SAMPLES\\QUERY\\VRKQPU.QRY"));
    EXPECT_EQ(lines.back(), "  >No Selvarine profile was found");
    EXPECT_EQ(std::count_if(
                  lines.begin(), lines.end(),
                  [](const std::string& l) { return l.find("queryName=") != std::string::npos; }),
              1);
    EXPECT_EQ(element("SQLQueryFolder", "A Sample"), std::nullopt);
    EXPECT_EQ(element("SQLQueryFolder", "C Sample"), "C:\\SV\\SAMPLES\\QUERY\\VRKQRA.QRY");
    EXPECT_EQ(element("Miscellaneous", "AddedSQLQuerySamples"), "Yes");
}

}  // namespace
}  // namespace vrk::test
