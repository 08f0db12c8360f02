// Appending one trace line to the trace's file destination without ever
// stopping the caller.
// Thread safety: may be called from any thread; each call opens and closes
// the file on its own.
#pragma once

#include <cstddef>
#include <string>

namespace vrk::platform {

// Appends size bytes to the file at path, creating a missing file. A regular
// file gets the whole line at its end. Anything that cannot take the line at
// once is never waited for: a FIFO without a reader, a full pipe or socket,
// a device that would block. Such a line, or its rest, is dropped. Returns
// false when the file could not be opened or the line was not written whole.
bool appendTraceLine(const std::string& path, const char* data, std::size_t size);

}  // namespace vrk::platform
