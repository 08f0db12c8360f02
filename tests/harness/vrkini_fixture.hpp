// Test fixture for running the built vrkini against a store of its own: a
// temporary directory with the registry store ("TORQA REGISTRY" points at
// it), a working directory for the tool, fixtures loaded with
// `vrkreg import`, and in-process reads of the profile afterwards.
//
// Thread safety: one fixture per test; tests run in processes of their own.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/harness/profile_reg.hpp"
#include "tests/harness/run_program.hpp"

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

    // Loads a .reg text / file into the test's store with `vrkreg import`.
    void importReg(const std::string& regText);
    void importRegFile(const std::string& path);
    void importFixture();

    // Runs vrkini with the arguments (after the program name).
    ProgramRun runVrkini(const std::vector<std::string>& arguments, Trace trace = Trace::off,
                         const std::map<std::string, std::string>& environment = {});
    // Runs vrkreg with the arguments against the test's store.
    ProgramRun runVrkreg(const std::vector<std::string>& arguments);

    // The profile as `vrkreg query <profile key> /s` lists it, for
    // before-and-after comparisons ("" when the profile key does not exist).
    std::string profileListing();

    // The element of an entry of "SV.INI" as the profile store reads it, or
    // nothing when the application or key is absent.
    std::optional<std::string> element(const std::string& application, const std::string& key);
    // The "DataType" text of an entry ("String", "Binary", ...), "" when none.
    std::string dataType(const std::string& application, const std::string& key);
    // Whether the local-machine profile holds the application "SV.INI" /
    // whether "SV.INI" holds an application (raw key existence).
    bool profileExists();
    bool applicationExists(const std::string& application);
    // The key names of an application of "SV.INI", in enumeration order.
    std::vector<std::string> keysOf(const std::string& application);

    std::string root_;      // the test's temporary directory
    std::string storeDir_;  // the registry store
    std::string workDir_;   // the tool's working directory
};

// The text of library message 1 with the expression inserted, as the
// tool's assertion report shows it.
std::string assertionMessage(const char* expression);

// The trace lines of an exception report, each written with the given
// indentation (blanks) in front of ">".
std::vector<std::string> exceptionReport(unsigned indent, const std::string& className,
                                         const std::string& function, const std::string& file,
                                         unsigned line, const std::string& errorId,
                                         const std::string& group, const std::string& text);

// The report of the failed existence test in profile(), at the given
// indentation.
std::vector<std::string> missingProfileReport(unsigned indent);

// The report of elementWithKey on a missing application or key, at the given
// indentation.
std::vector<std::string> missingEntryReport(unsigned indent, bool applicationMissing);

// Joins lines for a readable failure message.
std::string joinLines(const std::vector<std::string>& lines);

}  // namespace vrk::test
