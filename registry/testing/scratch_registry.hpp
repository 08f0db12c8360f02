// A private registry store for tests and benchmarks (vrk_registry_testing):
// the platform's own store kept in a directory of the caller's choosing,
// independent of the process-wide registry() and of the environment.
//
// Thread safety: the returned registry is as thread-safe as the platform's
// backend (usable from several threads; one thread per handle at a time).
#pragma once

#include <memory>
#include <string>

#include "registry/iregistry.hpp"

namespace vrk::reg {

// The platform's store kept in directory (Linux: the SQLite store, one
// database file there for all its hives, created on first write). On Windows, where the real registry cannot
// be relocated, the registry with its four roots mapped to keys below a
// private key HKEY_CURRENT_USER\Software\vrk-test-<pid>-<n>; the objects
// made for one directory share those keys while any of them lives, and the
// last one removes them.
std::unique_ptr<Registry> makeScratchRegistry(const std::string& directory);

// The store the registry rules' cases run against: makeScratchRegistry's,
// or hive files in directory when VRK_TEST_BACKEND is "hive" (where the
// platform's registry is our own).
std::unique_ptr<Registry> makeTestRegistry(const std::string& directory);

// True when the platform's registry makes a batch all or nothing (our
// store). The Windows registry has no batches: each call stands alone, and
// a rollback after a change fails with kNotSupported.
bool platformRegistryHasBatches();

}  // namespace vrk::reg
