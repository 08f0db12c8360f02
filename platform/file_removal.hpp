// Removal of a plain file with the outcome of Windows' runtime remove() on
// every platform: a directory is never removed, and a read-only file is
// kept.
//
// Thread safety: as the file system's own calls.
#pragma once

namespace vrk::platform {

// Removes the file at path (relative paths are taken from the working
// directory). Returns true on success. Fails, leaving everything in place,
// when there is no such file, when path names a directory, when the file is
// read-only (on Linux: no write permission for anyone), or when the system
// refuses (a file in use on Windows).
bool removePlainFile(const char* path);

}  // namespace vrk::platform
