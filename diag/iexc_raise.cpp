// The raise operations: build the exception, record where it was raised,
// report it, throw it.
#include <cstdlib>

#include "diag/iexc.hpp"
#include "diag/imessage.hpp"

namespace {

template <class E>
[[noreturn]] void raise(E exception, const ISourceLocation& location) {
    exception.recordLocation(location);
    exception.report();
    throw exception;
}

template <class E>
[[noreturn]] void raiseWith(const char* text, unsigned long errorId, bool recoverable,
                            const char* group, const ISourceLocation& location,
                            const char* furtherText = 0) {
    E exception(text, errorId, recoverable);
    exception.setErrorCodeGroup(group);
    exception.pushText(furtherText);  // a null text adds nothing
    raise(exception, location);
}

// Raises the class selected by kind; the callers check that they know it.
[[noreturn]] void raiseByKind(IExceptionKind kind, const char* text, unsigned long errorId,
                              bool recoverable, const char* group, const ISourceLocation& location,
                              const char* more = 0) {
    switch (kind) {
    case kAccessError: raiseWith<IAccessError>(text, errorId, recoverable, group, location, more);
    case kDeviceError: raiseWith<IDeviceError>(text, errorId, recoverable, group, location, more);
    case kInvalidParameter:
        raiseWith<IInvalidParameter>(text, errorId, recoverable, group, location, more);
    case kInvalidRequest:
        raiseWith<IInvalidRequest>(text, errorId, recoverable, group, location, more);
    case kOutOfSystemResource:
        raiseWith<IOutOfSystemResource>(text, errorId, recoverable, group, location, more);
    case kOutOfWindowResource:
        raiseWith<IOutOfWindowResource>(text, errorId, recoverable, group, location, more);
    case kOutOfMemory: raiseWith<IOutOfMemory>(text, errorId, recoverable, group, location, more);
    case kResourceExhausted:
        raiseWith<IResourceExhausted>(text, errorId, recoverable, group, location, more);
    }
    std::abort();  // an unknown kind: the callers never pass one
}

bool isKnownKind(IExceptionKind kind) {
    return static_cast<unsigned>(kind) <= static_cast<unsigned>(kResourceExhausted);
}

}  // namespace

void assertState(const char* expression, const ISourceLocation& location) {
    ILibraryMessage text(1, expression);
    raiseWith<IInvalidRequest>(text, 1, true, IException::other, location);
}

void assertParameter(const char* expression, const ISourceLocation& location) {
    ILibraryMessage text(1, expression);
    raiseWith<IInvalidParameter>(text, 1, true, IException::other, location);
}

void assertTrue(const char* expression, const ISourceLocation& location) {
    raiseWith<IAssertionFailure>(expression, 0, false, IException::other, location);
}

void throwLibraryError(unsigned long errorId, const ISourceLocation& location, IExceptionKind kind,
                       bool recoverable, const char* insertText) {
    if (!isKnownKind(kind)) return;
    ILibraryMessage text(errorId, insertText);
    raiseByKind(kind, text, errorId, recoverable, IException::baseLibrary, location);
}

void throwErrorText(const IErrorText& errorText, const ISourceLocation& location,
                    IExceptionKind kind, bool recoverable, const char* errorCodeGroup) {
    if (!isKnownKind(kind)) return;
    raiseByKind(kind, errorText.text(), errorText.errorId(), recoverable, errorCodeGroup, location);
}

namespace vrk::diag {

void raiseLibraryError(unsigned long errorId, const ISourceLocation& location, IExceptionKind kind,
                       bool recoverable, const char* insertText) {
    ILibraryMessage text(errorId, insertText);
    raiseByKind(kind, text, errorId, recoverable, IException::baseLibrary, location);
}

void raiseErrorText(const IErrorText& errorText, const ISourceLocation& location,
                    IExceptionKind kind, bool recoverable, const char* errorCodeGroup,
                    const char* furtherText) {
    raiseByKind(kind, errorText.text(), errorText.errorId(), recoverable, errorCodeGroup, location,
                furtherText);
}

}  // namespace vrk::diag
