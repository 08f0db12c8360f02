// Whether a path names an existing directory, asked of the file system with
// the path's own bytes.
//
// On Windows a char path is text in the process's ANSI code page, as the
// system's "A" calls take it: the same bytes name other characters on
// another code page, so the path is never converted by hand (a byte-wise
// widening, as std::filesystem::path does with mingw, would name
// U+0080 to U+00FF instead). On Linux a path is bytes.
//
// Thread safety: as the file system's own calls; relative paths depend on
// the process's working directory.
#pragma once

namespace vrk::platform {

// True when path names an existing directory (a link to one counts), a
// relative path being taken from the working directory. False for a null
// or empty path, for a file that is no directory, and when the system
// refuses the query.
bool isExistingDirectory(const char* path);

}  // namespace vrk::platform
