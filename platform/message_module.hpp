// The platform's message module: a file of numbered message texts, grouped
// in sets. On Linux it is an X/Open message catalog (built with gencat and
// read with catopen/catgets); on Windows it is a resource-only DLL holding
// a message table (built with windmc and windres from the same source),
// read with FormatMessageA in the system's default language, message n of
// set s being the table's entry (s << 16) | n.
//
// Thread safety: every function may be called from any thread.
#pragma once

#include <cstddef>

namespace vrk::platform {

// The file name of the default message module, moduleBaseName followed by
// the platform's suffix, found relative to the running program:
// <directory of the program>/../share/vrk/<moduleBaseName>.cat on Linux,
// <directory of the program>\<moduleBaseName>.dll on Windows.
// Writes it into buffer (size bytes) and returns false when it cannot be
// determined or does not fit; buffer then holds an empty text.
bool defaultMessageModulePath(const char* moduleBaseName, char* buffer, std::size_t size);

// Copies the raw text of message messageId of set setId from the module
// file moduleName into buffer (size bytes, at least 1), cut to fit, inserts
// untouched. Returns false, leaving buffer empty, when the module cannot be
// opened or holds no such message. Never throws.
bool loadModuleMessage(const char* moduleName, unsigned setId, unsigned long messageId,
                       char* buffer, std::size_t size);

}  // namespace vrk::platform
