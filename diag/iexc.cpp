// IException: texts, locations, error id, group and recoverable flag, and
// ISourceLocation. Texts are copied with malloc, so the allocator's
// out-of-memory handler never runs while they are copied: a text that
// cannot be copied is simply missing.
#include "diag/iexc.hpp"

#include <cstdlib>
#include <cstring>
#include <exception>

const char* const IException::baseLibrary = "Norvel Class Library";
const char* const IException::CLibrary = "Standard C Library";
const char* const IException::operatingSystem = "Operating System";
const char* const IException::presentationSystem = "Presentation System";
const char* const IException::other = "Other Error Group";

ISourceLocation::ISourceLocation(const char* fileName, const char* functionName,
                                 unsigned long lineNumber)
    : fileName_(fileName), functionName_(functionName), lineNumber_(lineNumber) {}

const char* ISourceLocation::fileName() const { return fileName_; }
const char* ISourceLocation::functionName() const { return functionName_; }
unsigned long ISourceLocation::lineNumber() const { return lineNumber_; }

namespace {

char* copyOf(const char* text) {
    std::size_t n = std::strlen(text);
    char* copy = static_cast<char*>(std::malloc(n + 1));
    if (copy != nullptr) std::memcpy(copy, text, n + 1);
    return copy;
}

}  // namespace

IException::IException(const char* errorText, unsigned long errorId, bool recoverable)
    : recoverable_(recoverable),
      errorId_(errorId),
      locationCount_(0),
      texts_(nullptr),
      textCount_(0),
      textCapacity_(0),
      errorCodeGroup_(baseLibrary) {
    pushText(errorText);
}

IException::IException(const IException& other)
    : recoverable_(other.recoverable_),
      errorId_(other.errorId_),
      locationCount_(other.locationCount_),
      texts_(nullptr),
      textCount_(0),
      textCapacity_(0),
      errorCodeGroup_(other.errorCodeGroup_) {
    for (unsigned i = 0; i < locationCount_; ++i) locations_[i] = other.locations_[i];
    copyTextsFrom(other);
}

IException& IException::operator=(const IException& other) {
    if (this == &other) return *this;
    releaseTexts();
    recoverable_ = other.recoverable_;
    errorId_ = other.errorId_;
    locationCount_ = other.locationCount_;
    for (unsigned i = 0; i < locationCount_; ++i) locations_[i] = other.locations_[i];
    errorCodeGroup_ = other.errorCodeGroup_;
    copyTextsFrom(other);
    return *this;
}

IException::~IException() { releaseTexts(); }

void IException::copyTextsFrom(const IException& other) {
    // Oldest first, so the copies keep their order.
    for (unsigned i = 0; i < other.textCount_; ++i) pushText(other.texts_[i]);
}

void IException::releaseTexts() {
    for (unsigned i = 0; i < textCount_; ++i) std::free(texts_[i]);
    std::free(texts_);
    texts_ = nullptr;
    textCount_ = 0;
    textCapacity_ = 0;
}

bool IException::canRecover() const { return recoverable_; }

IException& IException::recordLocation(const ISourceLocation& location) {
    if (locationCount_ < maxLocations) {
        locations_[locationCount_++] = location;
    } else {
        locations_[maxLocations - 1] = location;
    }
    return *this;
}

const char* IException::name() const { return "IException"; }

IException& IException::report() {
    reporter().reportException(*this);
    return *this;
}

void IException::terminate() { std::terminate(); }

IException& IException::pushText(const char* errorText) {
    if (errorText == nullptr) return *this;
    if (textCount_ == textCapacity_) {
        unsigned capacity = textCapacity_ == 0 ? 2 : textCapacity_ * 2;
        void* grown = std::realloc(texts_, capacity * sizeof(char*));
        if (grown == nullptr) return *this;
        texts_ = static_cast<char**>(grown);
        textCapacity_ = capacity;
    }
    char* copy = copyOf(errorText);
    if (copy == nullptr) return *this;
    texts_[textCount_++] = copy;
    return *this;
}

IException& IException::extendText(const char* errorText) {
    if (errorText == nullptr) return *this;
    if (textCount_ == 0) return pushText(errorText);
    char*& newest = texts_[textCount_ - 1];
    std::size_t have = std::strlen(newest);
    std::size_t add = std::strlen(errorText);
    char* joined = static_cast<char*>(std::realloc(newest, have + add + 1));
    if (joined == nullptr) return *this;
    std::memcpy(joined + have, errorText, add + 1);
    newest = joined;
    return *this;
}

unsigned IException::numberOfTexts() const { return textCount_; }

const char* IException::textWithIndex(unsigned index) const {
    if (index >= textCount_) return nullptr;
    return texts_[textCount_ - 1 - index];
}

unsigned long IException::errorId() const { return errorId_; }

IException& IException::setErrorId(unsigned long errorId) {
    errorId_ = errorId;
    return *this;
}

const char* IException::errorCodeGroup() const { return errorCodeGroup_; }

IException& IException::setErrorCodeGroup(const char* errorGroup) {
    errorCodeGroup_ = errorGroup;
    return *this;
}

unsigned IException::numberOfLocations() const { return locationCount_; }

const ISourceLocation* IException::locationWithIndex(unsigned index) const {
    if (index >= locationCount_) return nullptr;
    return &locations_[index];
}
