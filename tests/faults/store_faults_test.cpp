// The commands on a store whose file operations fail: for every N, a whole
// `vrkreg import` and a whole `vrkini -UPDATE` run on a SQLite VFS that fails
// the Nth read, write, sync, lock or open, until a run meets no failure.
// After each run the store passes SQLite's integrity check, holds the state
// before or the state after the command (vrkini: entry by entry), and a
// command that left anything short of the state after said so.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/faults/store_snapshot.hpp"
#include "tests/harness/run_program.hpp"
#include "tests/support/temp_dir.hpp"

#ifndef VRK_FAULT_VRKREG
#define VRK_FAULT_VRKREG ""
#endif
#ifndef VRK_FAULT_VRKINI
#define VRK_FAULT_VRKINI ""
#endif
#ifndef VRK_FAULT_SOURCE_DIR
#define VRK_FAULT_SOURCE_DIR ""
#endif
// Every how many operations a plan strikes: 1 (each) in the standard build;
// the sanitizer build, many times slower, samples.
#ifndef VRK_FAULT_STRIDE
#define VRK_FAULT_STRIDE 1
#endif

namespace vrk::test {
namespace {

namespace fs = std::filesystem;

class StoreFaults : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        // The store lives in memory where the system offers it: the loop
        // syncs thousands of times.
        std::string base = (fs::exists("/dev/shm") && ::access("/dev/shm", W_OK) == 0)
                               ? std::string("/dev/shm")
                               : fs::temp_directory_path().string();
        scratch_ = std::make_unique<vrk::testing::TempDir>("vrk-faults-", base);
        root_ = scratch_->path();
        template_ = root_ + "/template";
        store_ = root_ + "/store";
        work_ = root_ + "/work";
        fs::create_directories(template_);
        fs::create_directories(work_);
        ASSERT_FALSE(std::string(VRK_FAULT_VRKREG).empty());
    }
    void TearDown() override { scratch_.reset(); }
    std::unique_ptr<vrk::testing::TempDir> scratch_;

    void write(const std::string& name, const std::string& text) {
        std::ofstream out(root_ + "/" + name, std::ios::binary | std::ios::trunc);
        out << text;
    }

    // Runs program on store_ with the plan ("" none); injected tells whether
    // the plan made an operation fail.
    ProgramRun run(const char* program, const std::vector<std::string>& arguments,
                   const std::string& plan, bool& injected,
                   const std::map<std::string, std::string>& extra = {}) {
        const std::string log = root_ + "/injected.log";
        std::error_code ec;
        fs::remove(log, ec);
        ProgramOptions options;
        options.arguments = arguments;
        options.workingDirectory = work_;
        options.environment = extra;
        options.environment["TORQA REGISTRY"] = store_;
        if (!plan.empty()) options.environment["VRK_FAULT_VFS"] = plan + " log=" + log;
        ProgramRun result = runProgram(program, options, root_);
        injected = fs::exists(log);
        return result;
    }

    // Fills the template store with the normal vrkreg.
    void loadTemplate(const std::string& regText) {
        write("base.reg", regText);
        std::string saved = store_;
        store_ = template_;
        bool injected = false;
        ProgramRun r = run(VRK_FAULT_VRKREG, {"import", root_ + "/base.reg"}, "", injected);
        store_ = saved;
        ASSERT_EQ(r.exitStatus, 0) << r.standardError;
    }

    // The first line of the failure log of the last run ("" none).
    std::string lastInjection() {
        std::ifstream in(root_ + "/injected.log");
        std::string line;
        std::getline(in, line);
        return line;
    }

    // Runs the command once on a copy of the template for every N from 1
    // on (every VRK_FAULT_STRIDE-th), with the test's plan failing the Nth
    // operation, until a run meets no failure. judge(run, now, injection) names the promises the run broke
    // ("" none); it is called with an empty injection for the last run.
    template <class Judge>
    std::string loop(const char* program, const std::vector<std::string>& arguments,
                     const std::map<std::string, std::string>& environment, Judge&& judge) {
        std::string broken;
        for (unsigned n = 1;; n += VRK_FAULT_STRIDE) {
            if (n > 20000) return broken + "the plan never ran out\n";
            copyStore(template_, store_);
            const std::string plan = "at=" + std::to_string(n) + " " + GetParam();
            bool injected = false;
            ProgramRun r = run(program, arguments, plan, injected, environment);
            const std::string injection = injected ? lastInjection() : "";
            std::string verdict;
            if (r.standardError.find("Sanitizer") != std::string::npos ||
                r.standardError.find("runtime error:") != std::string::npos) {
                verdict += "  the sanitizers objected:\n" + r.standardError;
            }
            const std::string check = integrity(store_);
            if (check != "ok") verdict += "  integrity check: " + check + "\n";
            verdict += judge(r, snapshot(store_), injection);
            if (!verdict.empty()) {
                broken += "plan \"" + plan + "\" (" + (injected ? injection : "no failure") +
                          "):\n" + verdict;
            }
            if (!injected) {
                if (n == 1)
                    broken += "the first operation did not fail: no fault VFS in " +
                              std::string(program) + "\n";
                return broken;
            }
        }
    }

    std::string root_, template_, store_, work_;
};

// The plans: an I/O error that strikes once, counted over each kind of
// operation apart (so that the runs split into tests of a size CTest can
// run side by side), and a disk that stays full from the Nth write or sync
// on. The import, a single command, also meets a store on which every
// operation fails from the Nth on.
class ImportFaults : public StoreFaults {};
class VrkiniFaults : public StoreFaults {};

std::string planName(const ::testing::TestParamInfo<const char*>& info) {
    const std::string plan = info.param;
    if (plan == "ops=read") return "ReadFails";
    if (plan == "ops=lock") return "LockFails";
    if (plan == "ops=write,sync,open") return "WriteSyncOrOpenFails";
    if (plan == "ops=write,sync full persistent") return "DiskStaysFull";
    return "EverythingFailsFromThenOn";
}

INSTANTIATE_TEST_SUITE_P(Plans, ImportFaults,
                         ::testing::Values("ops=read", "ops=lock", "ops=write,sync,open",
                                           "ops=write,sync full persistent", "ops=all persistent"),
                         planName);
INSTANTIATE_TEST_SUITE_P(Plans, VrkiniFaults,
                         ::testing::Values("ops=read", "ops=lock", "ops=write,sync,open",
                                           "ops=write,sync full persistent"),
                         planName);

// The store before the import, and the import: keys changed, added and
// deleted in two hives, and a value that spans several pages.
const char kBaseReg[] =
    "Windows Registry Editor Version 5.00\n\n"
    "[HKEY_CLASSES_ROOT\\.vrk]\n"
    "@=\"before\"\n\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Vendor]\n"
    "\"Kept\"=\"before\"\n\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Vendor\\Gone]\n"
    "\"x\"=\"y\"\n\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Vendor\\Old]\n"
    "\"Count\"=dword:00000001\n";

const char kImportReg[] =
    "Windows Registry Editor Version 5.00\n\n"
    "[HKEY_CLASSES_ROOT\\.vrk]\n"
    "@=\"after\"\n\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Vendor]\n"
    "\"Kept\"=\"after\"\n"
    "\"Added\"=hex:00,01,02,03\n\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Vendor\\Old]\n"
    "\"Count\"=dword:00000002\n\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Vendor\\New\\Deeper]\n"
    "@=\"default\"\n"
    "\"List\"=hex(7):61,00,00,00,62,00,00,00,00,00\n\n"
    "[-HKEY_LOCAL_MACHINE\\Software\\Vendor\\Gone]\n\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Vendor\\Third]\n"
    "\"Big\"=hex:";  // the bytes follow

TEST_P(ImportFaults, ImportIsWhollyThereOrNot) {
    loadTemplate(kBaseReg);
    std::string big;
    for (int i = 0; i < 3000; ++i) big += (i ? ",5a" : "5a");  // spans pages
    write("import.reg", std::string(kImportReg) + big + "\n");
    const std::vector<std::string> args = {"import", root_ + "/import.reg"};
    const Snapshot before = snapshot(template_);

    copyStore(template_, store_);
    bool injected = false;
    ProgramRun clean = run(VRK_FAULT_VRKREG, args, "at=0", injected);
    ASSERT_EQ(clean.exitStatus, 0) << clean.standardError;
    const Snapshot after = snapshot(store_);
    ASSERT_NE(before, after);

    const std::string broken = loop(
        VRK_FAULT_VRKREG, args, {},
        [&](const ProgramRun& r, const Snapshot& now, const std::string& injection) -> std::string {
            if (injection.empty()) {
                if (r.exitStatus != 0 || now != after) return "  a run without a failure failed\n";
                return "";
            }
            if (r.exitStatus == 0) {
                return now == after
                           ? ""
                           : "  success reported, but the store holds\n" + difference(now, after);
            }
            if (r.standardError.empty()) return "  failed without a message\n";
            if (now == before) return "";
            // A commit that failed after its log reached the disk: the next
            // process finds it whole, and the message must not deny it.
            if (now == after && r.standardError.find("may have been applied whole or not at all") !=
                                    std::string::npos)
                return "";
            return "  failure reported, but the store holds\n" + difference(now, before) +
                   "  message: " + r.standardError;
        });
    EXPECT_EQ(broken, "");
}

TEST_P(VrkiniFaults, EachEntryIsOldOrNewAndAFailureIsSaid) {
    std::ifstream in(std::string(VRK_FAULT_SOURCE_DIR) + "/examples/sv-ini.reg", std::ios::binary);
    ASSERT_TRUE(in) << VRK_FAULT_SOURCE_DIR << "/examples/sv-ini.reg";
    loadTemplate(std::string(std::istreambuf_iterator<char>(in), {}));
    const std::vector<std::string> args = {"-UPDATE", "C:\\SELVARINE"};
    const std::map<std::string, std::string> trace = {{"TORQA TRACE", "NOPREFIX"},
                                                      {"TORQA TRACETO", "STDERR"}};
    const Snapshot before = snapshot(template_);

    copyStore(template_, store_);
    bool injected = false;
    ProgramRun clean = run(VRK_FAULT_VRKINI, args, "at=0", injected, trace);
    ASSERT_EQ(clean.exitStatus, 0);
    ASSERT_EQ(clean.standardError.find("No Selvarine profile was found"), std::string::npos)
        << clean.standardError;
    const Snapshot after = snapshot(store_);
    ASSERT_NE(before, after);

    const std::string broken = loop(
        VRK_FAULT_VRKINI, args, trace,
        [&](const ProgramRun& r, const Snapshot& now, const std::string& injection) -> std::string {
            std::string verdict;
            if (r.exitStatus != 0)
                verdict += "  exit status " + std::to_string(r.exitStatus) + "\n";
            if (injection.empty()) {
                if (now != after) verdict += "  a run without a failure differs\n";
                return verdict;
            }
            const bool failureLine =
                r.standardError.find("No Selvarine profile was found") != std::string::npos;
            std::map<std::string, bool> paths;
            for (const Snapshot* s : {&before, &after, &now}) {
                for (const auto& [path, values] : *s) paths[path] = true;
            }
            for (const auto& [path, unused] : paths) {
                (void)unused;
                const Entry was = entryOf(before, path);
                const Entry is = entryOf(now, path);
                const Entry shouldBe = entryOf(after, path);
                if (is == shouldBe || failureLine) {
                    if (!oldNewOrPartWay(is, was, shouldBe)) {
                        verdict += "  " + path + " is neither old nor new\n";
                    }
                    continue;
                }
                // Left short of the state after, and nothing said so.
                verdict += "  " + path + " left short of its new state without a failure line\n";
            }
            return verdict;
        });
    EXPECT_EQ(broken, "");
}

}  // namespace
}  // namespace vrk::test
