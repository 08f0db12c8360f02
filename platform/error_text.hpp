// The platform's message texts for system error numbers (the numbers that
// the registry layer and the other platform calls return).
//
// Thread safety: may be called from any thread.
#pragma once

#include <cstddef>

namespace vrk::platform {

// Copies the platform's message for errorId into buffer (size bytes, at
// least 1), at most 255 bytes of text, with a trailing carriage return and
// line feed removed. Returns false, leaving buffer empty, when the platform
// has no message for the number.
bool systemErrorMessage(unsigned long errorId, char* buffer, std::size_t size);

}  // namespace vrk::platform
