// How the foundation classes raise their errors. The exception family sits
// above them (diag/), so base/ only declares the one call it needs; diag/
// defines it.
#pragma once

namespace vrk::base {

// Raises the library error messageId (a recoverable IInvalidRequest with the
// library's text for that id) at the place given by the source file's short
// name, the function and the line. Never returns.
[[noreturn]] void raiseInvalidRequest(unsigned long messageId, const char* fileName,
                                      const char* functionName, unsigned long lineNumber);

}  // namespace vrk::base
