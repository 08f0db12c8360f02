// Linked only into the test builds of the programs (vrkreg_faults,
// vrkini_faults): before main runs, installs the fault-injecting SQLite VFS
// with the plan in the environment variable VRK_FAULT_VFS (see
// registry/testing/fault_vfs.hpp). Without the variable the program
// runs on the default VFS, exactly as its normal build.
#include <cstdio>
#include <cstdlib>

#include "registry/testing/fault_vfs.hpp"

namespace {

bool installFromEnvironment() {
    const char* text = std::getenv("VRK_FAULT_VFS");
    if (text == nullptr) return false;
    vrk::reg::faultvfs::Plan plan;
    if (!vrk::reg::faultvfs::parsePlan(text, plan) || !vrk::reg::faultvfs::install(plan)) {
        std::fprintf(stderr, "VRK_FAULT_VFS: cannot use the plan \"%s\"\n", text);
        std::exit(99);
    }
    return true;
}

const bool installed = installFromEnvironment();

}  // namespace
