// The error-text objects: an error number and the text that names it.
#include <cerrno>
#include <cstring>

#include "diag/iexc.hpp"
#include "platform/error_text.hpp"
#include "platform/process.hpp"

namespace {

const char kNoSystemText[] = "No error text is available.";
const char kNoCLibraryText[] = "No Error text is available";

}  // namespace

IErrorText::IErrorText() : errorId_(0) {}

IErrorText::~IErrorText() = default;

unsigned long IErrorText::errorId() const { return errorId_; }

const char* IErrorText::text() const { return text_.c_str(); }

void IErrorText::setError(unsigned long errorId, const char* callName, const char* message) {
    errorId_ = errorId;
    text_.clear();
    if (callName != nullptr) {
        text_ += callName;
        text_ += ':';
    }
    text_ += message;
}

ISystemErrorText::ISystemErrorText(unsigned long errorId, const char* callName) {
    char message[256];
    if (!vrk::platform::systemErrorMessage(errorId, message, sizeof message)) {
        setError(errorId, callName, kNoSystemText);
    } else {
        setError(errorId, callName, message);
    }
}

ICLibraryErrorText::ICLibraryErrorText(const char* callName) {
    int error = errno;
    const char* message = std::strerror(error);
    if (message == nullptr || *message == '\0') message = kNoCLibraryText;
    setError(static_cast<unsigned long>(error), callName, message);
}

IWindowSystemErrorText::IWindowSystemErrorText(const char* callName) {
    setError(vrk::platform::lastError(), callName, kNoSystemText);
}
