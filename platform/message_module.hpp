// The platform's message module: a file of numbered message texts, grouped
// in sets. On Linux it is an X/Open message catalog (built with gencat and
// read with catopen/catgets); the Windows form is a message-table module.
//
// Thread safety: every function may be called from any thread.
#pragma once

#include <cstddef>

namespace vrk::platform {

// The file name of the default message module, moduleBaseName followed by
// the platform's suffix, found relative to the running program:
// <directory of the program>/../share/vrk/<moduleBaseName>.cat on Linux.
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
