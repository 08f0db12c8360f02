// The library's exception family: IException and its subclasses, the source
// locations they carry, the error-text objects, the reporters that write an
// exception's report, and the raise operations through which every library
// error is built, reported and thrown.
//
// Thread safety: an exception object belongs to the thread that holds it.
// The installed reporter is process-wide; install it before threads start.
// Reports from several threads are not serialised.
#pragma once

#include <string>

// Where an exception was raised: the source file's name text, the signature
// text of the function and the line. None of the texts is owned; they are
// normally string literals.
class ISourceLocation {
public:
    ISourceLocation(const char* fileName = 0, const char* functionName = 0,
                    unsigned long lineNumber = 0);

    const char* fileName() const;
    const char* functionName() const;
    unsigned long lineNumber() const;

private:
    const char* fileName_;
    const char* functionName_;
    unsigned long lineNumber_;
};

// Selects the class that throwLibraryError and throwErrorText throw.
enum IExceptionKind {
    kAccessError = 0,
    kDeviceError,
    kInvalidParameter,
    kInvalidRequest,
    kOutOfSystemResource,
    kOutOfWindowResource,
    kOutOfMemory,
    kResourceExhausted
};

class IExceptionReporter;

// Root of the exception family. Holds a stack of owned texts (index 0 is the
// newest), an error id (0 = none), a recoverable flag, an error code group
// (one of the group texts below, not owned) and up to five locations.
class IException {
public:
    // The error code groups.
    static const char* const baseLibrary;         // "Norvel Class Library"
    static const char* const CLibrary;            // "Standard C Library"
    static const char* const operatingSystem;     // "Operating System"
    static const char* const presentationSystem;  // "Presentation System"
    static const char* const other;               // "Other Error Group"

    enum { maxLocations = 5 };

    // A null errorText leaves the exception without text. The group starts as
    // baseLibrary; there is no location. Never throws: a text that cannot be
    // copied is left out.
    IException(const char* errorText, unsigned long errorId = 0, bool recoverable = true);
    // Copies everything, the texts as new copies. Never throws.
    IException(const IException& other);
    IException& operator=(const IException& other);

    // Releases the texts.
    virtual ~IException();
    // The recoverable flag given at construction.
    virtual bool canRecover() const;
    // Copies the location into the next place; when five are held, the fifth
    // is replaced.
    virtual IException& recordLocation(const ISourceLocation& location);
    // The class name text ("IException", "IInvalidRequest", ...).
    virtual const char* name() const;
    // Hands the exception to reportException of IException::reporter().
    virtual IException& report();
    // Ends the process through the runtime's terminate function.
    [[noreturn]] virtual void terminate();

    // A null text changes nothing; otherwise a copy becomes text 0.
    IException& pushText(const char* errorText);
    // Appends to text 0 without a separator; with no text yet, as pushText.
    IException& extendText(const char* errorText);
    unsigned numberOfTexts() const;
    // Text `index` (0 = newest), or null when index is not below the count.
    const char* textWithIndex(unsigned index = 0) const;

    unsigned long errorId() const;
    IException& setErrorId(unsigned long errorId);
    const char* errorCodeGroup() const;
    IException& setErrorCodeGroup(const char* errorGroup);

    unsigned numberOfLocations() const;
    // Location `index` in the order recorded, or null when index is not below
    // the count.
    const ISourceLocation* locationWithIndex(unsigned index) const;

    // Installs the process-wide reporter (not owned; null restores the
    // default). reporter() answers the installed one, else a default reporter
    // of the base class that writes to the console.
    static void setReporter(IExceptionReporter* reporter);
    static IExceptionReporter& reporter();

private:
    void copyTextsFrom(const IException& other);
    void releaseTexts();

    bool recoverable_;
    unsigned long errorId_;
    ISourceLocation locations_[maxLocations];
    unsigned locationCount_;
    char** texts_;  // texts_[0] is the oldest; textWithIndex reverses
    unsigned textCount_;
    unsigned textCapacity_;
    const char* errorCodeGroup_;
};

// Declares a class of the family with the constructor of IException and,
// where the class has one, its own name().
#define VRK_DECLARE_EXCEPTION(Name, Base)                                                \
    class Name : public Base {                                                           \
    public:                                                                              \
        Name(const char* errorText, unsigned long errorId = 0, bool recoverable = true); \
        Name(const Name& other);                                                         \
        Name& operator=(const Name& other) = default;                                    \
        ~Name() override;                                                                \
        const char* name() const override;                                               \
    };

// Collection precondition classes: throwIt loads the text of the message
// number (collection messages, else a built-in text), builds the exception
// (error id 0, not recoverable), records the given place and reports, then
// records its own place in "iexc" and reports again, and throws.
#define VRK_DECLARE_COLLECTION_EXCEPTION(Name, Base)                                        \
    class Name : public Base {                                                              \
    public:                                                                                 \
        Name(const char* errorText, unsigned long errorId = 0, bool recoverable = true);    \
        Name(const Name& other);                                                            \
        Name& operator=(const Name& other) = default;                                       \
        ~Name() override;                                                                   \
        const char* name() const override;                                                  \
        [[noreturn]] static void throwIt(unsigned long messageNumber, const char* fileName, \
                                         unsigned long lineNumber);                         \
    };

VRK_DECLARE_EXCEPTION(IAccessError, IException)
VRK_DECLARE_EXCEPTION(IAssertionFailure, IException)
VRK_DECLARE_EXCEPTION(IDeviceError, IException)
VRK_DECLARE_EXCEPTION(IInvalidParameter, IException)
VRK_DECLARE_EXCEPTION(IInvalidRequest, IException)
VRK_DECLARE_EXCEPTION(IResourceExhausted, IException)
VRK_DECLARE_COLLECTION_EXCEPTION(IPreconditionViolation, IException)

VRK_DECLARE_EXCEPTION(IOutOfMemory, IResourceExhausted)
VRK_DECLARE_EXCEPTION(IOutOfSystemResource, IResourceExhausted)
VRK_DECLARE_EXCEPTION(IOutOfWindowResource, IResourceExhausted)

VRK_DECLARE_COLLECTION_EXCEPTION(IOutOfCollectionMemory, IOutOfMemory)

VRK_DECLARE_COLLECTION_EXCEPTION(IFullException, IPreconditionViolation)
VRK_DECLARE_COLLECTION_EXCEPTION(IEmptyException, IPreconditionViolation)
VRK_DECLARE_COLLECTION_EXCEPTION(INotEmptyException, IPreconditionViolation)
VRK_DECLARE_COLLECTION_EXCEPTION(INotBoundedException, IPreconditionViolation)
VRK_DECLARE_COLLECTION_EXCEPTION(ICursorInvalidException, IPreconditionViolation)
VRK_DECLARE_COLLECTION_EXCEPTION(IPositionInvalidException, IPreconditionViolation)
VRK_DECLARE_COLLECTION_EXCEPTION(INotContainsKeyException, IPreconditionViolation)
VRK_DECLARE_COLLECTION_EXCEPTION(IKeyAlreadyExistsException, IPreconditionViolation)
VRK_DECLARE_COLLECTION_EXCEPTION(IRootAlreadyExistsException, IPreconditionViolation)
VRK_DECLARE_COLLECTION_EXCEPTION(IChildAlreadyExistsException, IPreconditionViolation)
VRK_DECLARE_COLLECTION_EXCEPTION(IIdenticalCollectionException, IPreconditionViolation)
VRK_DECLARE_COLLECTION_EXCEPTION(IInvalidReplacementException, IPreconditionViolation)
VRK_DECLARE_COLLECTION_EXCEPTION(ICyclicAttachException, IPreconditionViolation)

VRK_DECLARE_EXCEPTION(INotBoundedExceptionImpl, INotBoundedException)
VRK_DECLARE_EXCEPTION(INotContainsKeyExceptionImpl, INotContainsKeyException)
VRK_DECLARE_EXCEPTION(IIdenticalCollectionExceptionImpl, IIdenticalCollectionException)
VRK_DECLARE_EXCEPTION(IOutOfCollectionMemoryImpl, IOutOfCollectionMemory)

#undef VRK_DECLARE_EXCEPTION
#undef VRK_DECLARE_COLLECTION_EXCEPTION

// Receives exception reports. writeLine writes one report text (which may
// hold line feeds): the base class prints it with "%s\n" to standard error
// on the NT family (and Linux), else to standard output, without flushing.
// reportException writes the whole report through the current reporter's
// writeLine, then calls afterReport (which does nothing here).
class IExceptionReporter {
public:
    virtual ~IExceptionReporter();
    virtual void writeLine(const char* text);
    virtual void reportException(const IException& exception);
    virtual void afterReport();
};

// The reporter installed at start-up: each text goes to ITraceLog::write, so
// a report is visible exactly when tracing is enabled.
class ITraceExceptionReporter : public IExceptionReporter {
public:
    void writeLine(const char* text) override;
};

// An error number and its text, for throwErrorText.
class IErrorText {
public:
    virtual ~IErrorText();
    unsigned long errorId() const;
    const char* text() const;

protected:
    IErrorText();
    // Sets the id and the text: "<callName>:<message>" with a call name,
    // else the message alone.
    void setError(unsigned long errorId, const char* callName, const char* message);

private:
    unsigned long errorId_;
    std::string text_;
};

// The platform's message for a system error number ("No error text is
// available." when there is none). Group: operatingSystem.
class ISystemErrorText : public IErrorText {
public:
    ISystemErrorText(unsigned long errorId, const char* callName = 0);
};

// The C runtime's current errno and its message ("No Error text is
// available" when there is none). Group: CLibrary.
class ICLibraryErrorText : public IErrorText {
public:
    ICLibraryErrorText(const char* callName = 0);
};

// The platform's last-error code; the message is always "No error text is
// available.". Group: presentationSystem.
class IWindowSystemErrorText : public IErrorText {
public:
    IWindowSystemErrorText(const char* callName = 0);
};

// Raise operations. Each builds the exception, records the location, reports
// it and throws it.

// IInvalidRequest, id 1, recoverable, group other, text: library message 1
// with the expression as insert.
[[noreturn]] void assertState(const char* expression, const ISourceLocation& location);
// IInvalidParameter, id 1, recoverable, group other, text: library message 1
// with the expression as insert.
[[noreturn]] void assertParameter(const char* expression, const ISourceLocation& location);
// IAssertionFailure, id 0, not recoverable, group other, text: the
// expression itself.
[[noreturn]] void assertTrue(const char* expression, const ISourceLocation& location);
// The class chosen by kind, group baseLibrary, text: library message
// errorId with insertText (may be null). A kind above 7 returns at once.
void throwLibraryError(unsigned long errorId, const ISourceLocation& location,
                       IExceptionKind kind = kInvalidRequest, bool recoverable = true,
                       const char* insertText = 0);
// The class chosen by kind, id and text from errorText, the given group.
// A kind above 7 returns at once.
void throwErrorText(const IErrorText& errorText, const ISourceLocation& location,
                    IExceptionKind kind = kAccessError, bool recoverable = true,
                    const char* errorCodeGroup = IException::presentationSystem);

namespace vrk::diag {

// throwLibraryError and throwErrorText for the library's own raises, whose
// kind is always one of the known ones: they never return.
[[noreturn]] void raiseLibraryError(unsigned long errorId, const ISourceLocation& location,
                                    IExceptionKind kind, bool recoverable,
                                    const char* insertText = 0);
// A non-null furtherText becomes the exception's second text (the platform's
// own account of the failure), reported after the error text.
[[noreturn]] void raiseErrorText(const IErrorText& errorText, const ISourceLocation& location,
                                 IExceptionKind kind, bool recoverable, const char* errorCodeGroup,
                                 const char* furtherText = 0);

// For tests: while set, every report behaves as if its work buffer could
// not be obtained and is written by the console fallback.
void setReportBufferUnavailable(bool unavailable);

// Suspends the library's out-of-memory handler on the calling thread for
// its lifetime: a failed allocation then raises std::bad_alloc instead of
// IOutOfMemory, and nothing is reported. Suspensions nest.
class NewHandlerSuspension {
public:
    NewHandlerSuspension();
    ~NewHandlerSuspension();
    NewHandlerSuspension(const NewHandlerSuspension&) = delete;
    NewHandlerSuspension& operator=(const NewHandlerSuspension&) = delete;
};

}  // namespace vrk::diag
