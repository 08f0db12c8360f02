// The errors of the foundation classes (base/base_errors.hpp), raised as
// library errors of the exception family.
#include "base/base_errors.hpp"

#include "diag/iexc.hpp"

namespace vrk::base {

void raiseInvalidRequest(unsigned long messageId, const char* fileName, const char* functionName,
                         unsigned long lineNumber) {
    vrk::diag::raiseLibraryError(messageId, ISourceLocation(fileName, functionName, lineNumber),
                                 kInvalidRequest, true);
}

}  // namespace vrk::base
