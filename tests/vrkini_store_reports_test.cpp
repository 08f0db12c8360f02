// What vrkini tells, and what it does, when its store or its trace file
// fails it: a trace file at the process's file-size limit, a corrupt store,
// a store that does not exist yet.
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/harness/vrkini_fixture.hpp"

namespace vrk::test {
namespace {

namespace fs = std::filesystem;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::string readWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class StoreReports : public VrkiniTest {
protected:
    void loadExample() { importRegFile(sourceDirectory() + "/examples/sv-ini.reg"); }
};

// A trace file that has reached the file-size limit (ulimit -f) takes no
// more lines; the tool goes on, writes its report and ends with status 0.
TEST_F(StoreReports, ATraceFileAtTheFileSizeLimitDropsLinesAndTheToolGoesOn) {
    ASSERT_TRUE(fs::exists("/usr/bin/prlimit")) << "prlimit (util-linux) is needed";
    loadExample();
    const ProgramRun unlimited = runVrkini({"-UPDATE"});
    ASSERT_EQ(unlimited.exitStatus, 0);

    const std::string traceFile = root_ + "/trace.log";
    const std::size_t limit = 1 << 20;  // far above the store's files and the report
    std::ofstream(traceFile, std::ios::binary) << std::string(limit, '#');
    storeDir_ = root_ + "/registry-limited";  // the same start again
    fs::create_directories(storeDir_);
    loadExample();
    ProgramOptions options;
    options.arguments = {"--fsize=" + std::to_string(limit), vrkiniPath(), "-UPDATE"};
    options.workingDirectory = workDir_;
    options.environment = {{"TORQA REGISTRY", storeDir_},
                           {"TORQA TRACE", "ON"},
                           {"TORQA TRACETO", "FILE"},
                           {"TORQA TRACEFILE", traceFile}};
    const ProgramRun limited = runProgram("/usr/bin/prlimit", options, root_);
    EXPECT_EQ(limited.exitStatus, 0) << "153 is SIGXFSZ";
    EXPECT_EQ(limited.standardOutput, unlimited.standardOutput);
    EXPECT_EQ(readWhole(traceFile), std::string(limit, '#')) << "no line, not even part of one";
}

// A store whose keys table is damaged is reported as corrupt (1009, naming
// the file) in the trace, not taken for a store without the profile.
TEST_F(StoreReports, ACorruptStoreIsNamedInTheTrace) {
    loadExample();
    const std::string file = storeDir_ + "/registry.db";
    {
        // The first page of the keys table (page 2) gets a page type that
        // does not exist.
        std::fstream db(file, std::ios::in | std::ios::out | std::ios::binary);
        db.seekp(4096);
        db.put('\x07');
        ASSERT_TRUE(db.good());
    }
    const ProgramRun run = runVrkini({"-UPDATE"}, Trace::noPrefixStderr);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.standardOutput, "");
    EXPECT_TRUE(contains(run.standardError, ">   Error Id is 1009\n")) << run.standardError;
    EXPECT_TRUE(contains(
        run.standardError,
        ">      Error 1009: The configuration registry database is corrupt. (" + file + ": "))
        << run.standardError;
    EXPECT_FALSE(contains(run.standardError, "svINIExists==True")) << run.standardError;
}

// Reading creates nothing, but vrkini writes even without a profile:
// finding the profile opens HKEY_LOCAL_MACHINE\Software, which creates it.
TEST_F(StoreReports, UpdateAndDeleteOnAMissingStoreCreateItsSoftwareKey) {
    for (const char* verb : {"-UPDATE", "-DELETE"}) {
        fs::remove_all(storeDir_);
        const ProgramRun run = runVrkini({verb});
        EXPECT_EQ(run.exitStatus, 0);
        EXPECT_TRUE(fs::exists(storeDir_ + "/registry.db")) << verb;
        const ProgramRun query = runVrkreg({"query", "HKLM", "/s"});
        EXPECT_EQ(query.standardOutput, "\nHKEY_LOCAL_MACHINE\\Software\n\n") << verb;
    }
}

}  // namespace
}  // namespace vrk::test
