// Storage behind IString: allocation, the shared empty buffer, variant
// choice and the byte-level operations.
//
// The function texts, file names and line numbers in the source locations
// and trace scopes of this file are part of the reports and trace lines that
// callers and logs rely on: they are fixed texts, not this file's own lines,
// and must not be "corrected".
#include "base/ibuffer.hpp"

#include "base/base_errors.hpp"
#include "platform/charset.hpp"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>

static_assert(sizeof(IDBCSBuffer) == sizeof(IBuffer), "the variants share one layout");
static_assert(sizeof(unsigned) == 4, "lengths and counts are 32-bit");

namespace {

std::atomic<unsigned long> gAllocations{0};
// Written once while the empty buffer is made; read only after that.
bool gLocaleCollation = false;

// "TORQA_I18N" says "ON" when it holds exactly those two letters in any case.
bool i18nSaysOn() {
    const char* value = std::getenv("TORQA_I18N");
    return value != nullptr && (value[0] == 'O' || value[0] == 'o') &&
           (value[1] == 'N' || value[1] == 'n') && value[2] == '\0';
}

bool useDoubleByteVariant(bool i18nOn) {
    if (i18nOn) return vrk::platform::characterSetIsMultiByte();
    if (vrk::platform::systemUsesDoubleByteCharacterSet()) return true;
    const char* table = std::getenv("IDBCSTABLE");
    return table != nullptr && table[0] != '\0';
}

int byteCompare(const char* a, unsigned aLength, const char* b, unsigned bLength) {
    unsigned common = aLength < bLength ? aLength : bLength;
    int result = common == 0 ? 0 : std::memcmp(a, b, common);
    if (result > 0) return 1;
    if (result < 0) return 2;
    if (aLength == bLength) return 0;
    return aLength > bLength ? 1 : 2;
}

IString addressText(const void* address) {
    return IString(static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(address)));
}

}  // namespace

namespace vrk::base {
bool localeCollation() {
    IBuffer::emptyBuffer();  // the choice is made with the empty buffer
    return gLocaleCollation;
}
}  // namespace vrk::base

template <class T>
IBuffer* IBuffer::make(unsigned length) {
    std::size_t size = sizeof(IBuffer) + static_cast<std::size_t>(length) + 1;
    if (size < length) throw std::bad_alloc();  // a host with a 32-bit size_t
    void* memory = ::operator new(size);
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    IBuffer* buffer = ::new (memory) T(length);
    buffer->contents()[length] = '\0';
    return buffer;
}

IBuffer* IBuffer::emptyBuffer() {
    // Held by this pointer for the life of the process, so its count never
    // drops to 0.
    static IBuffer* const empty = [] {
        bool i18nOn = i18nSaysOn();
        gLocaleCollation = i18nOn;
        return useDoubleByteVariant(i18nOn) ? make<IDBCSBuffer>(0) : make<IBuffer>(0);
    }();
    return empty;
}

IBuffer* IBuffer::fromContents(const char* contents) {
    return std::launder(reinterpret_cast<IBuffer*>(const_cast<char*>(contents) - sizeof(IBuffer)));
}

void IBuffer::overflow() {
    vrk::base::raiseInvalidRequest(51, "ibuffer0", "IBuffer::overflow()", 556);
}

unsigned long IBuffer::allocationCount() { return gAllocations.load(std::memory_order_relaxed); }

// Every thread counts its empty values on the one empty buffer, so its count
// is changed atomically; other buffers belong to one thread at a time and
// keep a plain count.
unsigned IBuffer::useCount() const {
    if (isEmptyBuffer())
        return std::atomic_ref<unsigned>(const_cast<unsigned&>(refs))
            .load(std::memory_order_relaxed);
    return refs;
}

void IBuffer::addRef() {
    if (isEmptyBuffer())
        std::atomic_ref<unsigned>(refs).fetch_add(1, std::memory_order_relaxed);
    else
        ++refs;
}

void IBuffer::removeRef() {
    if (isEmptyBuffer()) {
        // Held for the life of the process: its count is informative only.
        std::atomic_ref<unsigned>(refs).fetch_sub(1, std::memory_order_relaxed);
        return;
    }
    if (--refs == 0) {
        this->~IBuffer();
        ::operator delete(static_cast<void*>(this));
    }
}

IBuffer::~IBuffer() = default;

IBuffer* IBuffer::buildBuffer(const void* p1, unsigned n1, const void* p2, unsigned n2,
                              const void* p3, unsigned n3, char fill) const {
    unsigned total = n1;
    total += n2;
    if (total < n2) overflow();
    total += n3;
    if (total < n3 || total > maxLength) overflow();
    if (total == 0) {
        IBuffer* empty = emptyBuffer();
        empty->addRef();
        return empty;
    }
    IBuffer* buffer = newBuffer(total);
    char* out = buffer->contents();
    const struct {
        const void* p;
        unsigned n;
    } pieces[] = {{p1, n1}, {p2, n2}, {p3, n3}};
    for (const auto& piece : pieces) {
        if (piece.n == 0) continue;
        if (piece.p != nullptr)
            std::memcpy(out, piece.p, piece.n);
        else
            std::memset(out, static_cast<unsigned char>(fill), piece.n);
        out += piece.n;
    }
    return buffer;
}

IString IBuffer::debugInfo() const {
    IString data = len >= 24 ? IString(contents(), 10) + "..." + IString(contents() + len - 10, 10)
                             : IString(contents(), len);
    return IString(className()) + "(@" + addressText(this) + ",refs=" + IString(useCount()) +
           ",len=" + IString(len) + ",data=[" + data + "])";
}

int IBuffer::compare(const void* p, unsigned n) const {
    if (p == nullptr) return 1;
    const char* other = static_cast<const char*>(p);
    if (gLocaleCollation) {
        // The collation sees each side up to its first NUL; ties fall back to
        // the bytes, so that only equal values compare equal.
        std::string mine(contents(), len);
        std::string theirs(other, n);
        int order = std::strcoll(mine.c_str(), theirs.c_str());
        if (order > 0) return 1;
        if (order < 0) return 2;
    }
    return byteCompare(contents(), len, other, n);
}

IBuffer* IBuffer::section(unsigned startPos, unsigned length, char fill) const {
    if (length > maxLength) overflow();
    unsigned start = startPos == 0 ? 1 : startPos;
    if (start == 1 && length == len) {
        IBuffer* self = const_cast<IBuffer*>(this);
        self->addRef();
        return self;
    }
    unsigned copied = 0;
    if (start <= len) {
        unsigned available = len - start + 1;
        copied = length < available ? length : available;
    }
    return buildBuffer(contents() + (start <= len ? start - 1 : 0), copied, nullptr,
                       length - copied, nullptr, 0, fill);
}

unsigned IBuffer::startSearch(unsigned startPos, unsigned patternLength) const {
    unsigned start = startPos == 0 ? 0 : startPos - 1;
    if (patternLength == 0 || start >= len || patternLength > len - start) return len;
    return start;
}

unsigned IBuffer::startBackSearch(unsigned startPos, unsigned patternLength) const {
    if (startPos == 0 || patternLength == 0 || patternLength > len) return len;
    unsigned last = len - patternLength;
    return startPos - 1 < last ? startPos - 1 : last;
}

unsigned IBuffer::positionOf(const char* pattern, unsigned patternLength, unsigned startPos) const {
    if (pattern == nullptr) return 0;
    unsigned start = startSearch(startPos, patternLength);
    if (start == len) return 0;
    std::string_view text(contents() + start, len - start);
    std::size_t found = patternLength == 1 ? text.find(pattern[0])
                                           : text.find(std::string_view(pattern, patternLength));
    return found == std::string_view::npos ? 0 : start + static_cast<unsigned>(found) + 1;
}

unsigned IBuffer::positionOfAnyOf(const char* set, unsigned setLength, unsigned startPos) const {
    if (set == nullptr) return 0;
    unsigned start = startSearch(startPos, 1);
    if (start == len || setLength == 0) return 0;
    bool member[256] = {};
    for (unsigned i = 0; i < setLength; ++i) member[static_cast<unsigned char>(set[i])] = true;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(contents());
    for (unsigned i = start; i < len; ++i)
        if (member[bytes[i]]) return i + 1;
    return 0;
}

unsigned IBuffer::lastPositionOf(const char* pattern, unsigned patternLength,
                                 unsigned startPos) const {
    if (pattern == nullptr) return 0;
    unsigned start = startBackSearch(startPos, patternLength);
    if (start == len) return 0;
    const char* bytes = contents();
    for (unsigned i = start + 1; i-- > 0;)
        if (bytes[i] == pattern[0] && std::memcmp(bytes + i, pattern, patternLength) == 0)
            return i + 1;
    return 0;
}

IBuffer* IBuffer::substitute(const char* pattern, unsigned patternLength, const char* replacement,
                             unsigned replacementLength, unsigned startPos,
                             unsigned maxCount) const {
    if (pattern == nullptr || patternLength == 0 || maxCount == 0) return nullptr;
    if (replacement == nullptr) replacementLength = 0;

    // Count the occurrences first, so that the result is allocated once.
    unsigned count = 0;
    unsigned first = positionOf(pattern, patternLength, startPos);
    for (unsigned at = first; at != 0 && count < maxCount;) {
        ++count;
        at = positionOf(pattern, patternLength, at + patternLength);
    }
    if (count == 0) return nullptr;

    std::uint64_t newLength = len;
    if (replacementLength >= patternLength) {
        newLength += std::uint64_t(replacementLength - patternLength) * count;
        if (newLength > maxLength) overflow();
    } else {
        newLength -= std::uint64_t(patternLength - replacementLength) * count;
    }

    IBuffer* result;
    if (newLength == 0) {
        result = emptyBuffer();
        result->addRef();
        return result;
    }
    result = newBuffer(static_cast<unsigned>(newLength));
    char* out = result->contents();
    const char* in = contents();
    unsigned copiedTo = 0;  // 0-based index of the next source byte to copy
    unsigned at = first;
    for (unsigned done = 0; done < count; ++done) {
        unsigned index = at - 1;
        std::memcpy(out, in + copiedTo, index - copiedTo);
        out += index - copiedTo;
        if (replacementLength != 0) std::memcpy(out, replacement, replacementLength);
        out += replacementLength;
        copiedTo = index + patternLength;
        if (done + 1 < count) at = positionOf(pattern, patternLength, copiedTo + 1);
    }
    std::memcpy(out, in + copiedTo, len - copiedTo);
    return result;
}

void IBuffer::makeUpperCase() {
    char* bytes = contents();
    for (unsigned i = 0; i < len; ++i)
        if (bytes[i] >= 'a' && bytes[i] <= 'z') bytes[i] = static_cast<char>(bytes[i] - 32);
}

IBuffer* IBuffer::newBuffer(unsigned length) const { return make<IBuffer>(length); }

const char* IBuffer::className() const { return "IBuffer"; }

IBuffer* IDBCSBuffer::newBuffer(unsigned length) const { return make<IDBCSBuffer>(length); }

const char* IDBCSBuffer::className() const { return "IDBCSBuffer"; }
