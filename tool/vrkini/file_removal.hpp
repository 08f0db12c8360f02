// Removal of a plain file, with the same outcome on every platform.
//
// Thread safety: as the file system's own calls.
#pragma once

// Removes the file at path (relative paths are taken from the working
// directory). Returns true on success. Fails, leaving everything in place,
// when there is no such file, when path names a directory, when the file is
// read-only (no write permission for anyone), or when the system refuses.
bool removeFile(const char* path);
