// Test fixture for running the built vrkini against a store of its own: a
// temporary directory with the registry store ("TORQA REGISTRY" points at
// it), a working directory for the tool, and fixtures loaded with
// `vrkreg import`.
//
// Thread safety: one fixture per test; tests run in processes of their own.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/harness/run_program.hpp"
#include "tests/support/temp_dir.hpp"

namespace vrk::test {

// Where the trace of a run goes.
enum class Trace {
    off,             // no trace variable set
    noPrefixStdout,  // "TORQA TRACE"=NOPREFIX, "TORQA TRACETO"=STDOUT (interleaved with the report)
    noPrefixStderr,  // "TORQA TRACE"=NOPREFIX, "TORQA TRACETO"=STDERR (trace apart from the report)
    prefixStderr,    // "TORQA TRACE"=ON, "TORQA TRACETO"=STDERR
};

class VrkiniTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The build's program directory (bin/ of the build tree).
    static std::string programDirectory();
    static std::string vrkiniPath();
    static std::string vrkregPath();
    // The source tree (for examples/ and tests/fixtures/).
    static std::string sourceDirectory();

    // Loads a .reg file into the test's store with `vrkreg import`.
    void importRegFile(const std::string& path);

    // Runs vrkini with the arguments (after the program name).
    ProgramRun runVrkini(const std::vector<std::string>& arguments, Trace trace = Trace::off,
                         const std::map<std::string, std::string>& environment = {});
    // Runs vrkreg with the arguments against the test's store.
    ProgramRun runVrkreg(const std::vector<std::string>& arguments);

    std::unique_ptr<vrk::testing::TempDir> scratch_;
    std::string root_;      // the test's temporary directory
    std::string storeDir_;  // the registry store
    std::string workDir_;   // the tool's working directory
};

}  // namespace vrk::test
