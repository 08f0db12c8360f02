// IString: a byte-string value with a 32-bit length and 1-based positions.
// Values share one reference-counted buffer (IBuffer, see base/ibuffer.hpp);
// copying a value only counts a reference, and every changing operation first
// takes a private copy of a shared buffer (copy on write).
//
// Failures: a result longer than IString::maxLength bytes raises
// IInvalidRequest with error 51 before anything is allocated, and the value
// stays as it was; a bad position given to operator[] raises IInvalidRequest
// with error 52. A null text where a text is expected counts as empty.
//
// Thread safety: reference counts are plain counters. A value, and every copy
// sharing its buffer, belongs to one thread at a time; sharing across threads
// needs outside locking. Values made independently in different threads are
// safe: what they share without the program's doing (the one empty value and
// the allocation counter) is changed atomically, and the empty value is
// never freed.
#pragma once

#include <iosfwd>

class IBuffer;

class IString {
public:
    // The largest length of a value (hexadecimal FFFFFFEE).
    static const unsigned maxLength = 4294967278u;

    // The shared empty value.
    IString();
    // The bytes of text up to its NUL; a null pointer gives the empty value.
    IString(const char* text);
    // length bytes copied from data; with a null data pointer, length copies
    // of fill. Raises the overflow error above maxLength.
    IString(const void* data, unsigned length, char fill = ' ');
    // One byte c (a NUL byte too).
    IString(char c);
    // Numbers in decimal ("%ld", "%lu", "%lld", "%llu"), doubles as "%.*g"
    // with 15 significant digits.
    IString(int number);
    IString(long number);
    IString(short number);
    IString(unsigned number);
    IString(unsigned long number);
    IString(unsigned short number);
    IString(long long number);
    IString(unsigned long long number);
    IString(double number);

    // Copies share the source's buffer; assigning a value to itself is safe.
    IString(const IString& source);
    IString& operator=(const IString& source);
    ~IString();

    // The number of bytes.
    unsigned length() const;
    // True for the empty value.
    bool isEmpty() const { return length() == 0; }

    // The address of the first data byte; the bytes are followed by a NUL, so
    // this is a NUL-terminated text (ending early at an embedded NUL).
    operator const char*() const { return pBuffer; }

    // The byte at a 1-based position (0 also addresses the first byte). The
    // reading forms raise the index error for a position beyond the length
    // and, for int, for a negative position. The changing forms first extend
    // the value with blanks up to the position when it lies beyond the length
    // and take a private copy of a shared buffer; the int form raises the
    // index error for a negative position.
    const char& operator[](unsigned position) const;
    const char& operator[](int position) const;
    char& operator[](unsigned position);
    char& operator[](int position);

    // Append; an empty value or text leaves the value untouched.
    IString& operator+=(const IString& other);
    IString& operator+=(const char* text);

    // Comparison of bytes as unsigned values: 0 when equal, 1 when this value
    // is greater, 2 when it is smaller; the shorter value is the smaller when
    // all compared bytes agree. A null pointer compares as smaller (result 1).
    int compare(const IString& other) const;
    int compare(const char* text) const;
    int compare(const void* data, unsigned length) const;

    // 1-based position of the first occurrence beginning at or after
    // startPos (0 counts as 1); 0 when there is none, the pattern is empty or
    // it does not fit between startPos and the end.
    unsigned positionOf(char c, unsigned startPos = 1) const;
    unsigned positionOf(const char* pattern, unsigned patternLength, unsigned startPos = 1) const;
    unsigned positionOf(const IString& pattern, unsigned startPos = 1) const;
    // 1-based position of the first byte at or after startPos that is one of
    // the bytes of the set; 0 when there is none.
    unsigned positionOfAnyOf(const char* set, unsigned setLength, unsigned startPos = 1) const;

    // 1-based position of the last occurrence beginning at or before startPos,
    // where startPos is first lowered to the last position at which the
    // pattern fits; 0 when there is none or startPos is 0.
    unsigned lastPositionOf(char c, unsigned startPos = 4294967295u) const;
    unsigned lastPositionOf(const char* pattern, unsigned patternLength,
                            unsigned startPos = 4294967295u) const;

    // A new value of exactly length bytes: the bytes from startPos (0 counts
    // as 1), padded with fill. Raises the overflow error above maxLength.
    IString section(unsigned startPos, unsigned length, char fill = ' ') const;
    // The bytes from startPos (0 counts as 1) to the end; empty beyond it.
    IString sectionFrom(unsigned startPos) const;

    // Bytes "a" to "z" become "A" to "Z"; nothing else changes. A value
    // without such a byte keeps its buffer. Returns the value.
    IString& makeUpperCase();
    // Replaces at most maxCount non-overlapping occurrences of the pattern
    // found from startPos onwards, left to right. Raises the overflow error
    // when the result would be too long, leaving the value unchanged.
    IString& substitute(const char* pattern, unsigned patternLength, const char* replacement,
                        unsigned replacementLength, unsigned startPos = 1,
                        unsigned maxCount = 4294967295u);
    // Replaces each byte by two hexadecimal digits ("0123456789ABCDEF"), the
    // high half first. Raises the overflow error when the result is too long.
    IString& makeHexText();

    // A copy of source with substitute(pattern, replacement, startPos,
    // maxCount) applied; a null replacement counts as empty.
    static IString substituted(const IString& source, const IString& pattern,
                               const char* replacement, unsigned startPos = 1,
                               unsigned maxCount = 4294967295u);

    // True when this value is a leading part of word at least minLength bytes
    // long (minLength 0: the value's own length). Letter case matters.
    bool isShortFormOf(const char* word, unsigned wordLength, unsigned minLength) const;

    // "IString(@<address>,pBuffer-><buffer text>)", the buffer text being
    // "<class name>(@<address>,refs=<n>,len=<n>,data=[<data>])".
    IString debugInfo() const;

private:
    explicit IString(IBuffer* buffer);  // takes over one reference
    IBuffer* buffer() const;
    void replaceBuffer(IBuffer* newBuffer);  // takes over one reference
    char* prepareToChange();                 // the copy-on-write choke point

    friend IString operator+(const IString&, const IString&);
    friend IString operator+(const char*, const IString&);
    friend IString operator+(const IString&, const char*);

    char* pBuffer;  // first data byte of the buffer
};

// A new value holding the left bytes followed by the right bytes; a null text
// counts as empty.
IString operator+(const IString& left, const IString& right);
IString operator+(const char* left, const IString& right);
IString operator+(const IString& left, const char* right);

// Equality: same length and same bytes (compare() giving 0). A text is
// compared over its length up to its NUL.
bool operator==(const IString& left, const IString& right);
bool operator==(const IString& left, const char* right);
bool operator==(const char* left, const IString& right);
bool operator!=(const IString& left, const IString& right);
bool operator!=(const IString& left, const char* right);
bool operator!=(const char* left, const IString& right);
// Ordering by compare().
bool operator<(const IString& left, const IString& right);
bool operator<=(const IString& left, const IString& right);
bool operator>(const IString& left, const IString& right);
bool operator>=(const IString& left, const IString& right);

// Writes the bytes up to the first NUL.
std::ostream& operator<<(std::ostream& stream, const IString& value);
