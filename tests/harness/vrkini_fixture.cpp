// The vrkini end-to-end fixture.
#include "tests/harness/vrkini_fixture.hpp"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "diag/imessage.hpp"
#include "platform/registry/iregistry.hpp"
#include "platform/registry/scratch_registry.hpp"
#include "profile/iprofile.hpp"

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

// The variables that shape this process's own trace and message texts; the
// in-process reads must behave as in a plain environment.
const char* const ownVariables[] = {
    "TORQA TRACE",     "TORQA_TRACE",     "TORQA TRACETO",    "TORQA_TRACETO",
    "TORQA TRACEFILE", "TORQA_TRACEFILE", "TORQA CHECKSTACK", "TORQA_CHECKSTACK",
    "TORQA MSGFILE",   "TORQA REGISTRY",  "TORQA_REGISTRY",
};

// Installs a store on the test's directory as the process's registry for
// the lifetime of the object.
class StoreSession {
public:
    explicit StoreSession(const std::string& dir) : store_(vrk::reg::makeScratchRegistry(dir)) {
        vrk::reg::setRegistry(store_.get());
    }
    ~StoreSession() { vrk::reg::setRegistry(nullptr); }
    vrk::reg::Registry& registry() { return *store_; }

private:
    std::unique_ptr<vrk::reg::Registry> store_;
};

bool keyExists(vrk::reg::Registry& reg, const std::string& path) {
    vrk::reg::Key key;
    if (reg.openKeyEx(vrk::reg::kLocalMachine, path.c_str(), vrk::reg::kKeyRead, &key) !=
        vrk::reg::kSuccess)
        return false;
    reg.closeKey(key);
    return true;
}

std::string fromEnvironmentOr(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return (value != nullptr && *value != '\0') ? value : fallback;
}

}  // namespace

void VrkiniTest::SetUp() {
    for (const char* name : ownVariables) unsetenv(name);
    std::string base = fs::temp_directory_path().string() + "/vrkini-e2e-XXXXXX";
    ASSERT_NE(mkdtemp(base.data()), nullptr);
    root_ = base;
    storeDir_ = root_ + "/registry";
    workDir_ = root_ + "/work";
    fs::create_directories(storeDir_);
    fs::create_directories(workDir_);
}

void VrkiniTest::TearDown() {
    std::error_code ec;
    if (!root_.empty()) fs::remove_all(root_, ec);
}

std::string VrkiniTest::programDirectory() {
    return fromEnvironmentOr("VRK_BINARY_DIR", VRK_TEST_BINARY_DIR) + "/bin";
}
std::string VrkiniTest::vrkiniPath() { return programDirectory() + "/vrkini"; }
std::string VrkiniTest::vrkregPath() { return programDirectory() + "/vrkreg"; }
std::string VrkiniTest::sourceDirectory() {
    return fromEnvironmentOr("VRK_SOURCE_DIR", VRK_TEST_SOURCE_DIR);
}

void VrkiniTest::importReg(const std::string& regText) {
    {
        std::ofstream out(root_ + "/fixture.reg", std::ios::binary | std::ios::trunc);
        out << regText;
    }
    importFixture();
}

void VrkiniTest::importRegFile(const std::string& path) {
    std::error_code ec;
    fs::copy_file(path, root_ + "/fixture.reg", fs::copy_options::overwrite_existing, ec);
    ASSERT_FALSE(ec) << "cannot copy " << path << ": " << ec.message();
    importFixture();
}

void VrkiniTest::importFixture() {
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

std::string VrkiniTest::profileListing() {
    if (!profileExists()) return "";
    const ProgramRun run = runVrkreg({"query", "HKEY_LOCAL_MACHINE\\Software\\SV.INI", "/s"});
    EXPECT_EQ(run.exitStatus, 0) << run.standardError;
    return run.standardOutput;
}

std::optional<std::string> VrkiniTest::element(const std::string& application,
                                               const std::string& key) {
    StoreSession session(storeDir_);
    if (!keyExists(session.registry(), ProfileReg::entryPath(application, key)))
        return std::nullopt;
    try {
        IProfile profile("SV.INI");
        const IString value = profile.elementWithKey(key.c_str(), application.c_str());
        return std::string(static_cast<const char*>(value), value.length());
    } catch (...) {
        return std::nullopt;
    }
}

std::string VrkiniTest::dataType(const std::string& application, const std::string& key) {
    StoreSession session(storeDir_);
    vrk::reg::Registry& reg = session.registry();
    vrk::reg::Key k;
    const std::string path = ProfileReg::entryPath(application, key);
    if (reg.openKeyEx(vrk::reg::kLocalMachine, path.c_str(), vrk::reg::kKeyRead, &k) !=
        vrk::reg::kSuccess)
        return "";
    unsigned char buf[64] = {};
    std::uint32_t size = sizeof buf - 1;
    std::string type;
    if (reg.queryValueEx(k, "DataType", nullptr, buf, &size) == vrk::reg::kSuccess)
        type.assign(reinterpret_cast<const char*>(buf), size);
    reg.closeKey(k);
    while (!type.empty() && type.back() == '\0') type.pop_back();
    return type;
}

bool VrkiniTest::profileExists() {
    StoreSession session(storeDir_);
    return keyExists(session.registry(), "Software\\SV.INI");
}

bool VrkiniTest::applicationExists(const std::string& application) {
    StoreSession session(storeDir_);
    return keyExists(session.registry(),
                     "Software\\SV.INI\\" + ProfileReg::encodedName(application));
}

std::vector<std::string> VrkiniTest::keysOf(const std::string& application) {
    std::vector<std::string> keys;
    StoreSession session(storeDir_);
    if (!keyExists(session.registry(), "Software\\SV.INI")) return keys;
    IProfile profile("SV.INI");
    IProfile::Cursor cursor(profile, application.c_str());
    for (cursor.moveToFirst(); cursor.isValid(); cursor.moveToNext()) {
        const IString name = profile.applicationOrKeyAt(cursor);
        keys.emplace_back(static_cast<const char*>(name), name.length());
    }
    return keys;
}

std::string assertionMessage(const char* expression) {
    return ILibraryMessage(1, expression).text();
}

std::vector<std::string> exceptionReport(unsigned indent, const std::string& className,
                                         const std::string& function, const std::string& file,
                                         unsigned line, const std::string& errorId,
                                         const std::string& group, const std::string& text) {
    const std::string p = std::string(indent, ' ') + ">";
    std::vector<std::string> lines = {
        p + className + " exception thrown.",
        p + "   function: " + function,
        p + "   file: " + file,
        p + "   line: " + std::to_string(line),
        p + "   Error Id is " + errorId,
        p + "   Error Code group is " + group,
        p + "   Exception text is:",
    };
    // A text with line feeds continues on further trace lines.
    for (const std::string& t : splitLines("      " + text)) lines.push_back(p + t);
    return lines;
}

std::vector<std::string> missingProfileReport(unsigned indent) {
    return exceptionReport(indent, "IInvalidRequest", "profile()", "vrkini", 54, "1",
                           "Other Error Group", assertionMessage("svINIExists==True"));
}

std::vector<std::string> missingEntryReport(unsigned indent, bool applicationMissing) {
    return exceptionReport(indent, "IAccessError",
                           "IProfile::elementWithKey(const char*,const char*) const", "iprofile",
                           applicationMissing ? 753 : 762, "2", "Presentation System",
                           "RegOpenKey:No error text is available.");
}

std::string joinLines(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& l : lines) out += "  |" + l + "\n";
    return out;
}

}  // namespace vrk::test
