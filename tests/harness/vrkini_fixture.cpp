// The vrkini end-to-end fixture.
#include "tests/harness/vrkini_fixture.hpp"

#include <cstdlib>
#include <filesystem>

#ifndef VRK_TEST_BINARY_DIR
#define VRK_TEST_BINARY_DIR ""
#endif
#ifndef VRK_TEST_SOURCE_DIR
#define VRK_TEST_SOURCE_DIR ""
#endif

namespace vrk::test {

namespace {

namespace fs = std::filesystem;

const char* const storeVariable = "TORQA REGISTRY";

// The variables that shape this process's own trace, message texts and
// store: a developer's own settings must not reach the programs.
const char* const ownVariables[] = {
    "TORQA TRACE",     "TORQA_TRACE",     "TORQA TRACETO",    "TORQA_TRACETO",
    "TORQA TRACEFILE", "TORQA_TRACEFILE", "TORQA CHECKSTACK", "TORQA_CHECKSTACK",
    "TORQA MSGFILE",   "TORQA REGISTRY",  "TORQA_REGISTRY",
};

std::string fromEnvironmentOr(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return (value != nullptr && *value != '\0') ? value : fallback;
}

}  // namespace

void VrkiniTest::SetUp() {
    for (const char* name : ownVariables) unsetenv(name);
    scratch_ = std::make_unique<vrk::testing::TempDir>("vrkini-e2e-");
    root_ = scratch_->path();
    storeDir_ = root_ + "/registry";
    workDir_ = root_ + "/work";
    fs::create_directories(storeDir_);
    fs::create_directories(workDir_);
}

void VrkiniTest::TearDown() { scratch_.reset(); }

std::string VrkiniTest::programDirectory() {
    return fromEnvironmentOr("VRK_BINARY_DIR", VRK_TEST_BINARY_DIR) + "/bin";
}
std::string VrkiniTest::vrkiniPath() { return programDirectory() + "/vrkini"; }
std::string VrkiniTest::vrkregPath() { return programDirectory() + "/vrkreg"; }
std::string VrkiniTest::sourceDirectory() {
    return fromEnvironmentOr("VRK_SOURCE_DIR", VRK_TEST_SOURCE_DIR);
}

void VrkiniTest::importRegFile(const std::string& path) {
    std::error_code ec;
    fs::copy_file(path, root_ + "/fixture.reg", fs::copy_options::overwrite_existing, ec);
    ASSERT_FALSE(ec) << "cannot copy " << path << ": " << ec.message();
    // vrkreg takes a word that starts with "/" for an option, so the file is
    // named relative to its working directory.
    ProgramOptions options;
    options.arguments = {"import", "fixture.reg"};
    options.workingDirectory = root_;
    options.environment[storeVariable] = storeDir_;
    const ProgramRun run = runProgram(vrkregPath(), options, root_);
    ASSERT_EQ(run.exitStatus, 0) << "vrkreg import failed:\n"
                                 << run.standardOutput << run.standardError;
}

ProgramRun VrkiniTest::runVrkini(const std::vector<std::string>& arguments, Trace trace,
                                 const std::map<std::string, std::string>& environment) {
    ProgramOptions options;
    options.arguments = arguments;
    options.workingDirectory = workDir_;
    options.environment = environment;
    options.environment[storeVariable] = storeDir_;
    switch (trace) {
    case Trace::off: break;
    case Trace::noPrefixStdout:
        options.environment["TORQA TRACE"] = "NOPREFIX";
        options.environment["TORQA TRACETO"] = "STDOUT";
        break;
    case Trace::noPrefixStderr:
        options.environment["TORQA TRACE"] = "NOPREFIX";
        options.environment["TORQA TRACETO"] = "STDERR";
        break;
    case Trace::prefixStderr:
        options.environment["TORQA TRACE"] = "ON";
        options.environment["TORQA TRACETO"] = "STDERR";
        break;
    }
    return runProgram(vrkiniPath(), options, root_);
}

ProgramRun VrkiniTest::runVrkreg(const std::vector<std::string>& arguments) {
    ProgramOptions options;
    options.arguments = arguments;
    options.workingDirectory = workDir_;
    options.environment[storeVariable] = storeDir_;
    return runProgram(vrkregPath(), options, root_);
}

}  // namespace vrk::test
