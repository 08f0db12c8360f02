// Compaction of a hive file: the cells reachable from the root key (keys,
// subkey lists, value lists, values and their data, big-data segments,
// class names and security cells) are copied in one pass into fresh bins,
// with their offsets renumbered, and nothing else. hivex never reuses the
// space it frees and copies a key's subkey list for every child it adds, so
// a hive it wrote after many changes is mostly dead cells; the compact copy
// holds what a reader finds, cell for cell.
//
// Volatile subkey lists are dropped (they mean nothing in a file), security
// cells are linked in the order first met and their reference counts
// recounted, and the base block is kept with its root offset, data size and
// checksum brought up to date.
//
// Thread safety: pure functions.
#pragma once

#include <string>
#include <string_view>

namespace vrk::reg::hive {

struct HiveAdditions;

// The compact copy of image (a whole hive file) in *out. False, with the
// reason in *why, when a reachable record is out of bounds or not of its
// kind: the caller then keeps the image as it is.
bool compactHive(std::string_view image, std::string* out, std::string* why);

enum class Compacted {
    compacted,  // the file holds the compact copy, synced
    kept,       // it could not be read or compacted: it is as it was (*why)
    failed,     // writing it failed part way: it is no hive any more (*why)
};

// Compacts the hive file at path in place: read, compacted in memory,
// written back over it and synced. With additions (hive_additions.hpp),
// their records are appended to the image first: an image that cannot be
// compacted is then written with them, uncompacted (kept), and one they
// cannot be added to is a failure, never kept as it is.
Compacted compactHiveFile(const std::string& path, std::string* why,
                          const HiveAdditions* additions = nullptr);

}  // namespace vrk::reg::hive
