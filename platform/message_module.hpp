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
// determined or does not fit; buffer then holds an empty text. On Windows
// the text is in the process's ANSI code page, where a character of the
// program's folder that the code page lacks is shown as "?": the name is
// for showing; loadDefaultModuleMessage reads the module itself.
bool defaultMessageModulePath(const char* moduleBaseName, char* buffer, std::size_t size);

// Copies the raw text of message messageId of set setId from the module
// file moduleName into buffer (size bytes, at least 1), cut to fit, inserts
// untouched. moduleName is a char path as the environment gives it (on
// Windows, in the ANSI code page). Returns false, leaving buffer empty, when
// the module cannot be opened or holds no such message. Never throws.
bool loadModuleMessage(const char* moduleName, unsigned setId, unsigned long messageId,
                       char* buffer, std::size_t size);

// The same from the default module of moduleBaseName (see
// defaultMessageModulePath). On Windows the program's own path is taken
// from the system as wide text and the module loaded with it, so that a
// program folder named with characters outside the ANSI code page is found.
bool loadDefaultModuleMessage(const char* moduleBaseName, unsigned setId, unsigned long messageId,
                              char* buffer, std::size_t size);

}  // namespace vrk::platform
