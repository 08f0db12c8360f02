// A private registry store for tests and tools: the platform's own store kept
// in a directory of the caller's choosing, independent of the process-wide
// registry() and of the environment.
//
// Thread safety: the returned registry is as thread-safe as the platform's
// backend (usable from several threads; one thread per handle at a time).
#pragma once

#include <memory>
#include <string>

#include "platform/registry/iregistry.hpp"

namespace vrk::reg {

// The platform's store kept in directory (Linux: one SQLite file per hive
// there, created on first write). On Windows, where the real registry cannot
// be relocated, a store of the same kind in that directory.
std::unique_ptr<Registry> makeScratchRegistry(const std::string& directory);

}  // namespace vrk::reg
