// IBuffer and IDBCSBuffer: the reference-counted storage behind IString.
// A buffer is one allocation: the object (virtual table, refs, len) directly
// followed by len data bytes and a NUL. IString points at the first data byte.
// The process-wide empty buffer is made on first use and never freed; the
// variant (IBuffer or IDBCSBuffer) is chosen at that moment and every buffer
// made from an existing one keeps it.
//
// Only IString and its tests use this header.
// Thread safety: a buffer's count is a plain counter, so a buffer belongs to
// the thread of the values that share it. What every thread shares without
// asking for it is safe: the empty buffer's count is changed atomically and
// never frees it, its first-use setup is a thread-safe static, and the
// allocation counter is atomic.
#pragma once

#include "base/istring.hpp"

class IBuffer {
public:
    // The largest length of a buffer's data.
    static const unsigned maxLength = IString::maxLength;

    // The shared empty buffer (made on first use); adds no reference.
    static IBuffer* emptyBuffer();
    // The buffer whose first data byte is at contents.
    static IBuffer* fromContents(const char* contents);

    // Raises the overflow error (IInvalidRequest, error 51).
    [[noreturn]] static void overflow();

    // The number of IBuffer objects allocated so far (the shared empty buffer
    // included); for tests and benchmarks.
    static unsigned long allocationCount();

    char* contents() { return reinterpret_cast<char*>(this) + sizeof(IBuffer); }
    const char* contents() const { return reinterpret_cast<const char*>(this) + sizeof(IBuffer); }
    unsigned length() const { return len; }
    unsigned useCount() const;
    bool isEmptyBuffer() const { return this == emptyBuffer(); }

    // Adds one reference.
    void addRef();
    // Drops one reference; destroys the buffer at 0. The shared empty buffer
    // is never destroyed.
    void removeRef();

    // A new buffer of the same variant holding up to three pieces in order:
    // n bytes copied from p, or n copies of fill when p is null. The lengths
    // are added with an overflow check after each addition; nothing is
    // allocated when the total is too long. A total of 0 gives the shared
    // empty buffer. The caller owns the one reference returned.
    IBuffer* buildBuffer(const void* p1, unsigned n1, const void* p2 = nullptr, unsigned n2 = 0,
                         const void* p3 = nullptr, unsigned n3 = 0, char fill = ' ') const;

    virtual ~IBuffer();
    // "<class name>(@<address>,refs=<n>,len=<n>,data=[<data>])"; data of 24
    // bytes or more shows its first and last 10 bytes around "...".
    virtual IString debugInfo() const;
    // 0 equal, 1 this greater, 2 this smaller; a null pointer gives 1.
    virtual int compare(const void* p, unsigned n) const;
    // See IString::section.
    virtual IBuffer* section(unsigned startPos, unsigned length, char fill) const;
    // See IString::positionOf.
    virtual unsigned positionOf(const char* pattern, unsigned patternLength,
                                unsigned startPos) const;
    // See IString::positionOfAnyOf.
    virtual unsigned positionOfAnyOf(const char* set, unsigned setLength, unsigned startPos) const;
    // See IString::lastPositionOf.
    virtual unsigned lastPositionOf(const char* pattern, unsigned patternLength,
                                    unsigned startPos) const;
    // The substituted buffer (the caller owns its reference), or null when
    // nothing is replaced.
    virtual IBuffer* substitute(const char* pattern, unsigned patternLength,
                                const char* replacement, unsigned replacementLength,
                                unsigned startPos, unsigned maxCount) const;
    // Upper-cases "a" to "z" in place; call only on an unshared buffer.
    virtual void makeUpperCase();
    // The 0-based index at which a forward search of a pattern of the given
    // length may start, or len when it cannot fit.
    virtual unsigned startSearch(unsigned startPos, unsigned patternLength) const;
    // The 0-based index of the last start of a backward search, or len when
    // none fits.
    virtual unsigned startBackSearch(unsigned startPos, unsigned patternLength) const;
    // An uninitialised buffer of this variant with length data bytes, refs 1
    // and the terminating NUL written. length must not exceed maxLength.
    virtual IBuffer* newBuffer(unsigned length) const;
    // "IBuffer".
    virtual const char* className() const;

protected:
    IBuffer() = default;
    explicit IBuffer(unsigned length) : refs(1), len(length) {}
    // Storage for an object of type T followed by length data bytes and a NUL.
    template <class T>
    static IBuffer* make(unsigned length);

private:
    IBuffer(const IBuffer&) = delete;
    IBuffer& operator=(const IBuffer&) = delete;

    unsigned refs = 1;
    unsigned len = 0;
};

// The variant aware of two-byte characters; it behaves as IBuffer here.
class IDBCSBuffer : public IBuffer {
public:
    IBuffer* newBuffer(unsigned length) const override;
    const char* className() const override;

private:
    friend class IBuffer;
    explicit IDBCSBuffer(unsigned length) : IBuffer(length) {}
};

namespace vrk::base {
// True while "TORQA_I18N" said "ON" when the variant was chosen; compare then
// orders by the locale's collation.
bool localeCollation();
}  // namespace vrk::base
