// The smallest valid hive file: a base block, one 4 KiB bin holding a root
// key cell with no subkeys or values and the security cell every key of a
// hive refers to, and a free cell for the rest of the bin. hivex can fill a
// hive but cannot make one from nothing; new hives start from this image.
//
// Thread safety: pure functions.
#pragma once

#include <string>

namespace vrk::reg::hive {

// The bytes of an empty hive whose root key is called rootName (ASCII,
// at most 64 characters).
std::string emptyHiveImage(const std::string& rootName);

// Writes an empty hive to path (created, or replaced), synced to disk.
// False with a reason in *error when it cannot.
bool writeEmptyHive(const std::string& path, const std::string& rootName, std::string* error);

}  // namespace vrk::reg::hive
