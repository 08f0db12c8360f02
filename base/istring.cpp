// IString: the value operations over the shared buffers.
//
// The function texts, file names and line numbers in the source locations
// and trace scopes of this file are part of the reports and trace lines that
// callers and logs rely on: they are fixed texts, not this file's own lines,
// and must not be "corrected".
#include "base/istring.hpp"

#include "base/ibuffer.hpp"
#include "base/base_errors.hpp"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <stdexcept>

namespace {

// The length of a NUL-terminated text, 0 for a null pointer; a text too long
// for a value raises the overflow error.
unsigned textLength(const char* text) {
    if (text == nullptr) return 0;
    std::size_t length = std::strlen(text);
    if (length > IString::maxLength) IBuffer::overflow();
    return static_cast<unsigned>(length);
}

IBuffer* sharedEmpty() {
    IBuffer* empty = IBuffer::emptyBuffer();
    empty->addRef();
    return empty;
}

IBuffer* fromBytes(const void* data, unsigned length, char fill = ' ') {
    return IBuffer::emptyBuffer()->buildBuffer(data, length, nullptr, 0, nullptr, 0, fill);
}

IBuffer* fromNumber(const char* format, ...) {
    char text[64];
    va_list args;
    va_start(args, format);
    int length = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (length < 0) length = 0;
    if (length >= static_cast<int>(sizeof text)) length = sizeof text - 1;
    return fromBytes(text, static_cast<unsigned>(length));
}

[[noreturn]] void indexError(const char* functionName, unsigned long line) {
    vrk::base::raiseInvalidRequest(52, "istring5", functionName, line);
}

}  // namespace

IString::IString() : pBuffer(sharedEmpty()->contents()) {}

IString::IString(IBuffer* buffer) : pBuffer(buffer->contents()) {}

IString::IString(const char* text) : IString(fromBytes(text, textLength(text))) {}

IString::IString(const void* data, unsigned length, char fill)
    : IString(fromBytes(data, length, fill)) {}

IString::IString(char c) : IString(fromBytes(&c, 1)) {}

IString::IString(int number) : IString(fromNumber("%ld", static_cast<long>(number))) {}
IString::IString(long number) : IString(fromNumber("%ld", number)) {}
IString::IString(short number) : IString(fromNumber("%ld", static_cast<long>(number))) {}
IString::IString(unsigned number)
    : IString(fromNumber("%lu", static_cast<unsigned long>(number))) {}
IString::IString(unsigned long number) : IString(fromNumber("%lu", number)) {}
IString::IString(unsigned short number)
    : IString(fromNumber("%lu", static_cast<unsigned long>(number))) {}
IString::IString(long long number) : IString(fromNumber("%lld", number)) {}
IString::IString(unsigned long long number) : IString(fromNumber("%llu", number)) {}
IString::IString(double number) : IString(fromNumber("%.*g", 15, number)) {}

IString::IString(const IString& source) : pBuffer(source.pBuffer) { buffer()->addRef(); }

IString& IString::operator=(const IString& source) {
    // Count the source first: assigning a value to itself must not free it.
    source.buffer()->addRef();
    IBuffer* old = buffer();
    pBuffer = source.pBuffer;
    old->removeRef();
    return *this;
}

IString::~IString() { buffer()->removeRef(); }

IBuffer* IString::buffer() const { return IBuffer::fromContents(pBuffer); }

void IString::replaceBuffer(IBuffer* newBuffer) {
    IBuffer* old = buffer();
    pBuffer = newBuffer->contents();
    old->removeRef();
}

char* IString::prepareToChange() {
    IBuffer* current = buffer();
    if (current->useCount() > 1 || current->isEmptyBuffer())
        replaceBuffer(current->buildBuffer(pBuffer, current->length()));
    return pBuffer;
}

unsigned IString::length() const { return buffer()->length(); }

const char& IString::operator[](unsigned position) const {
    if (position == 0) position = 1;
    if (position > length()) indexError("IString::operator[](unsigned int) const", 130);
    return pBuffer[position - 1];
}

const char& IString::operator[](int position) const {
    if (position < 0) indexError("IString::operator[](int) const", 174);
    unsigned at = position == 0 ? 1 : static_cast<unsigned>(position);
    if (at > length()) indexError("IString::operator[](int) const", 184);
    return pBuffer[at - 1];
}

char& IString::operator[](unsigned position) {
    if (position == 0) position = 1;
    unsigned len = length();
    if (position > len)
        replaceBuffer(
            buffer()->buildBuffer(pBuffer, len, nullptr, position - len, nullptr, 0, ' '));
    else
        prepareToChange();
    return pBuffer[position - 1];
}

char& IString::operator[](int position) {
    if (position < 0) indexError("IString::operator[](int)", 197);
    return (*this)[static_cast<unsigned>(position)];
}

IString& IString::operator+=(const IString& other) {
    if (other.length() == 0) return *this;
    if (length() == 0) return *this = other;
    replaceBuffer(buffer()->buildBuffer(pBuffer, length(), other.pBuffer, other.length()));
    return *this;
}

IString& IString::operator+=(const char* text) {
    unsigned textLen = textLength(text);
    if (textLen == 0) return *this;
    replaceBuffer(buffer()->buildBuffer(pBuffer, length(), text, textLen));
    return *this;
}

IString operator+(const IString& left, const IString& right) {
    if (right.length() == 0) return left;
    if (left.length() == 0) return right;
    return IString(
        left.buffer()->buildBuffer(left.pBuffer, left.length(), right.pBuffer, right.length()));
}

IString operator+(const char* left, const IString& right) {
    unsigned leftLength = textLength(left);
    if (leftLength == 0) return right;
    return IString(right.buffer()->buildBuffer(left, leftLength, right.pBuffer, right.length()));
}

IString operator+(const IString& left, const char* right) {
    unsigned rightLength = textLength(right);
    if (rightLength == 0) return left;
    return IString(left.buffer()->buildBuffer(left.pBuffer, left.length(), right, rightLength));
}

int IString::compare(const IString& other) const {
    return buffer()->compare(other.pBuffer, other.length());
}

int IString::compare(const char* text) const {
    if (text == nullptr) return 1;
    return buffer()->compare(text, textLength(text));
}

int IString::compare(const void* data, unsigned length) const {
    return buffer()->compare(data, length);
}

bool operator==(const IString& left, const IString& right) { return left.compare(right) == 0; }
bool operator==(const IString& left, const char* right) { return left.compare(right) == 0; }
bool operator==(const char* left, const IString& right) { return right.compare(left) == 0; }
bool operator!=(const IString& left, const IString& right) { return !(left == right); }
bool operator!=(const IString& left, const char* right) { return !(left == right); }
bool operator!=(const char* left, const IString& right) { return !(left == right); }
bool operator<(const IString& left, const IString& right) { return left.compare(right) == 2; }
bool operator<=(const IString& left, const IString& right) { return left.compare(right) != 1; }
bool operator>(const IString& left, const IString& right) { return left.compare(right) == 1; }
bool operator>=(const IString& left, const IString& right) { return left.compare(right) != 2; }

unsigned IString::positionOf(char c, unsigned startPos) const {
    return buffer()->positionOf(&c, 1, startPos);
}

unsigned IString::positionOf(const char* pattern, unsigned patternLength, unsigned startPos) const {
    return buffer()->positionOf(pattern, patternLength, startPos);
}

unsigned IString::positionOf(const IString& pattern, unsigned startPos) const {
    return buffer()->positionOf(pattern.pBuffer, pattern.length(), startPos);
}

unsigned IString::positionOfAnyOf(const char* set, unsigned setLength, unsigned startPos) const {
    return buffer()->positionOfAnyOf(set, setLength, startPos);
}

unsigned IString::lastPositionOf(char c, unsigned startPos) const {
    return buffer()->lastPositionOf(&c, 1, startPos);
}

unsigned IString::lastPositionOf(const char* pattern, unsigned patternLength,
                                 unsigned startPos) const {
    return buffer()->lastPositionOf(pattern, patternLength, startPos);
}

IString IString::section(unsigned startPos, unsigned length, char fill) const {
    return IString(buffer()->section(startPos, length, fill));
}

IString IString::sectionFrom(unsigned startPos) const {
    unsigned start = startPos == 0 ? 1 : startPos;
    unsigned len = length();
    if (start > len) return IString();
    return section(start, len - start + 1);
}

IString& IString::makeUpperCase() {
    unsigned len = length();
    unsigned i = 0;
    while (i < len && !(pBuffer[i] >= 'a' && pBuffer[i] <= 'z')) ++i;
    if (i == len) return *this;  // nothing to change: keep the buffer
    prepareToChange();
    buffer()->makeUpperCase();
    return *this;
}

IString& IString::substitute(const char* pattern, unsigned patternLength, const char* replacement,
                             unsigned replacementLength, unsigned startPos, unsigned maxCount) {
    IBuffer* result = buffer()->substitute(pattern, patternLength, replacement, replacementLength,
                                           startPos, maxCount);
    if (result != nullptr) replaceBuffer(result);
    return *this;
}

IString& IString::makeHexText() {
    static const char digits[] = "0123456789ABCDEF";
    unsigned len = length();
    if (len == 0) return *this;
    if (len > maxLength / 2) IBuffer::overflow();
    IBuffer* result = buffer()->newBuffer(len * 2);
    char* out = result->contents();
    for (unsigned i = 0; i < len; ++i) {
        unsigned char byte = static_cast<unsigned char>(pBuffer[i]);
        *out++ = digits[byte >> 4];
        *out++ = digits[byte & 0x0F];
    }
    replaceBuffer(result);
    return *this;
}

IString IString::substituted(const IString& source, const IString& pattern, const char* replacement,
                             unsigned startPos, unsigned maxCount) {
    IString result(source);
    result.substitute(pattern, pattern.length(), replacement, textLength(replacement), startPos,
                      maxCount);
    return result;
}

bool IString::isShortFormOf(const char* word, unsigned wordLength, unsigned minLength) const {
    if (word == nullptr) wordLength = 0;
    unsigned len = length();
    unsigned minimum = minLength == 0 ? len : minLength;
    if (len > wordLength || len < minimum) return false;
    return len == 0 || std::memcmp(pBuffer, word, len) == 0;
}

IString IString::debugInfo() const {
    return "IString(@" +
           IString(static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(this))) +
           ",pBuffer->" + buffer()->debugInfo() + ")";
}

std::ostream& operator<<(std::ostream& stream, const IString& value) {
    return stream << static_cast<const char*>(value);
}
