// throwIt of the collection precondition classes: the text comes from the
// collection messages, else from the built-in texts below; the exception is
// reported at the caller's place and again at its own throwIt, then thrown.
//
// The function texts, file names and line numbers in the source locations
// and trace scopes of this file are part of the reports and trace lines that
// callers and logs rely on: they are fixed texts, not this file's own lines,
// and must not be "corrected".
#include "diag/iexc.hpp"
#include "diag/imessage.hpp"

namespace {

struct BuiltInText {
    unsigned long number;
    const char* text;
};

constexpr BuiltInText kBuiltInTexts[] = {
    {370, "child already exists"},
    {371, "collection is empty"},
    {372, "cursor not contained in collection"},
    {373, "cursor not for given collection"},
    {374, "cursor not for this collection"},
    {375, "identical collection"},
    {376, "invalid cursor"},
    {377, "invalid position"},
    {378, "invalid replacement"},
    {379, "key already exists"},
    {380, "key not contained"},
    {381, "collection is unbounded"},
    {382, "out of collection memory"},
    {383, "root already exists"},
    {384, "cyclic child attachment"},
};

const char* builtInText(unsigned long number) {
    for (const BuiltInText& entry : kBuiltInTexts) {
        if (entry.number == number) return entry.text;
    }
    return "unknown exception text";
}

template <class E>
[[noreturn]] void throwCollectionException(unsigned long messageNumber, const char* fileName,
                                           unsigned long lineNumber, const char* ownFunction,
                                           unsigned long ownLine) {
    static const char* const noInserts[9] = {};
    char loaded[ILibraryMessage::bufferSize];
    const char* text = loaded;
    if (!vrk::diag::loadMessage(vrk::diag::kCollectionMessages, messageNumber, noInserts, loaded,
                                sizeof loaded)) {
        text = builtInText(messageNumber);
    }
    E exception(text, 0, false);
    exception.recordLocation(ISourceLocation(fileName, "", lineNumber));
    exception.report();
    exception.recordLocation(ISourceLocation("iexc", ownFunction, ownLine));
    exception.report();
    throw exception;
}

}  // namespace

#define VRK_DEFINE_THROW_IT(Name, line)                                                            \
    void Name::throwIt(unsigned long messageNumber, const char* fileName,                          \
                       unsigned long lineNumber) {                                                 \
        throwCollectionException<Name>(messageNumber, fileName, lineNumber,                        \
                                       #Name "::throwIt(unsigned long,const char*,unsigned long)", \
                                       line);                                                      \
    }

VRK_DEFINE_THROW_IT(IPreconditionViolation, 42)
VRK_DEFINE_THROW_IT(IFullException, 43)
VRK_DEFINE_THROW_IT(IEmptyException, 44)
VRK_DEFINE_THROW_IT(INotEmptyException, 45)
VRK_DEFINE_THROW_IT(INotBoundedException, 46)
VRK_DEFINE_THROW_IT(ICursorInvalidException, 47)
VRK_DEFINE_THROW_IT(IPositionInvalidException, 48)
VRK_DEFINE_THROW_IT(INotContainsKeyException, 49)
VRK_DEFINE_THROW_IT(IKeyAlreadyExistsException, 51)
VRK_DEFINE_THROW_IT(IRootAlreadyExistsException, 53)
VRK_DEFINE_THROW_IT(IChildAlreadyExistsException, 55)
VRK_DEFINE_THROW_IT(IIdenticalCollectionException, 57)
VRK_DEFINE_THROW_IT(IInvalidReplacementException, 59)
VRK_DEFINE_THROW_IT(ICyclicAttachException, 60)
VRK_DEFINE_THROW_IT(IOutOfCollectionMemory, 62)
