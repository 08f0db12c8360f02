// Library message texts, loaded by number from the library's message module
// with up to nine insert texts.
//
// The module is the file named by the environment variable "TORQA MSGFILE",
// else the library's default module; the name is looked up once and kept.
//
// Thread safety: ILibraryMessage objects are independent values; loading
// may run on several threads at once.
#pragma once

#include <cstddef>

class ILibraryMessage {
public:
    // Loads message messageId and substitutes %1 to %9 with the inserts (the
    // list ends at the first null insert; "%%" gives "%"); a trailing carriage
    // return and line feed are removed and the text is cut to the buffer of
    // 2048 bytes. When the module or the message cannot be found, the text is
    // "Unable to load text from message file.". The out-of-memory handler is
    // suspended while the text is loaded. Never throws.
    ILibraryMessage(unsigned long messageId, const char* insert1 = 0, const char* insert2 = 0,
                    const char* insert3 = 0, const char* insert4 = 0, const char* insert5 = 0,
                    const char* insert6 = 0, const char* insert7 = 0, const char* insert8 = 0,
                    const char* insert9 = 0);

    const char* text() const;
    operator const char*() const;

    enum { bufferSize = 2048 };

private:
    char text_[bufferSize];
};

namespace vrk::diag {

// The message sets of the library's module.
enum MessageSet : unsigned {
    kLibraryMessages = 1,     // numbered library messages (ILibraryMessage)
    kCollectionMessages = 2,  // collection precondition texts
};

// The text shown when a message cannot be loaded.
extern const char* const kMessageUnavailable;  // "Unable to load text from message file."

// Loads message messageId of the set into buffer (size bytes, at least 1)
// with inserts substituted (inserts[0..8], the list ends at the first null)
// and a trailing CR LF removed. Returns false, leaving buffer empty, when the
// module or the message cannot be found. Never throws.
bool loadMessage(unsigned set, unsigned long messageId, const char* const inserts[9], char* buffer,
                 std::size_t size);

// The module name in use: "TORQA MSGFILE" when set, else the default module
// (its name as defaultMessageModulePath shows it; the default module itself
// is read by its base name). Looked up on first use and kept.
const char* messageModuleName();

}  // namespace vrk::diag
