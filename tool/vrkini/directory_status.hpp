// Whether a path names an existing directory, the same way on every platform.
//
// Thread safety: as the file system's own calls; relative paths depend on
// the process's working directory.
#pragma once

#include "base/istring.hpp"

// True when path (up to its first zero byte) names an existing directory,
// a relative path being taken from the working directory. False for an
// empty path and for any path holding a wildcard character ("*" or "?"),
// which can never name a directory on Windows; on Linux both are legal in
// file names, so they are refused explicitly.
bool isExistingDirectory(const IString& path);
