// A SQLite VFS for tests that fails chosen file operations below the
// registry store: it wraps the default VFS and makes the Nth read, write,
// sync, lock or open (counted together over every file the process opens
// through it) fail with an I/O error or a full disk, once or from then on.
//
// Nothing here runs unless a test installs it: the store's own code never
// refers to it, and a program gets it only by linking a test-only installer
// (tests/faults/fault_vfs_install.cpp), which reads its plan from the
// environment variable VRK_FAULT_VFS.
//
// Thread safety: install before any thread opens a database; the counting
// itself is atomic.
#pragma once

#include <cstdint>
#include <string>

namespace vrk::reg::faultvfs {

// The operations a plan counts (a bit mask).
enum Operation : unsigned {
    kRead = 1,
    kWrite = 2,
    kSync = 4,
    kLock = 8,  // file locks and the write-ahead log's exclusive shared-memory locks
    kOpen = 16,
    kAllOperations = 31,
};

struct Plan {
    std::uint64_t at = 0;  // the counted operation that fails first (1 = the first);
                           // 0: none fails, the operations are only counted
    unsigned operations = kAllOperations;
    bool diskFull = false;    // SQLITE_FULL instead of an I/O error
    bool persistent = false;  // every later counted operation fails too
    std::string log;          // a file that gets one line per injected failure ("" none)
};

// Reads a plan from text such as "at=17 ops=write,sync full persistent
// log=/tmp/x". Words: at=N, ops=<list of read,write,sync,lock,open,all>,
// full, persistent, log=PATH. False on anything else.
bool parsePlan(const std::string& text, Plan& plan);

// Registers the VFS "vrk-faults" over the current default VFS and makes it
// the default, with this plan. Installing again replaces the plan and resets
// the count. Returns false when SQLite refuses the registration.
bool install(const Plan& plan);

// Makes the wrapped VFS the default again (databases opened meanwhile keep
// the fault VFS until they are closed).
void uninstall();

// The operations counted since the plan was installed, and the failures
// injected.
std::uint64_t operationsCounted();
std::uint64_t failuresInjected();

}  // namespace vrk::reg::faultvfs
